#pragma once
// The first pass of a repair: reads the whole trace once, block by block,
// and decides what the repaired trace holds (the header, the kept blocks and
// the part of each that lies in whole records) and what was found: every
// kind of damage with its byte range and its effect on the records.
// Nothing is written here.

#include <cstdint>
#include <string>
#include <vector>

#include "base/result_code.hpp"
#include "ornfix/header_check.hpp"
#include "ornfix/input_bytes.hpp"
#include "ornfix/record_stream.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap::ornfix {

// A trace counts its blocks in 16 bits.
inline constexpr uint32_t kMostBlocks = 0xFFFF;

enum class FindingKind {
    HeaderRewritten,       // its FCS was wrong, its fields recognisable
    DamagedBlocks,         // bytes between kept blocks, from a block that fails a check
    MissingBlocks,         // numbers skipped between two intact blocks side by side
    DuplicateBlock,        // a block kept already, written again
    CutShort,              // the file ends inside a block
    BytesAfterStream,      // bytes after the last intact block that are no block
    DamagedAtEnd,          // a damaged block and whatever follows it, no intact block after
    TrailerDamaged,        // 16 bytes at the end that fail the FCS or cannot be right
    TrailerMissing,        // the file ends without one
    TrailerDisagrees,      // intact, but its counts are not those of the blocks
    IncompleteLastRecord,  // the stream ends inside a record
    TooManyBlocks,         // more intact blocks than a trace can count
};

struct Finding {
    FindingKind kind = FindingKind::DamagedBlocks;
    uint64_t from = 0;  // bytes of the trace dropped, [from, to)
    uint64_t to = 0;
    TraceFault fault;  // the first failed check, in the words of the conversion
    uint32_t blocksLost = 0;
    uint32_t nextPosition = 0;  // the intact block found after the damage (DuplicateBlock:
    uint64_t nextOffset = 0;    // the block it repeats)
    bool walkedOn = false;  // found by the damaged block's length, not by a search
    int streamBreak = -1;   // the break of the record stream it caused (breaks index)
    std::string detail;     // TrailerDisagrees: which fields
};

enum class TrailerState { Good, BadFcs, Impossible, Absent };

struct TrailerFinding {
    TrailerState state = TrailerState::Absent;
    TraceTrailer trailer;  // as read (Good, BadFcs, Impossible)
};

struct SalvagePlan {
    uint64_t fileSize = 0;
    HeaderFinding header;
    TrailerFinding trailer;
    std::vector<KeptBlock> blocks;
    std::vector<Finding> findings;  // in the order of the file
    std::vector<StreamBreak> breaks;
    StreamBreak tail;  // what the end of the record stream dropped
    StreamCounts records;
    uint16_t chunkLimit = 0;  // the longest block the repaired trace may have
    bool good = false;        // nothing to repair

    uint32_t blocksKept() const;  // with at least one byte of a kept record
};

// Ok (the plan says what to write, or that the trace is good), CannotRepair
// (no header, or no whole record), CannotReadSource, Interrupted, OutOfMemory.
ResultCode salvage(ByteSource& source, SalvagePlan& plan);

}  // namespace ornpcap::ornfix
