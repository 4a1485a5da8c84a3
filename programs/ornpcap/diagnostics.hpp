#pragma once
// What OrnPcap alone writes on standard error, one line each, "OrnPcap: "
// first: why a run ended (a usage error, an output, the filter that found
// nothing, a signal), what was skipped on the command line, and warnings.
// The lines every program writes are suite/say.hpp's.

#include <string>
#include <string_view>

#include "base/result_code.hpp"
#include "trace/record_source.hpp"
#include "suite/say.hpp"
#include "base/conversion_stats.hpp"
#include "trace/record_filter.hpp"
#include "writers/converter_sink.hpp"
#include "frames/format_recogniser.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap::converter::diagnostics {

using ornpcap::diagnostics::blocksLeftUnread;
using ornpcap::diagnostics::interruptedBeforeStart;
using ornpcap::diagnostics::say;
using ornpcap::diagnostics::traceFault;

// The frames of the converted port look like another format than the one given.
void frameFormatLooksWrong(std::string_view program, std::string_view file, uint16_t port,
                           const FormatGuess& guess, FrameFormat given);

// A usage error or the help, which end the run with 1: "-p0: the port must be ...".
void usage(std::string_view program, std::string_view what);

// An output that could not be prepared, opened, created or written.
void outputFailed(std::string_view program, const OutputFailure& failure, ResultCode code);
// An output that reached what its format can address.
void formatLimitReached(std::string_view program, const FormatLimit& limit, ResultCode code);

// What a run that converted nothing found, for saying which test found nothing.
struct NothingFound {
    const TraceReport& trace;
    const FilterFunnel& funnel;
    const RecordFilter& filter;
    FrameFormat format;
    int32_t refusedFrames = 0;  // by the framing
};
void nothingConverted(std::string_view program, std::string_view file, const NothingFound& found);

// A run ended by a signal, or by a failed allocation: where, and what was completed.
void interrupted(std::string_view program, std::string_view file, int signalNumber,
                 const TraceReport& trace, const ConversionStats& stats);
void outOfMemory(std::string_view program, std::string_view file, const TraceReport& trace,
                 const ConversionStats& stats);

void argumentSkipped(std::string_view program, std::string_view argument);
// An option letter alone, followed by what looks like its value.
void valueInNextArgument(std::string_view program, std::string_view option,
                         std::string_view value);

}  // namespace ornpcap::converter::diagnostics
