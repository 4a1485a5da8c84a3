#include "writers/pcap_time.hpp"

namespace ornpcap {

namespace {

struct CalendarTime {
    uint32_t second = 0;
    uint32_t minute = 0;
    uint32_t hour = 0;
    uint32_t day = 1;  // day of the month, from 1
    uint32_t month = 1;
    uint32_t year = 1970;
};

constexpr uint8_t kMonthLengths[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

bool isLeapYear(uint32_t year) {
    if (year % 400 == 0) {
        return true;
    }
    if (year % 100 == 0) {
        return false;
    }
    return year % 4 == 0;
}

uint32_t daysInYear(uint32_t year) { return isLeapYear(year) ? 366 : 365; }

uint32_t daysInMonth(uint32_t year, uint32_t month) {
    if (month < 1 || month > 12) {
        return 0;
    }
    return kMonthLengths[isLeapYear(year) ? 1 : 0][month - 1];
}

uint32_t secondsSinceYear(const CalendarTime& t, uint32_t epochYear) {
    if (t.year < epochYear) {
        return 0;
    }
    uint32_t days = 0;
    for (uint32_t year = epochYear; year < t.year; ++year) {
        days += daysInYear(year);
    }
    for (uint32_t month = 1; month < t.month; ++month) {
        days += daysInMonth(t.year, month);
    }
    days += t.day - 1;
    return days * 86400u + t.hour * 3600u + t.minute * 60u + t.second;
}

// Seconds from the start of the epoch year to t (0 when t lies before it),
// in 32-bit wrap-around arithmetic.
uint32_t secondsSince1970(const CalendarTime& t) { return secondsSinceYear(t, 1970); }

}  // namespace

int32_t computePcapTimeBase(const TraceHeader& header, uint16_t versionMajor) {
    CalendarTime start;
    start.day = header.startDay();
    start.month = header.startMonth();
    start.year = header.startYear();
    start.hour = header.startHour();
    start.minute = header.startMinute();
    start.second = header.startSecond();
    int32_t timeBase = static_cast<int32_t>(secondsSince1970(start));
    if (versionMajor > 7) {
        const auto offset = header.utcOffset();
        const int32_t sign = static_cast<int8_t>(offset[0]);
        const int32_t seconds = offset[1] * 3600 + offset[2] * 60 + offset[3];
        timeBase = static_cast<int32_t>(static_cast<int64_t>(timeBase) - int64_t{sign} * seconds);
    }
    return timeBase;
}

}  // namespace ornpcap
