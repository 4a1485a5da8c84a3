#pragma once
// What a trace's header and records say, as the reports write it: the
// description, the start as recorded, the UTC offset, the clock of its record
// times (suite/record_time.hpp), seconds since the trace's start.

#include <cstdint>
#include <optional>
#include <string>

#include "orninfo/inventory.hpp"
#include "suite/record_time.hpp"

namespace ornpcap::orninfo {

// The description text, without the blanks (and NULs) that pad it.
std::string descriptionOf(const TraceHeader& header);
// "2009-12-09 12:00:00", as the header records it.
std::string startOf(const TraceHeader& header);
// "+01:00:00": the offset a version 8 header gives (what its sign makes of
// it); none in older versions.
std::optional<std::string> utcOffsetOf(const HeaderFacts& facts);
// The clock the record times of a trace with a known header are on: UTC in
// version 8, the device's own before.
TraceClock clockOf(const HeaderFacts& facts);
// "1.250" (seconds)
std::string secondsOf(uint64_t ms);
// "13.500 s", or "3723.500 s (1:02:03.500)" from a minute on.
std::string durationOf(uint64_t ms);

}  // namespace ornpcap::orninfo
