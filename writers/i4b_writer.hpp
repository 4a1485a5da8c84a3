#pragma once
// I4B (isdn4bsd) trace output for ISDN D-channel ports. No file header; every
// frame behind a 32-byte record header of eight little-endian u32:
//
//   0 recordLength (dataLength + 32)  4 unit (0)          8 channelType (1, D)
//   12 frameDirection (1 received, 0 sent)                16 truncatedBytes
//   20 frameCount (1, 2, ...)          24 seconds          28 microseconds
//
// Times are the trace's own clock. Every LSN and both directions go into one
// file, created at the first accepted record.

#include <cstdint>

#include "app/conversion_stats.hpp"
#include "app/result_code.hpp"
#include "app/settings.hpp"
#include "trace/event_record.hpp"
#include "trace/output_slot.hpp"

namespace ornpcap {

inline constexpr uint32_t kI4bRecordHeaderSize = 32;

// The parameter echo of the I4B path.
void printI4bParameters(const I4bSettings& settings);

// Port, status and event type; no LSN or direction test.
bool i4bRecordFilter(const I4bSettings& settings, const EventRecord& record);

ResultCode writeI4bRecord(OutputSlot& slot, uint16_t snapLength, const EventRecord& record,
                          const uint8_t* payload, const I4bSettings& settings,
                          ConversionStats& stats);

ResultCode runI4bConversion(const I4bSettings& settings, ConversionStats& stats);

}  // namespace ornpcap
