#pragma once
// A watch on the frames of the port a conversion extracts: a sink that shows
// every record of that port to a FormatRecogniser and forwards every call to
// the converter's sink unchanged, so that OrnPcap can warn when the frames
// look like another format than the one given with -f.

#include <cstdint>

#include "trace/record_source.hpp"
#include "frames/format_recogniser.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap::converter {

// How sure the recogniser must be before OrnPcap contradicts the user.
inline constexpr double kWarnConfidence = 0.8;

class FormatWatch final : public RecordSink {
public:
    FormatWatch(RecordSink& converter, uint16_t port) : converter_(converter), port_(port) {}

    ResultCode start(const OpenedTrace& trace) override { return converter_.start(trace); }
    ResultCode record(const EventRecord& record, const uint8_t* payload) override;
    ResultCode finish(ResultCode result) override { return converter_.finish(result); }

    // The converter's preparing goes on as it is; the watch looks at the
    // records of its port when they are committed.
    std::unique_ptr<PreparedRecords> makePrepared() override { return converter_.makePrepared(); }
    void prepare(RecordSpan span, PreparedRecords& into) const override {
        converter_.prepare(span, into);
    }
    ResultCode commit(RecordSpan span, PreparedRecords& prepared) override;

    FormatGuess guess() const { return recogniser_.best(); }

private:
    void look(const EventRecord& record, const uint8_t* payload);

    RecordSink& converter_;
    uint16_t port_;
    FormatRecogniser recogniser_;
};

// True when the guess is confident and names another format than the one given.
inline bool looksLikeAnotherFormat(const FormatGuess& guess, FrameFormat given) {
    return guess.format != 0 && guess.format != static_cast<int32_t>(given) &&
           guess.confidence >= kWarnConfidence;
}

}  // namespace ornpcap::converter
