#include "ornpcap/plan.hpp"

#include "ornpcap/format_watch.hpp"
#include "writers/i4b_writer.hpp"
#include "writers/pcap_writer.hpp"
#include "writers/vn_writer.hpp"

namespace ornpcap::converter {

namespace {

// The extension that replaces ".pcap" in the output name; empty keeps it.
const char* extensionOf(Converter converter) {
    switch (converter) {
        case Converter::Vn: return ".vn";
        case Converter::I4b: return ".i4b";
        case Converter::Pcap: break;
    }
    return "";
}

template <class Sink>
RunOutcome run(const ConversionPlan& plan, ConversionStats& stats, BlockObserver* observer) {
    Sink sink(plan.converterOptions(), stats);
    FormatWatch watch(sink, plan.filter.port);
    TraceRequest request = plan.trace;
    request.observer = observer;
    RunOutcome outcome;
    outcome.code = readTrace(request, watch, &outcome.trace);
    outcome.failedOutputName = sink.failedOutputName();
    outcome.failure = sink.failure();
    outcome.limits = sink.limits();
    outcome.funnel = sink.funnel();
    outcome.frames = watch.guess();
    return outcome;
}

}  // namespace

Converter converterFor(FrameFormat format, Direction direction) {
    // What pcap cannot hold has a file of its own; what a .vn file can hold
    // goes there when both directions are asked for.
    const FrameFormatRow& row = frameFormatRow(format);
    if (row.pcapFrame == nullptr) {
        return Converter::I4b;
    }
    return row.vnFrame != nullptr && direction == Direction::InOut ? Converter::Vn
                                                                   : Converter::Pcap;
}

ConversionPlan makePlan(const ConversionSettings& s) {
    const Converter converter = converterFor(s.format, s.direction);
    // An I4B file takes every LSN and both directions, whatever was asked.
    const bool i4b = converter == Converter::I4b;
    const Direction direction = i4b ? Direction::InOut : s.direction;
    const LsnMode lsnMode = i4b ? LsnMode::Any : s.lsnMode;
    const uint16_t lsn = i4b ? 0 : s.lsn;
    return {converter,
            {s.inputName, s.versionMajor, s.versionMinor, nullptr},
            s.format,
            {s.port, direction, lsnMode, lsn},
            {lsnMode == LsnMode::All, lsn},
            OutputNaming(s.outputName, extensionOf(converter), direction)};
}

RunOutcome runPlan(const ConversionPlan& plan, ConversionStats& stats, BlockObserver* observer) {
    switch (plan.converter) {
        case Converter::Vn: return run<VnSink>(plan, stats, observer);
        case Converter::I4b: return run<I4bSink>(plan, stats, observer);
        case Converter::Pcap: break;
    }
    return run<PcapSink>(plan, stats, observer);
}

}  // namespace ornpcap::converter
