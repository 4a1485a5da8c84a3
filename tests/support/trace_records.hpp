#pragma once
// Every record of a trace file with its payload, read the way the converters
// read it (blocks checked and expanded), for tests that look at what a trace
// holds rather than at what a converter writes.

#include <string>
#include <vector>

#include "tracebuild/trace_builder.hpp"
#include "trace/record_source.hpp"

namespace ornpcap::test {

inline std::vector<tracebuild::Record> readTraceRecords(const std::string& trace,
                                                        uint16_t versionMajor = 8) {
    struct Collector final : RecordSink {
        std::vector<tracebuild::Record> records;
        ResultCode start(const OpenedTrace&) override { return ResultCode::Ok; }
        ResultCode record(const EventRecord& r, const uint8_t* p) override {
            records.push_back(
                {r, p != nullptr ? tracebuild::Bytes(p, p + r.dataLength) : tracebuild::Bytes()});
            return ResultCode::Ok;
        }
        ResultCode finish(ResultCode result) override { return result; }
    } collector;
    readTrace({trace, versionMajor, 0, nullptr}, collector);
    return collector.records;
}

}  // namespace ornpcap::test
