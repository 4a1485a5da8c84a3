#pragma once
// A trace's inventory: what its header and trailer say, what its blocks and
// records hold per channel and per port, and whether it is intact, read once,
// to its end or to its first damage, the way OrnPcap reads it.

#include <cstdint>
#include <string>
#include <vector>

#include "base/result_code.hpp"
#include "orninfo/record_tally.hpp"
#include "trace/record_source.hpp"
#include "trace/trace_fault.hpp"
#include "trace/trace_header.hpp"
#include "frames/format_recogniser.hpp"

namespace ornpcap::orninfo {

struct HeaderFacts {
    bool known = false;  // an intact header (of an accepted version or not)
    TraceHeader header;
    uint16_t versionMajor = 0;
    uint16_t versionMinor = 0;
};

struct TrailerFacts {
    bool known = false;  // a trailer that passes its checksum
    TraceTrailer trailer;
};

struct Integrity {
    // What OrnPcap exits with for this trace on a port it holds: the probe's
    // code for a damaged header or trailer, the block loop's for a damaged
    // block; 0 when every block reads, checks and expands.
    ResultCode result = ResultCode::Ok;
    bool intact = true;         // no fault, and the record stream ends cleanly
    TraceFault fault;           // the first check that failed; code Ok when none did
    std::string detail;         // the problem in words; empty when intact
    uint32_t incompleteBytes = 0;  // of a last record the stream ended in, dropped
    bool blockAfterEnd = false;    // good blocks follow the stream's end: records left unread
};

struct PortSummary {
    uint16_t port = 0;
    uint64_t records = 0;
    FormatGuess guess;
    std::vector<uint16_t> lsns;  // that carry frames (every LSN of the port when none does)
    std::string command;         // empty when the format is unknown
    std::string commandNote;     // why the command is not OrnPcap's; empty when it is
};

struct TraceInventory {
    std::string file;
    uint64_t size = 0;
    HeaderFacts header;
    TrailerFacts trailer;
    BlockTally blocks;
    uint64_t records = 0;
    uint32_t firstMs = 0;  // of the first and last record, in stream order
    uint32_t lastMs = 0;
    Integrity integrity;
    std::vector<ChannelTally> channels;  // by port, then LSN
    std::vector<PortSummary> ports;      // by port
};

enum class InventoryStatus {
    Taken,        // the inventory holds the report, intact or not
    CannotOpen,   // reason says why
    NotATrace,    // not a trace at all (no TRC file type); reason says why
    OutOfMemory,
    Interrupted,  // by a signal
};

struct InventoryResult {
    InventoryStatus status = InventoryStatus::Taken;
    std::string reason;
    TraceInventory inventory;
};

// Reads the trace once; progress, where given, sees every block.
InventoryResult takeInventory(const std::string& name, BlockObserver* progress = nullptr);

}  // namespace ornpcap::orninfo
