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
    bool checked = false;  // read back as the conversion reads it
    bool intact = false;   // every check passed, every block read, no record cut
    uint16_t versionMajor = 0;
    uint32_t blocks = 0;
    uint64_t records = 0;
    uint32_t firstTime = 0;  // ms of the first and last record
    uint32_t lastTime = 0;
    TraceHeader header;  // for the start of the trace's clock
    TraceFault fault;    // why it is not intact
};

// Reads the trace by name as the conversion reads it.
TraceSummary summariseTrace(const std::string& name);

// "Trace_fixed.orn: format version 8, 9 blocks, 63 records,
// 2009-12-09 12:00:00.000 to 12:00:05.750, integrity OK"
std::string summaryLine(const std::string& name, const TraceSummary& summary);

// A record time on the trace's own clock: its start plus the milliseconds.
std::string traceTime(const TraceHeader& header, uint32_t timeMs);

}  // namespace ornpcap::ornfix
