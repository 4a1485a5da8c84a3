// Fuzz target: ornfix on arbitrary trace bytes. Whatever it writes must pass
// OrnPcap's probe and validation, read whole (every block checked and
// expanded, no record cut) with as many records as ornfix reported, convert
// to pcap without error, and need no repair itself.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/plan.hpp"
#include "ornfix/fix_run.hpp"
#include "trace/trace_file.hpp"

using namespace ornpcap;

namespace {

void check(bool promiseKept) {
    if (!promiseKept) {
        std::abort();
    }
}

std::string scratchName(const char* suffix) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/ornfix_fuzz." +
           std::to_string(::getpid()) + suffix;
}

struct Counter final : RecordSink {
    uint64_t records = 0;
    uint16_t firstPort = 0;
    ResultCode start(const OpenedTrace&) override { return ResultCode::Ok; }
    ResultCode record(const EventRecord& r, const uint8_t*) override {
        firstPort = records++ == 0 ? r.port : firstPort;
        return ResultCode::Ok;
    }
    ResultCode finish(ResultCode result) override { return result; }
};

// The repaired trace, written to a file, as OrnPcap takes it.
void checkRepaired(const ornfix::MemoryRepair& repair) {
    const std::string trace = scratchName(".orn");
    std::FILE* out = std::fopen(trace.c_str(), "wb");
    check(out != nullptr &&
          std::fwrite(repair.output.data(), 1, repair.output.size(), out) == repair.output.size() &&
          std::fclose(out) == 0);
    uint16_t major = 0;
    uint16_t minor = 0;
    check(probeTrace(trace, major, minor) == ResultCode::Ok && acceptVersion(major, minor));
    Counter counter;
    TraceReport report;
    check(readTrace({trace, major, minor, nullptr}, counter, &report) == ResultCode::Ok);
    check(report.incompleteBytes == 0 && !report.blockAfterEnd);
    check(counter.records == repair.plan.records.records && counter.records > 0);

    ConversionSettings settings;
    settings.inputName = trace;
    settings.outputName = scratchName(".pcap");
    settings.versionMajor = major;
    settings.versionMinor = minor;
    settings.port = counter.firstPort;
    ConversionStats stats;
    const ResultCode converted = runPlan(makePlan(settings), stats).code;
    check(converted == ResultCode::Ok || converted == ResultCode::NoEvents);
    check(stats.traceRecords == static_cast<int32_t>(counter.records));
    std::remove(settings.outputName.c_str());
    std::remove(trace.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ornfix::MemoryRepair repair = ornfix::repairInMemory({data, size});
    check(repair.code == ResultCode::Ok || repair.code == ResultCode::NeedsNoRepair ||
          repair.code == ResultCode::CannotRepair);
    if (repair.code != ResultCode::Ok) {
        return 0;
    }
    checkRepaired(repair);
    check(ornfix::repairInMemory(repair.output).code == ResultCode::NeedsNoRepair);
    return 0;
}
