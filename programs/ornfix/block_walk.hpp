#pragma once
// Walks the block stream of a trace that may be damaged, from one intact
// block to the next.
//
// A block is sound when its data lies inside the file, is not empty, passes
// its FCS-16 and, when compressed, expands. Right where the last block kept
// ends, a sound block carrying the number due continues the stream; one
// with another number is the block's own damage ("out of sequence"), unless
// it repeats a block kept a little earlier byte for byte (a block written
// twice: passed over and reported), or the block after it carries on from
// its number, or it ends the stream (blocks went missing before it).
//
// Past damage a block is taken only when the blocks around it agree with it,
// not on its FCS alone, which random bytes pass once in 65536 tries: its
// number lies within the numbers the skipped bytes could have held, and the
// block right behind it carries the next number and is sound, or is cut by
// the end of the file, or is itself followed by the number after that; or
// it ends where the block stream ends. The walk goes on by the damaged
// block's length when that lands on such a block, else searches byte by
// byte. Damage is described by the first check the conversion would fail, in
// its words (trace/block_stream.hpp).

#include <array>
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
    bool end = false;        // no intact block remains; skipped is the tail
    bool duplicate = false;  // the block repeats the kept one at `position`; not kept
    Skipped skipped;         // what lay before this block
    uint64_t offset = 0;
    BlockHeader header;
    uint32_t position = 0;    // in the trace's stream, from 1, by the numbers
    uint32_t expanded = 0;    // bytes its data expands to
    uint32_t blocksLost = 0;  // numbers skipped before it
    bool continuous = true;   // the record stream runs on from the last kept block
    uint64_t originalOffset = 0;  // duplicate: where the block kept stands
};

struct WalkLimits {
    uint64_t begin = 0;  // the first byte after the header
    uint64_t end = 0;    // where blocks must end: before the trailer, or the end of the file
    uint64_t fileSize = 0;
    bool trailerIntact = false;  // and so end is where it stands, and its streamLength holds
    TraceTrailer trailer;  // bounds blockLength in the words of the checks
};

class BlockWalker {
public:
    BlockWalker(InputWindow& input, const WalkLimits& limits);

    // The next intact block, expanded into the area, and what lay before it;
    // or a block written twice. At the end (or on a read error:
    // input.failed()) a step with end set.
    WalkStep next(ExpansionArea area);

    uint32_t lastPosition() const { return lastPosition_; }
    uint16_t expectedNumber() const { return expected_; }

private:
    struct Judgement;
    struct Kept {
        uint64_t offset = 0;
        BlockHeader header;
        uint32_t position = 0;
    };
    Judgement judge(uint64_t offset, ExpansionArea& area);
    bool accept(const Judgement& j, uint64_t offset, const Skipped& skipped);
    bool successorCarriesOn(uint64_t offset, const BlockHeader& header);
    bool dataChecksOut(uint64_t offset, const BlockHeader& header);
    bool endsTheStream(uint64_t next) const;
    bool confirmed(uint64_t offset, const BlockHeader& header);
    bool mayBeBlock(const uint8_t* at, uint64_t offset, uint32_t window) const;
    const Kept* repeated(const Judgement& j, uint64_t offset);
    uint32_t numberWindow(uint64_t skippedBytes) const;
    uint64_t search(uint64_t from, const Skipped& skipped);
    WalkStep kept(const Judgement& j, uint64_t offset, const Skipped& skipped);
    WalkStep passedOver(const Judgement& j, uint64_t offset, const Kept& original);
    void describe(const Judgement& j, uint64_t offset, Skipped& skipped) const;

    InputWindow& input_;
    WalkLimits limits_;
    uint64_t pos_;
    uint16_t expected_ = 1;
    uint32_t lastPosition_ = 0;
    uint32_t largestBlock_ = 0;  // stored length of the largest block kept
    std::array<Kept, 32> recent_{};  // the blocks kept last, a ring
    size_t keptCount_ = 0;
    std::vector<uint8_t> scratch_;
};

}  // namespace ornpcap::ornfix
