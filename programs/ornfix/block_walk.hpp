#pragma once
// Walks the block stream of a trace that may be damaged, from one intact
// block to the next.
//
// A block is intact when its data lies inside the file, is not empty, passes
// its FCS-16 and, when compressed, expands. Its number decides what it means:
// the number due after the last block kept continues the stream (whatever
// lay between was not a block of it); another number after damage marks the
// blocks lost there; another number right after an intact block is the
// block's own damage ("out of sequence"), unless the block after it carries
// on from its number, in which case blocks went missing before it.
//
// Past a damaged block the walk goes on by the block's length when that
// lands on an intact block, else searches byte by byte for a block header
// whose number, length and FCS check out. Damage is described by the first
// check the conversion would fail, in its words (trace/block_stream.hpp).

#include <cstdint>
#include <vector>

#include "ornfix/input_bytes.hpp"
#include "trace/block_stream.hpp"
#include "trace/trace_fault.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap::ornfix {

// The most record-stream bytes one block may expand to: the work buffer of a
// reader whose maxBlockLength is the largest there is.
inline constexpr uint32_t kMostExpanded = 2u * 0xFFFF;

// Where an intact block's data is expanded to: at buffer + fill, with
// kMostExpanded bytes of room (the walker makes sure of it).
struct ExpansionArea {
    std::vector<uint8_t>& buffer;
    uint32_t fill;
};

// Bytes between two kept blocks (or before the first, or after the last)
// that were not kept.
struct Skipped {
    uint64_t from = 0;
    uint64_t to = 0;
    TraceFault fault;     // the first failed check at `from`; code Ok when nothing failed
    bool walkedOn = false;  // the next block was reached by the damaged block's length
    bool empty() const { return to == from && !fault.failed(); }
};

struct WalkStep {
    bool end = false;  // no intact block remains; skipped is the tail
    Skipped skipped;   // what lay before this block
    uint64_t offset = 0;
    BlockHeader header;
    uint32_t position = 0;    // in the trace's stream, from 1, by the numbers
    uint32_t expanded = 0;    // bytes its data expands to
    uint32_t blocksLost = 0;  // numbers skipped before it
    bool continuous = true;   // the record stream runs on from the last kept block
};

struct WalkLimits {
    uint64_t begin = 0;  // the first byte after the header
    uint64_t end = 0;    // where blocks must end: before the trailer, or the end of the file
    TraceTrailer trailer;  // bounds blockLength in the words of the checks
};

class BlockWalker {
public:
    BlockWalker(InputWindow& input, const WalkLimits& limits);

    // The next intact block, expanded into the area, and what lay before it.
    // At the end (or on a read error: input.failed()) a step with end set.
    WalkStep next(ExpansionArea area);

    uint32_t lastPosition() const { return lastPosition_; }
    uint16_t expectedNumber() const { return expected_; }

private:
    struct Judgement;
    Judgement judge(uint64_t offset, ExpansionArea& area);
    bool accept(const Judgement& j, uint64_t offset, const Skipped& skipped);
    bool successorCarriesOn(uint64_t offset, const BlockHeader& header);
    bool dataChecksOut(uint64_t offset, const BlockHeader& header);
    uint32_t numberWindow(uint64_t skippedBytes) const;
    uint64_t search(uint64_t from, const Skipped& skipped);
    WalkStep kept(const Judgement& j, uint64_t offset, const Skipped& skipped);
    void describe(const Judgement& j, uint64_t offset, Skipped& skipped) const;

    InputWindow& input_;
    WalkLimits limits_;
    uint64_t pos_;
    uint16_t expected_ = 1;
    uint32_t lastPosition_ = 0;
    uint32_t largestBlock_ = 0;  // stored length of the largest block kept
};

}  // namespace ornpcap::ornfix
