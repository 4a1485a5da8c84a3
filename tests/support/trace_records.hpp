#pragma once
// Every record of a trace file with its payload, read the way the converters
// read it (blocks checked and expanded), for tests that look at what a trace
// holds rather than at what a converter writes.

#include <string>
#include <vector>

#include "tools/tracebuild/trace_builder.hpp"
#include "trace/conversion.hpp"

namespace ornpcap::test {

// scratchOutput names an output whose old files the run may delete: give one
// in a test's own folder.
inline std::vector<tracebuild::Record> readTraceRecords(const std::string& trace,
                                                        const std::string& scratchOutput,
                                                        uint16_t versionMajor = 8) {
    std::vector<tracebuild::Record> records;
    ConversionStats stats;
    runConversion({trace, scratchOutput, versionMajor, 0}, stats,
                  [&](OutputSlot&, uint16_t, const EventRecord& r, const uint8_t* p, ConversionStats&) {
                      records.push_back({r, p != nullptr ? tracebuild::Bytes(p, p + r.dataLength)
                                                         : tracebuild::Bytes()});
                      return ResultCode::Ok;
                  });
    return records;
}

}  // namespace ornpcap::test
