#pragma once
// The pcap time base: the trace's start date and time as seconds since
// 1 January 1970 (Gregorian calendar, 0 for a start before 1970), corrected by
// the header's UTC offset in version 8 traces. Record times (milliseconds
// since the trace started) are added to it, modulo 2^32.

#include <cstdint>

#include "trace/trace_header.hpp"

namespace ornpcap {

int32_t computePcapTimeBase(const TraceHeader& header, uint16_t versionMajor);

}  // namespace ornpcap
