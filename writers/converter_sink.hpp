#pragma once
// What the three converters (pcap, Visual Networks, I4B) share: what they are
// asked to convert, the counters they keep, the clean-up of old outputs when
// they start, the name of an output they could not open, and how the run's
// result is decided once every output is complete.

#include <chrono>
#include <cstdint>
#include <new>
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

class ConverterSink : public RecordSink {
public:
    // The output that could not be opened or created, when the run ended so.
    const std::string& failedOutputName() const { return failedOutputName_; }

protected:
    // The counters start from zero.
    ConverterSink(const ConverterOptions& options, ConversionStats& stats);

    void clearOldOutputs(const OpenedTrace& trace) const;
    // Notes the name of an output whose opening ended with rc.
    ResultCode openFailed(const std::string& name, ResultCode rc);
    // The run's result: its own failure first, then a failure to complete the
    // outputs, then NoEvents when no output file was created.
    ResultCode outcome(ResultCode run, ResultCode completed) const;

    // Runs a step, ending with OutOfMemory where it could not allocate.
    template <class Step>
    static ResultCode guarded(Step&& step) {
        try {
            return step();
        } catch (const std::bad_alloc&) {
            return ResultCode::OutOfMemory;
        }
    }

    const ConverterOptions options_;
    ConversionStats& stats_;
    CheckpointClock checkpoints_;

private:
    std::string failedOutputName_;
};

}  // namespace ornpcap
