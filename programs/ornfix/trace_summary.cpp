#include "ornfix/trace_summary.hpp"

#include <cstdio>
#include <ctime>

#include "app/diagnostics.hpp"
#include "trace/record_source.hpp"
#include "trace/trace_file.hpp"

namespace ornpcap::ornfix {

namespace {

struct Counter final : RecordSink {
    TraceSummary& summary;
    explicit Counter(TraceSummary& s) : summary(s) {}
    ResultCode start(const OpenedTrace& trace) override {
        summary.header = trace.header;
        return ResultCode::Ok;
    }
    ResultCode record(const EventRecord& r, const uint8_t*) override {
        if (summary.records == 0) {
            summary.firstTime = r.timeMs;
        }
        ++summary.records;
        summary.lastTime = r.timeMs;
        return ResultCode::Ok;
    }
    ResultCode finish(ResultCode result) override { return result; }
};

}  // namespace

TraceSummary summariseTrace(const std::string& name) {
    TraceSummary summary;
    summary.checked = true;
    uint16_t minor = 0;
    if (probeTrace(name, summary.versionMajor, minor, &summary.fault) != ResultCode::Ok) {
        return summary;
    }
    Counter counter(summary);
    TraceReport report;
    const ResultCode rc = readTrace({name, summary.versionMajor, minor, nullptr}, counter, &report);
    summary.blocks = report.blocksRead;
    summary.fault = report.fault;
    summary.header = report.header;
    summary.intact = (rc == ResultCode::Ok || (rc == ResultCode::NoEvents && report.validated)) &&
                     report.incompleteBytes == 0 && !report.blockAfterEnd;
    return summary;
}

std::string traceTime(const TraceHeader& header, uint32_t timeMs) {
    std::tm start{};
    start.tm_year = header.startYear() - 1900;
    start.tm_mon = header.startMonth() - 1;
    start.tm_mday = header.startDay();
    start.tm_hour = header.startHour();
    start.tm_min = header.startMinute();
    start.tm_sec = header.startSecond();
    const std::time_t at = ::timegm(&start) + static_cast<std::time_t>(timeMs / 1000);
    std::tm when{};
    ::gmtime_r(&at, &when);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03u", when.tm_year + 1900,
                  when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec,
                  static_cast<unsigned>(timeMs % 1000));
    return text;
}

std::string summaryLine(const std::string& name, const TraceSummary& s) {
    std::string line = name + ": format version " + std::to_string(s.versionMajor) + ", " +
                       std::to_string(s.blocks) + " blocks, " + std::to_string(s.records) +
                       " records";
    if (s.records != 0) {
        line += ", " + traceTime(s.header, s.firstTime) + " to " + traceTime(s.header, s.lastTime);
    }
    if (!s.checked) {
        return line + ", not read back";
    }
    return line + (s.intact ? ", integrity OK" : ", DAMAGED: " + diagnostics::describe(s.fault));
}

}  // namespace ornpcap::ornfix
