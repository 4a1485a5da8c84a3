#include "writers/converter_sink.hpp"

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

void ConverterSink::clearOldOutputs(const OpenedTrace& trace) const {
    options_.names->clearOldOutputs(trace.identity);
}

ResultCode ConverterSink::openFailed(const std::string& name, ResultCode rc) {
    failedOutputName_ = name;
    return rc;
}

ResultCode ConverterSink::outcome(ResultCode run, ResultCode completed) const {
    if (run != ResultCode::Ok) {
        return run;
    }
    if (completed != ResultCode::Ok) {
        return completed;
    }
    return stats_.generatedFiles == 0 ? ResultCode::NoEvents : ResultCode::Ok;
}

}  // namespace ornpcap
