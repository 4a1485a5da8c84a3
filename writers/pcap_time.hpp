#pragma once
// The pcap time base: the trace's start date and time as seconds since
// 1 January 1970, corrected by the header's UTC offset in version 8 traces.
// Record times (milliseconds since the trace started) are added to it.

#include <cstdint>

#include "trace/trace_header.hpp"

namespace ornpcap {

struct CalendarTime {
    uint32_t second = 0;
    uint32_t minute = 0;
    uint32_t hour = 0;
    uint32_t day = 1;  // day of the month, from 1
    uint32_t month = 1;
    uint32_t year = 1970;
};

bool isLeapYear(uint32_t year);
uint32_t daysInYear(uint32_t year);
uint32_t daysInMonth(uint32_t year, uint32_t month);  // 0 outside 1..12
// Seconds from the start of the epoch year to t (0 when t lies before it),
// in 32-bit wrap-around arithmetic.
uint32_t secondsSinceYear(const CalendarTime& t, uint32_t epochYear);
uint32_t secondsSince1970(const CalendarTime& t);

int32_t computePcapTimeBase(const TraceHeader& header, uint16_t versionMajor);

}  // namespace ornpcap
