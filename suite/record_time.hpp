#pragma once
// The time of a record as every program of the suite prints it, with its zone.
//
// A record's time is the milliseconds since the trace started; the header
// gives the start as the device's clock read it. A version 8 header also
// gives that clock's offset from UTC, so its records fall at known instants,
// printed in UTC, the instants of OrnPcap's pcap time stamps. Older versions
// record no offset: their times are the device clock's, of no known zone
// (OrnPcap's pcap output takes them as UTC, uncorrected), and say so.
//
//   "2009-12-09 11:00:01.250 UTC"             version 8
//   "2009-12-09 12:00:01.250 (device clock)"  versions 5 to 7

#include <cstdint>
#include <string>

#include "trace/trace_header.hpp"

namespace ornpcap {

struct TraceClock {
    uint32_t startSeconds = 0;  // the start, as seconds since 1970 on this clock (a pcap time base)
    bool utc = false;           // the header gives the device clock's UTC offset
};

// The clock of a trace's header (of any version, widened to 203 bytes).
TraceClock traceClock(const TraceHeader& header, uint16_t versionMajor);

// The record time in seconds on the clock (modulo 2^32, as a pcap time stamp).
uint32_t clockSeconds(const TraceClock& clock, uint32_t timeMs);

// "2009-12-09 11:00:01.250 UTC" or "2009-12-09 12:00:01.250 (device clock)".
std::string recordTime(const TraceClock& clock, uint32_t timeMs);
// "2009-12-09 11:00:01.250": the same without its zone, for a column that names it.
std::string recordTimeBare(const TraceClock& clock, uint32_t timeMs);
// ISO 8601: "2009-12-09T11:00:01.250Z", or "2009-12-09T12:00:01.250" (a local
// time of no known zone) on the device clock.
std::string recordTimeIso(const TraceClock& clock, uint32_t timeMs);
// "UTC" or "device clock".
const char* clockName(const TraceClock& clock);

}  // namespace ornpcap
