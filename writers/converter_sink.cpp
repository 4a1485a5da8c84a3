#include "writers/converter_sink.hpp"

#include "base/out_of_memory.hpp"

namespace ornpcap {

bool CheckpointClock::due() {
    constexpr uint32_t kRecordsBetweenLooks = 256;
    if (++calls_ % kRecordsBetweenLooks != 0) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kInterval) {
        return false;
    }
    last_ = now;
    return true;
}

ConverterSink::ConverterSink(const ConverterOptions& options, ConversionStats& stats)
    : options_(options), stats_(stats) {
    stats_ = ConversionStats{};
}

ResultCode ConverterSink::start(const OpenedTrace& trace) {
    options_.names->clearOldOutputs(trace.identity);
    return unlessOutOfMemory([&] { return begin(trace); });
}

ResultCode ConverterSink::record(const EventRecord& record, const uint8_t* payload) {
    ++stats_.traceRecords;
    ResultCode rc = ResultCode::Ok;
    if (options_.filter.accepts(record)) {
        rc = unlessOutOfMemory([&] { return write(record, payload); });
    }
    if (rc == ResultCode::Ok && checkpoints_.due() && !checkpoint()) {
        rc = ResultCode::CannotWriteTarget;
    }
    return rc;
}

ResultCode ConverterSink::openFailed(const std::string& name, ResultCode rc) {
    failedOutputName_ = name;
    return rc;
}

// The run's result: its own failure first, then a failure to complete the
// outputs, then NoEvents when no output file was created.
ResultCode ConverterSink::finish(ResultCode result) {
    const bool completed = complete();
    if (result != ResultCode::Ok) {
        return result;
    }
    if (!completed) {
        return ResultCode::CannotWriteTarget;
    }
    return stats_.generatedFiles == 0 ? ResultCode::NoEvents : ResultCode::Ok;
}

}  // namespace ornpcap
