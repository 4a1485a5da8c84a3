#pragma once
// Visual Networks traffic capture output, for PPP-Sync and PPP-Async ports
// with both directions. All integers little-endian.
//
//   0     4    magic 05 56 4E 46 ("\x05VNF")
//   4     188  file header: 0 packetCount u32, 4 startTime u32 (seconds of the
//              trace clock), 8 mediaType u16 = 22, 10 maxLength u16 (snapLength),
//              12 fileFlags u16 = 1 (index present), 14 fileVersion u16 = 1,
//              16 reserved (108), 124 description (64, zero-padded text)
//   192   ...  packets: 0 timeDelta u32 (ms since startTime), 4 actualLength
//              u16, 6 capturedLength u16, 8 status u32 (64 sent, 0 received,
//              + 2 too short, + 4 bad FCS), 12 encapsulationHint u8 = 14,
//              13 reserved (7), 20 capturedLength frame bytes
//   end   4n   packet-offset index: one u32 file offset per packet
//
// Each output's header and index are held in memory for the run; packets are
// written once, and the index and header when the output is completed.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/conversion_stats.hpp"
#include "app/result_code.hpp"
#include "app/settings.hpp"
#include "trace/event_record.hpp"
#include "trace/output_slot.hpp"
#include "writers/output_file.hpp"

namespace ornpcap {

inline constexpr uint32_t kVnMagicSize = 4;
inline constexpr uint32_t kVnFileHeaderSize = 188;
inline constexpr uint32_t kVnFirstPacket = kVnMagicSize + kVnFileHeaderSize;  // 192
inline constexpr uint32_t kVnPacketHeaderSize = 20;
inline constexpr uint32_t kVnFrameBufferSize = 65535;

inline constexpr uint32_t kVnStatusSent = 64;
inline constexpr uint32_t kVnFlagTooShort = 2;
inline constexpr uint32_t kVnFlagBadFcs = 4;

// One output file and what still has to be written into it.
struct VnOutput {
    std::string name;
    OutputFile file;
    std::array<uint8_t, kVnFileHeaderSize> vnHeader{};
    std::vector<uint32_t> vnIndex;  // offsets of the packets written so far
    uint64_t dataEnd = kVnFirstPacket;  // where the next packet goes
    bool started = false;               // header and index are held here
};

// The header image of a new file: packetCount 0, the fixed fields, the description.
std::array<uint8_t, kVnFileHeaderSize> vnHeaderDefaults();

// Magic and header at offset 0: Ok or CannotWriteTarget.
ResultCode writeVnFileHeader(VnOutput& output);
// Takes over an existing file: its header and index into memory, the next
// packet where the index began. CannotReadTarget when they cannot be read or
// the index cannot be in the file; OutOfMemory when it cannot be held.
ResultCode reopenVnFile(VnOutput& output);
// Writes index and header and closes, reopening the file first when it was
// closed to make room for others: Ok or CannotWriteTarget.
ResultCode completeVnFile(VnOutput& output, const FileIdentity& trace);

// Port, status, event type, and the LSN in one-LSN mode; no direction test.
bool vnRecordFilter(const ConversionSettings& settings, const EventRecord& record);

// The converted frame of one record.
struct VnFrame {
    uint16_t actualLength = 0;
    uint16_t capturedLength = 0;
    uint32_t flags = 0;
};

bool copyVnPppSyncFrame(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                        VnFrame& out);
// Keeps short and damaged frames, marked by flags 2 (too short) and 4 (bad FCS).
bool unstuffVnPppAsyncFrame(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                            VnFrame& out);
bool convertVnFrame(int32_t format, const EventRecord& record, const uint8_t* payload,
                    uint8_t* frame, VnFrame& out);

// What one Visual Networks conversion keeps from record to record.
struct VnConversion {
    ConversionSettings settings;  // private copy, with the .vn extension
    std::vector<uint8_t> frame = std::vector<uint8_t>(kVnFrameBufferSize);
};

ResultCode writeVnRecord(OutputSlot& slot, uint16_t snapLength, const EventRecord& record,
                         const uint8_t* payload, VnConversion& conversion, ConversionStats& stats);

// Converts the settings' port into .vn file(s). The global settings are not
// changed; on CannotCreateTarget failedName names the file.
ResultCode runVnConversion(const ConversionSettings& settings, ConversionStats& stats,
                           std::string& failedName);

}  // namespace ornpcap
