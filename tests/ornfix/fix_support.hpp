#pragma once
// What ornfix's tests share: traces built from records with the place of
// every block and record known, damage applied to them, and the records of a
// repaired trace read back by OrnPcap's reader.

#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "tracebuild/traffic.hpp"

namespace ornpcap::test::fix {

using tracebuild::BlockMode;
using tracebuild::Record;

// A trace built from records, and where each of its blocks and records lies.
struct BuiltTrace {
    uint16_t version = 8;
    std::vector<Record> records;
    tracebuild::TraceSpec recipe;
    Bytes bytes;
    std::vector<uint64_t> blockBegin;      // file offset of each block's header
    std::vector<uint64_t> blockEnd;        // file offset after each block
    std::vector<uint64_t> blockStreamEnd;  // record-stream offset after each block's data
    std::vector<uint64_t> recordStart;     // record-stream offsets
    std::vector<uint64_t> recordEnd;
};

BuiltTrace buildTrace(std::vector<Record> records, uint16_t version, size_t chunk,
                      BlockMode mode);
// Builds the bytes again after the HeaderSpec was changed (the positions stay
// those of the good trace).
void rebuild(BuiltTrace& trace);

// Records of payloads from 0 to 300 bytes, on three ports, sent and received
// in turn, a few with status 1, ordered in time.
std::vector<Record> variedRecords(size_t count, uint32_t seed);
// Realistic traffic of a frame format.
std::vector<Record> trafficRecords(tracebuild::TrafficFormat format, size_t count, uint32_t seed);
// Records of every kind a trace may hold: frames on five ports and several
// LSNs, now and then a rare event type or status, an empty record, a frame
// longer than the snapLength (1600), a line length below the frame's, a time
// that steps back.
std::vector<Record> everyKindRecords(size_t count, uint32_t seed, uint16_t version);

// Random bytes, the same for the same seed.
Bytes noise(size_t count, uint32_t seed);

// The records that lie wholly in the record stream's first streamOffset bytes.
std::vector<Record> recordsWithin(const BuiltTrace& trace, uint64_t streamOffset);
// Indexes of the records that have no byte in the data of these blocks (from 0).
std::vector<size_t> recordsClearOf(const BuiltTrace& trace, const std::vector<size_t>& blocks);

// The records of a trace held in memory, read as the conversion reads it,
// or nullopt (why says it) when it does not pass the probe, the validation
// and every block check, or ends inside a record.
std::optional<std::vector<Record>> readBack(const TempDir& dir, const Bytes& trace,
                                            std::string* why = nullptr);

// Where each of `got` stands in `original` when `got` is `original` with
// records left out, every one byte for byte and in order; nullopt (why says
// which record is not) otherwise.
std::optional<std::vector<size_t>> placesIn(const std::vector<Record>& got,
                                            const std::vector<Record>& original,
                                            uint16_t version, std::string* why = nullptr);
bool sameRecords(const std::vector<Record>& a, const std::vector<Record>& b, uint16_t version);

// What is wrong with the repair of `damaged`, a damaged copy of `original`:
// "" when it is repaired, reads back, holds records of the original alone, in
// its order, and among them every record with no byte in the `touched`
// blocks (indexes from 0). kept: how many records it holds.
std::string checkRepair(const BuiltTrace& original, const Bytes& damaged,
                        const std::vector<size_t>& touched, size_t* kept = nullptr);

inline ToolRun runOrnfix(const TempDir& dir, const std::vector<std::string>& args,
                         const RunOptions& options = {}) {
    return runIn(dir, ORNFIX_BINARY, args, options);
}

}  // namespace ornpcap::test::fix
