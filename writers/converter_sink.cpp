#include "writers/converter_sink.hpp"

#include "base/interrupt.hpp"
#include "base/out_of_memory.hpp"
#include "writers/output_preparation.hpp"

namespace ornpcap {

bool CheckpointClock::due(uint32_t records) {
    constexpr uint32_t kRecordsBetweenLooks = 256;
    calls_ += records;
    if (calls_ < kRecordsBetweenLooks) {
        return false;
    }
    calls_ = 0;
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
    const RecordRef one{record, payload};
    prepare(RecordSpan(&one, 1), single_);
    return commit(RecordSpan(&one, 1), single_);
}

std::unique_ptr<PreparedRecords> ConverterSink::makePrepared() {
    return std::make_unique<PreparedFrames>();
}

void ConverterSink::prepareAll(RecordSpan span, PreparedFrames& into) const {
    into.clear();
    for (uint32_t n = 0; n < span.size(); ++n) {
        const RecordRef& r = span[n];
        if (into.funnel.pass(options_.filter, r.header)) {
            PreparedEntry& entry = into.entries.emplace_back();
            entry.record = n;
            entry.lsn = options_.layout.outputOf(r.header.lsn);
            entry.sent = isFrameSent(r.header);
            entry.timeMs = r.header.timeMs;
            entry.offset = into.used();
            frame(r, entry, into);
        }
    }
}

void ConverterSink::prepare(RecordSpan span, PreparedRecords& into) const {
    PreparedFrames& frames = static_cast<PreparedFrames&>(into);
    try {
        prepareAll(span, frames);
    } catch (const std::bad_alloc&) {
        frames.outOfMemory = true;  // on a worker: the commit tries again, and says so
    }
}

// Every record counts, in order; those the filter took go to their outputs
// one after the other, and the first failure ends the block there, with the
// record count as it stood at that record.
ResultCode ConverterSink::commit(RecordSpan span, PreparedRecords& prepared) {
    PreparedFrames& frames = static_cast<PreparedFrames&>(prepared);
    if (frames.outOfMemory) {
        if (ResultCode rc = unlessOutOfMemory([&] {
                prepareAll(span, frames);
                return ResultCode::Ok;
            });
            rc != ResultCode::Ok) {
            return rc;
        }
    }
    size_t failedAt = 0;
    if (ResultCode rc = unlessOutOfMemory([&] { return write(frames, failedAt); });
        rc != ResultCode::Ok) {
        const size_t records = failedAt < frames.entries.size()
                                   ? frames.entries[failedAt].record + 1u
                                   : span.size();
        stats_.traceRecords += static_cast<int32_t>(records);
        return rc;
    }
    stats_.traceRecords += static_cast<int32_t>(span.size());
    funnel_ += frames.funnel;
    if (checkpoints_.due(static_cast<uint32_t>(span.size())) && !checkpoint()) {
        return ResultCode::CannotWriteTarget;
    }
    return ResultCode::Ok;
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
