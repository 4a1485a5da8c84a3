#pragma once
// A one-line account of a trace: its version, blocks, records, time span and
// whether it reads whole. ornfix prints it for the trace it wrote. It is the
// place where orninfo's own summary line is to stand in once that exists.

#include <cstdint>
#include <string>

#include "trace/trace_fault.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap::ornfix {

struct TraceSummary {
    bool checked = false;  // read back from disk
    bool intact = false;   // header, trailer and every block pass the conversion's checks
    uint16_t versionMajor = 0;
    uint32_t blocks = 0;
    uint64_t records = 0;
    uint32_t firstTime = 0;  // ms of the first and last record
    uint32_t lastTime = 0;
    TraceHeader header;  // for the start and the zone of the trace's clock
    TraceFault fault;    // why it is not intact
};

// Reads a trace ornfix wrote back from disk with the conversion's checks:
// the probe, the validation, and every block's header and FCS in turn, the
// stream ending exactly at the trailer. The blocks are not expanded again:
// each was expanded when it was chosen or made. Records and times are the
// caller's to fill in.
TraceSummary checkWrittenTrace(const std::string& name);

// "Trace_fixed.orn: format version 8, 9 blocks, 63 records,
// 2009-12-09 11:00:01.000 UTC to 2009-12-09 11:00:14.640 UTC, integrity OK",
// the times as every program of the suite prints them (suite/record_time.hpp).
std::string summaryLine(const std::string& name, const TraceSummary& summary);

}  // namespace ornpcap::ornfix
