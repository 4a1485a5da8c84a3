#pragma once
// Event records, the units of the expanded block stream: a header, then
// dataLength payload bytes.
//
// 25-byte header (versions 6 to 8), little-endian:
//   0 recordWord u16   2 timeMs u32     6 port u16      8 lsn u16
//   10 auxWord1 u16    12 auxWord2 u16  14 eventType u8 15 auxByte u8
//   16 eventStatus u8  17 origLength u16 19 auxLong u32 23 dataLength u16
//
// 23-byte header (version 5): lsn and auxWord2 are single bytes, widened to
// 16 bits when the record is decoded.

#include <cstdint>

namespace ornpcap {

inline constexpr uint8_t kEventFrameSent = 20;      // Out
inline constexpr uint8_t kEventFrameReceived = 21;  // In

struct EventRecord {
    uint16_t recordWord = 0;
    uint32_t timeMs = 0;
    uint16_t port = 0;
    uint16_t lsn = 0;
    uint16_t auxWord1 = 0;
    uint16_t auxWord2 = 0;
    uint8_t eventType = 0;
    uint8_t auxByte = 0;
    uint8_t eventStatus = 0;
    uint16_t origLength = 0;
    uint32_t auxLong = 0;
    uint16_t dataLength = 0;
};

inline bool isFrameSent(const EventRecord& record) { return record.eventType == kEventFrameSent; }
inline bool isFrameReceived(const EventRecord& record) {
    return record.eventType == kEventFrameReceived;
}

// How the record headers of a trace format version are laid out.
struct RecordForm {
    uint32_t headerSize;    // 25, or 23 in version 5
    uint32_t lengthOffset;  // where dataLength stands in the header
    bool narrow;            // version 5: lsn and auxWord2 are single bytes
};

RecordForm recordFormOf(uint16_t versionMajor);

// The header at `header`, widened to 16-bit fields where the form is narrow.
EventRecord decodeEventRecord(const uint8_t* header, const RecordForm& form);
// Writes form.headerSize bytes.
void encodeEventRecord(const EventRecord& record, uint8_t* header, const RecordForm& form);

}  // namespace ornpcap
