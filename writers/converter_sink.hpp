#pragma once
// What the three converters (pcap, Visual Networks, I4B) share: what they are
// asked to convert, the counters they keep, the clean-up of old outputs when
// they start, the name of an output they could not open, and how the run's
// result is decided once every output is complete.

#include <chrono>
#include <cstdint>
#include <string>

#include "base/conversion_stats.hpp"
#include "base/result_code.hpp"
#include "trace/record_filter.hpp"
#include "trace/record_source.hpp"
#include "writers/frame_format.hpp"
#include "writers/output_names.hpp"

namespace ornpcap {

// Which output a record goes to: in ALL mode the one of its own LSN; else the
// run's one output, named for the LSN asked for (0 in ANY mode).
struct OutputLayout {
    bool perLsn = false;
    uint16_t lsn = 0;

    uint16_t outputOf(const EventRecord& record) const { return perLsn ? record.lsn : lsn; }
};

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

    bool due();

private:
    uint32_t calls_ = 0;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// The steps every converter takes, around what each does its own way: at the
// start the old outputs are cleared; each record is counted, and written when
// the filter takes it; about once a second the outputs are checkpointed; at
// the end every output is completed and the result decided.
class ConverterSink : public RecordSink {
public:
    // The output that could not be opened or created, when the run ended so.
    const std::string& failedOutputName() const { return failedOutputName_; }

    ResultCode start(const OpenedTrace& trace) final;
    ResultCode record(const EventRecord& record, const uint8_t* payload) final;
    ResultCode finish(ResultCode result) final;

protected:
    // The counters start from zero.
    ConverterSink(const ConverterOptions& options, ConversionStats& stats);

    // What the converter needs of the trace before the first record.
    virtual ResultCode begin(const OpenedTrace& trace) = 0;
    // A record the filter took.
    virtual ResultCode write(const EventRecord& record, const uint8_t* payload) = 0;
    // What was written reaches the files, readable as they stand.
    virtual bool checkpoint() = 0;
    // Completes and closes every output; false when that failed.
    virtual bool complete() = 0;

    // Notes the name of an output whose opening ended with rc.
    ResultCode openFailed(const std::string& name, ResultCode rc);

    const ConverterOptions options_;
    ConversionStats& stats_;

private:
    std::string failedOutputName_;
    CheckpointClock checkpoints_;
};

}  // namespace ornpcap
