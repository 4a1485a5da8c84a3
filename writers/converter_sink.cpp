#include "writers/converter_sink.hpp"

#include "base/interrupt.hpp"
#include "base/out_of_memory.hpp"
#include "writers/output_preparation.hpp"

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
    return unlessOutOfMemory([&] {
        OutputRefusal refusal;
        const OutputNeeds needs{options_.layout, seeksInOutputs()};
        if (prepareOutputs(*options_.names, needs, trace.identity, refusal) != ResultCode::Ok) {
            noteFailure(refusal.name, refusal.reason, refusal.osError);
            return ResultCode::CannotCreateTarget;
        }
        return begin(trace);
    });
}

ResultCode ConverterSink::record(const EventRecord& record, const uint8_t* payload) {
    ++stats_.traceRecords;
    ResultCode rc = ResultCode::Ok;
    if (funnel_.pass(options_.filter, record)) {
        rc = unlessOutOfMemory([&] { return write(record, payload); });
    }
    if (rc == ResultCode::Ok && checkpoints_.due() && !checkpoint()) {
        rc = ResultCode::CannotWriteTarget;
    }
    return rc;
}

void ConverterSink::noteFailure(const std::string& name, std::string reason, int osError) {
    if (failure_.reason.empty()) {  // the first one is the cause
        failure_ = {name, std::move(reason), osError};
    }
}

ResultCode ConverterSink::openFailed(const std::string& name, ResultCode rc, int osError) {
    const char* what = rc == ResultCode::CannotOpenSource    ? "cannot be opened again"
                       : rc == ResultCode::CannotWriteTarget ? "cannot be written"
                                                              : "cannot be created";
    noteFailure(name, what, osError);
    return rc;
}

ResultCode ConverterSink::writeFailed(const std::string& name, int osError) {
    noteFailure(name, "cannot be written", osError);
    return ResultCode::CannotWriteTarget;
}

FormatLimit& ConverterSink::limitReached(const std::string& name, std::string reason) {
    limits_.push_back({name, std::move(reason), 0, 0});
    return limits_.back();
}

// The run's result: its own failure first (an interrupt where a signal cut a
// call short), then a failure to complete the outputs, then an output that
// could not take every record, then NoEvents when no output file was created.
ResultCode ConverterSink::finish(ResultCode result) {
    const bool completed = complete();
    if (result != ResultCode::Ok) {
        return pendingInterrupt() != 0 ? ResultCode::Interrupted : result;
    }
    if (!completed) {
        return ResultCode::CannotWriteTarget;
    }
    if (!limits_.empty()) {
        return ResultCode::CannotWriteTarget;
    }
    return stats_.generatedFiles == 0 ? ResultCode::NoEvents : ResultCode::Ok;
}

}  // namespace ornpcap
