#pragma once
// What the three converters (pcap, Visual Networks, I4B) share: what they are
// asked to convert, the counters they keep, the preparation of the outputs
// when they start, what failed with an output and why, and how the run's
// result is decided once every output is complete.

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "base/conversion_stats.hpp"
#include "base/result_code.hpp"
#include "trace/record_filter.hpp"
#include "trace/record_source.hpp"
#include "frames/frame_format.hpp"
#include "writers/output_names.hpp"
#include "writers/prepared_frames.hpp"

namespace ornpcap {

struct ConverterOptions {
    FrameFormat format = FrameFormat::Ethernet;
    RecordFilter filter;
    OutputLayout layout;
    const OutputNames* names = nullptr;
};

// Paces checkpoints by run time, about once a second: every so many records
// it looks at the clock.
class CheckpointClock {
public:
    static constexpr std::chrono::milliseconds kInterval{1000};

    // After so many more records.
    bool due(uint32_t records = 1);

private:
    uint32_t calls_ = 0;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// The steps every converter takes, around what each does its own way: at the
// start the old outputs are cleared; each record is counted, and written when
// the filter takes it; about once a second the outputs are checkpointed; at
// the end every output is completed and the result decided.
// What went wrong with an output: its name, in words, and the system's reason.
struct OutputFailure {
    std::string name;
    std::string reason;  // "cannot be created", "is a FIFO: ...": empty when nothing failed
    int osError = 0;

    bool failed() const { return !reason.empty(); }
};

// An output that reached what its format can address: the records it could
// not take.
struct FormatLimit {
    std::string name;
    std::string reason;       // "the Visual Networks format addresses packets within 4 GiB"
    uint64_t kept = 0;        // packets in the file
    uint64_t leftOut = 0;     // records that would have followed them
};

class ConverterSink : public RecordSink {
public:
    // The output that could not be opened, created or written, when the run ended so.
    const std::string& failedOutputName() const { return failure_.name; }
    const OutputFailure& failure() const { return failure_; }
    // Outputs that could not take every record, in the order they filled up.
    const std::deque<FormatLimit>& limits() const { return limits_; }
    // How far the records came through the filter.
    const FilterFunnel& funnel() const { return funnel_; }

    ResultCode start(const OpenedTrace& trace) final;
    // One record: prepared and committed as a block of one.
    ResultCode record(const EventRecord& record, const uint8_t* payload) final;
    ResultCode finish(ResultCode result) final;

    // The filter and the framing run in prepare(), on any thread; commit()
    // counts and appends to the outputs, record after record, as record()
    // would have.
    std::unique_ptr<PreparedRecords> makePrepared() final;
    void prepare(RecordSpan span, PreparedRecords& into) const final;
    ResultCode commit(RecordSpan span, PreparedRecords& prepared) final;

protected:
    // The counters start from zero.
    ConverterSink(const ConverterOptions& options, ConversionStats& stats);

    // What the converter needs of the trace before the first record.
    virtual ResultCode begin(const OpenedTrace& trace) = 0;
    // A record the filter took, made into the entry's bytes at the end of the
    // batch (or refused): on any thread, from what begin() fixed alone.
    virtual void frame(const RecordRef& record, PreparedEntry& entry,
                       PreparedFrames& into) const = 0;
    // The block's entries into their outputs, in stream order, a run of
    // entries of one output at a time. On a failure, failedAt is the index
    // of the entry it came with.
    virtual ResultCode write(PreparedFrames& frames, size_t& failedAt) = 0;
    // What was written reaches the files, readable as they stand.
    virtual bool checkpoint() = 0;
    // Completes and closes every output; false when that failed.
    virtual bool complete() = 0;

    // Whether the converter completes its files in place (seeks back into them).
    virtual bool seeksInOutputs() const { return false; }

    // Notes an output whose opening ended with rc, and the system's reason.
    ResultCode openFailed(const std::string& name, ResultCode rc, int osError);
    // Notes an output a write into failed.
    ResultCode writeFailed(const std::string& name, int osError);
    // Notes an output that reached its format's limit; the run goes on without it.
    FormatLimit& limitReached(const std::string& name, std::string reason);

    const ConverterOptions options_;
    ConversionStats& stats_;

private:
    void noteFailure(const std::string& name, std::string reason, int osError);
    void prepareAll(RecordSpan span, PreparedFrames& into) const;

    PreparedFrames single_;  // for record()
    OutputFailure failure_;
    std::deque<FormatLimit> limits_;  // a deque: outputs keep pointers into it
    FilterFunnel funnel_;
    CheckpointClock checkpoints_;
};

}  // namespace ornpcap
