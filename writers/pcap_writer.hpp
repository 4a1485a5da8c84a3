#pragma once
// libpcap output (version 2.4, little-endian, microsecond time stamps).
//
//   file header, 24 bytes: magic A1B2C3D4, version 2.4, thisZone 0, sigFigs 0,
//                          snapLen (the trace's snapLength), linkType
//   per frame, 16 bytes:   tsSec, tsUsec, inclLen, origLen; then inclLen bytes
//
// One file for the run, or in ALL mode one file per LSN. A file of an ALL-mode
// name that exists before the run is appended to without a new file header.

#include <cstdint>

#include "app/conversion_stats.hpp"
#include "app/result_code.hpp"
#include "app/settings.hpp"
#include "trace/event_record.hpp"
#include "trace/output_slot.hpp"
#include "writers/output_file.hpp"
#include "writers/pcap_framing.hpp"

namespace ornpcap {

inline constexpr uint32_t kPcapFileHeaderSize = 24;
inline constexpr uint32_t kPcapRecordHeaderSize = 16;

// Port, status, event type, then direction and LSN as the settings ask.
bool pcapRecordFilter(const ConversionSettings& settings, const EventRecord& record);

// Writes the 24-byte file header: Ok or CannotWriteTarget.
ResultCode writePcapFileHeader(OutputFile& file, uint16_t snapLength, int32_t format);

// What one pcap conversion keeps from record to record.
struct PcapConversion {
    ConversionSettings& settings;
    int32_t timeBase = 0;
    std::vector<uint8_t> frame = std::vector<uint8_t>(kPcapFrameBufferSize);
};

// The per-record writer: filters, frames and writes one record.
ResultCode writePcapRecord(OutputSlot& slot, uint16_t snapLength, const EventRecord& record,
                           const uint8_t* payload, PcapConversion& conversion,
                           ConversionStats& stats);

// Converts the settings' port into pcap file(s). On CannotCreateTarget the
// settings' currentOutputName names the file that could not be created.
ResultCode runPcapConversion(ConversionSettings& settings, ConversionStats& stats);

}  // namespace ornpcap
