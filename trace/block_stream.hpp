#pragma once
// The block stream between header and trailer: reading and checking one block,
// and expanding its data into the work buffer.
//
// Block header, 6 bytes, little-endian, before each block's data:
//   0 blockTag u16     bits 0..14 blockNumber (from 1), bit 15 storedFlag
//                      (1: data stored as is, 0: NRV2B-compressed)
//   2 blockLength u16  data bytes that follow, as stored
//   4 blockFcs u16     FCS-16 result over the stored data bytes

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/result_code.hpp"
#include "trace/trace_fault.hpp"
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

BlockHeader decodeBlockHeader(const uint8_t* bytes);

// The number the block at this position in the stream (from 1) must carry:
// the 15-bit tag counts on modulo 32768, so a stream of up to 65535 blocks
// runs 1 to 32767, then 0, 1, ... again.
uint16_t expectedBlockNumber(uint32_t position);

// The checks of a block header before its data is read: BadFormat (longer
// than maxBlockLength, out of sequence) or CannotReadSource (empty).
ResultCode checkBlockHeader(const BlockHeader& header, const TraceTrailer& trailer,
                            uint16_t expectedNumber, TraceFault* fault = nullptr);
// The compare check of the data as stored: BadFormat on an FCS mismatch.
ResultCode checkBlockData(const BlockHeader& header, const uint8_t* data,
                          TraceFault* fault = nullptr);

// Reads the next block's header and data (into maxBlockLength bytes at data)
// and checks the header; the data's FCS is left to checkBlockData.
ResultCode readBlockData(std::FILE* trace, const TraceTrailer& trailer, uint16_t expectedNumber,
                         BlockHeader& header, uint8_t* data, TraceFault* fault = nullptr);

// Reads and checks the next block: 0, CannotReadSource (short read, empty
// block) or BadFormat (longer than maxBlockLength, out of sequence, FCS
// mismatch). What failed goes to fault, block and offset aside.
ResultCode readBlock(std::FILE* trace, const TraceTrailer& trailer, uint16_t expectedNumber,
                     BlockHeader& header, std::vector<uint8_t>& blockBuffer,
                     TraceFault* fault = nullptr);

// The block's data as records are read from it, where `room` bytes of the
// work capacity are left by a record carried over: a stored block's data
// stands as read (it must fit the room), a compressed one is expanded into
// `expansion` with that room. Ok with the expanded length, or BadFormat
// (does not fit, cannot be expanded).
ResultCode expandInto(const BlockHeader& header, const uint8_t* data, uint8_t* expansion,
                      uint32_t room, uint32_t& expandedLength, TraceFault* fault = nullptr);

// Appends the block's data, expanded when compressed, at workBuffer + fill:
// Ok or BadFormat (does not fit, cannot be expanded).
ResultCode expandBlock(const BlockHeader& header, const uint8_t* data,
                       std::vector<uint8_t>& workBuffer, uint32_t& fill, uint32_t workCapacity,
                       TraceFault* fault = nullptr);

}  // namespace ornpcap
