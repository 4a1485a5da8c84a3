#pragma once
// The writing direction of the trace's framing, for the programs that make
// or repair traces: a block's header with the FCS of its data, a block's
// data compressed with UCL's NRV2B (8-bit) compressor, the residue FCS that
// closes a header or trailer, and the trailer itself. The layouts are those
// of trace/block_stream.hpp and trace/trace_header.hpp.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "trace/block_stream.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap {

// The FCS-16 result over a block's data as stored.
uint16_t blockFcsOf(std::span<const uint8_t> stored);

// The 6 bytes of a block header: tag (number and stored flag), length, FCS.
std::array<uint8_t, kBlockHeaderSize> encodeBlockHeader(const BlockHeader& header);

// The header of a block at this position in the stream (from 1, numbered
// modulo 32768) over its data as stored, with the data's true length and FCS.
BlockHeader blockHeaderFor(uint32_t position, bool stored, std::span<const uint8_t> data);

// NRV2B (8-bit) compression at level 1 (fast) to 10 (best) into out, which
// is resized to the compressed length. False when the library cannot be
// initialised or refuses; out is then empty. Any thread may call it; each
// keeps the compressor's working buffers (about 1 MiB) for its next call.
bool compressNrv2b(std::span<const uint8_t> data, int level, std::vector<uint8_t>& out);

// What the reader's buffers must hold for a block, as a maxBlockLength: at
// least its stored length, and half of what the work buffer (twice
// maxBlockLength) takes in: the start of a record carried over into it plus
// its expanded data.
uint32_t blockRoomNeed(uint32_t storedLength, uint32_t carriedOver, uint32_t expandedLength);

// Writes into the last two bytes of the area the FCS of the bytes before
// them, least significant byte first, so that the whole area passes the
// residue check.
void sealWithFcs(std::span<uint8_t> area);

// The trailer of a block stream. The uninterpreted bytes are taken from
// `kept` (zero by default); the FCS is computed.
TraceTrailer encodeTrailer(uint16_t maxBlockLength, uint16_t blockCount, uint32_t streamLength,
                           const std::array<uint8_t, kTrailerSize>& kept = {});

}  // namespace ornpcap
