#pragma once
// What a run will do, decided once from the settings: which converter, which
// records it takes, how its outputs are named and laid out.
//
//   I4B ISDN                                  -> .i4b, one file, every LSN, both directions
//   PPP-Sync or PPP-Async, both directions    -> .vn, one file (per LSN in ALL mode)
//   everything else                           -> pcap, one file (per LSN in ALL mode)

#include <deque>
#include <string>

#include "ornpcap/naming.hpp"
#include "ornpcap/settings.hpp"
#include "base/conversion_stats.hpp"
#include "trace/record_source.hpp"
#include "frames/format_recogniser.hpp"
#include "writers/converter_sink.hpp"

namespace ornpcap::converter {

enum class Converter { Pcap, Vn, I4b };

Converter converterFor(FrameFormat format, Direction direction);

struct ConversionPlan {
    Converter converter = Converter::Pcap;
    TraceRequest trace;
    FrameFormat format = FrameFormat::Ethernet;
    RecordFilter filter;
    OutputLayout layout;
    OutputNaming naming;

    // What the converter is given; it refers to the plan's naming.
    ConverterOptions converterOptions() const { return {format, filter, layout, &naming}; }
};

ConversionPlan makePlan(const ConversionSettings& settings);

struct RunOutcome {
    ResultCode code = ResultCode::Ok;
    std::string failedOutputName;  // the output that could not be opened or created
    OutputFailure failure;         // what failed with an output, and why
    std::deque<FormatLimit> limits;  // outputs that could not take every record
    FilterFunnel funnel;           // how far the records came through the filter
    TraceReport trace;             // what reading the trace found
    FormatGuess frames;            // what the frames of the port look like
};

// Runs the plan's converter over its trace, counting into stats.
RunOutcome runPlan(const ConversionPlan& plan, ConversionStats& stats,
                   BlockObserver* observer = nullptr);

}  // namespace ornpcap::converter
