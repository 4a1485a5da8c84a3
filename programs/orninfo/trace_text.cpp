#include "orninfo/trace_text.hpp"

#include <cstdio>

namespace ornpcap::orninfo {

namespace {

constexpr size_t kDescriptionLength = header_offset::textEnd - header_offset::description;

std::string printed(const char* format, auto... values) {
    char text[96];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

}  // namespace

std::string descriptionOf(const TraceHeader& header) {
    const auto* start = header.bytes.data() + header_offset::description;
    std::string text(start, start + kDescriptionLength);
    const size_t end = text.find_last_not_of(std::string_view(" \0", 2));
    text.resize(end == std::string::npos ? 0 : end + 1);
    return text;
}

std::string startOf(const TraceHeader& h) {
    return printed("%04u-%02u-%02u %02u:%02u:%02u", unsigned{h.startYear()},
                   unsigned{h.startMonth()}, unsigned{h.startDay()}, unsigned{h.startHour()},
                   unsigned{h.startMinute()}, unsigned{h.startSecond()});
}

std::optional<std::string> utcOffsetOf(const HeaderFacts& facts) {
    if (!facts.known || facts.versionMajor < 8) {
        return std::nullopt;
    }
    const auto offset = facts.header.utcOffset();
    const int64_t seconds = int64_t{static_cast<int8_t>(offset[0])} *
                            (offset[1] * 3600 + offset[2] * 60 + offset[3]);
    const uint64_t size = static_cast<uint64_t>(seconds < 0 ? -seconds : seconds);
    return printed("%c%02llu:%02llu:%02llu", seconds < 0 ? '-' : '+',
                   static_cast<unsigned long long>(size / 3600),
                   static_cast<unsigned long long>(size / 60 % 60),
                   static_cast<unsigned long long>(size % 60));
}

TraceClock clockOf(const HeaderFacts& facts) {
    return traceClock(facts.header, facts.versionMajor);
}

std::string secondsOf(uint64_t ms) {
    return printed("%llu.%03u", static_cast<unsigned long long>(ms / 1000),
                   static_cast<unsigned>(ms % 1000));
}

std::string durationOf(uint64_t ms) {
    std::string text = secondsOf(ms) + " s";
    if (ms >= 60000) {
        const uint64_t s = ms / 1000;
        text += printed(" (%llu:%02u:%02u.%03u)", static_cast<unsigned long long>(s / 3600),
                        static_cast<unsigned>(s / 60 % 60), static_cast<unsigned>(s % 60),
                        static_cast<unsigned>(ms % 1000));
    }
    return text;
}

}  // namespace ornpcap::orninfo
