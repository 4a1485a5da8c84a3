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

inline constexpr uint32_t kRecordHeaderSize = 25;
inline constexpr uint32_t kRecordHeaderSizeV5 = 23;

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

// Header size of the records of a trace format version.
inline uint32_t recordHeaderSize(uint16_t versionMajor) {
    return versionMajor == 5 ? kRecordHeaderSizeV5 : kRecordHeaderSize;
}

EventRecord decodeEventRecord(const uint8_t* header);    // 25-byte form
EventRecord decodeEventRecordV5(const uint8_t* header);  // 23-byte form, widened
void encodeEventRecord(const EventRecord& record, uint8_t* header);    // 25 bytes
void encodeEventRecordV5(const EventRecord& record, uint8_t* header);  // 23 bytes

}  // namespace ornpcap
