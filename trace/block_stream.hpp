#pragma once
// The block stream between header and trailer, and the cutting of its
// expanded data into event records.
//
// Block header, 6 bytes, little-endian, before each block's data:
//   0 blockTag u16     bits 0..14 blockNumber (from 1), bit 15 storedFlag
//                      (1: data stored as is, 0: NRV2B-compressed)
//   2 blockLength u16  data bytes that follow, as stored
//   4 blockFcs u16     FCS-16 result over the stored data bytes

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/conversion_stats.hpp"
#include "app/result_code.hpp"
#include "trace/event_record.hpp"
#include "trace/output_slot.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap {

inline constexpr uint32_t kBlockHeaderSize = 6;

struct BlockHeader {
    uint16_t blockTag = 0;
    uint16_t blockLength = 0;
    uint16_t blockFcs = 0;

    uint16_t blockNumber() const { return blockTag & 0x7FFF; }
    bool storedFlag() const { return (blockTag & 0x8000) != 0; }
};

// Called once for each complete record: the output slot, the trace's
// snapLength, the record header, its payload (nullptr when dataLength is 0)
// and the counters. Anything but Ok ends the run with that code.
using RecordWriter = std::function<ResultCode(OutputSlot& slot, uint16_t snapLength,
                                              const EventRecord& record, const uint8_t* payload,
                                              ConversionStats& stats)>;

// Reads the next block: 0, CannotReadSource (short read, empty block) or
// BadFormat (longer than maxBlockLength, out of sequence, FCS mismatch).
ResultCode readBlock(std::FILE* trace, const TraceTrailer& trailer, uint16_t expectedNumber,
                     BlockHeader& header, std::vector<uint8_t>& blockBuffer);

// The compare check: the FCS-16 result of the stored data equals blockFcs.
bool blockFcsMatches(const BlockHeader& header, const uint8_t* data);

// Appends the block's data, expanded when compressed, at workBuffer + fill:
// Ok or BadFormat (does not fit, cannot be expanded).
ResultCode expandBlock(const BlockHeader& header, const uint8_t* data,
                       std::vector<uint8_t>& workBuffer, uint32_t& fill, uint32_t workCapacity);

// Hands every complete record at the start of the work buffer to the writer
// and moves an incomplete one to the front. Ok, the writer's code, or
// Interrupted when a signal arrived (after the record in hand was written).
ResultCode scanRecords(OutputSlot& slot, const TraceHeader& header, std::vector<uint8_t>& workBuffer,
                       uint32_t& fill, uint16_t versionMajor, ConversionStats& stats,
                       const RecordWriter& writer);

}  // namespace ornpcap
