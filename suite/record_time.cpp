#include "suite/record_time.hpp"

#include <cstdio>
#include <ctime>

#include "writers/pcap_time.hpp"

namespace ornpcap {

namespace {

// The calendar fields, with `between` between date and time.
std::string calendar(const TraceClock& clock, uint32_t timeMs, char between) {
    const std::time_t seconds = clockSeconds(clock, timeMs);
    std::tm when{};
    ::gmtime_r(&seconds, &when);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d.%03u", when.tm_year + 1900,
                  when.tm_mon + 1, when.tm_mday, between, when.tm_hour, when.tm_min, when.tm_sec,
                  static_cast<unsigned>(timeMs % 1000));
    return text;
}

}  // namespace

TraceClock traceClock(const TraceHeader& header, uint16_t versionMajor) {
    return {static_cast<uint32_t>(computePcapTimeBase(header, versionMajor)), versionMajor >= 8};
}

uint32_t clockSeconds(const TraceClock& clock, uint32_t timeMs) {
    return clock.startSeconds + timeMs / 1000;
}

std::string recordTime(const TraceClock& clock, uint32_t timeMs) {
    return recordTimeBare(clock, timeMs) + (clock.utc ? " UTC" : " (device clock)");
}

std::string recordTimeBare(const TraceClock& clock, uint32_t timeMs) {
    return calendar(clock, timeMs, ' ');
}

std::string recordTimeIso(const TraceClock& clock, uint32_t timeMs) {
    return calendar(clock, timeMs, 'T') + (clock.utc ? "Z" : "");
}

const char* clockName(const TraceClock& clock) { return clock.utc ? "UTC" : "device clock"; }

}  // namespace ornpcap
