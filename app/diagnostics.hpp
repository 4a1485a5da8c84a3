#pragma once
// The texts the tools write on standard error, one line each, the program's
// name first ("OrnPcap: Trace.orn: block 3 at offset 1234: FCS-16 wrong
// (exit 11)"): where a trace is damaged and how, what was skipped on the
// command line, and warnings. Standard output is never touched from here.

#include <string>
#include <string_view>

#include "base/result_code.hpp"
#include "trace/record_source.hpp"
#include "trace/trace_fault.hpp"
#include "base/conversion_stats.hpp"
#include "trace/record_filter.hpp"
#include "writers/converter_sink.hpp"
#include "writers/format_recogniser.hpp"
#include "writers/frame_format.hpp"

namespace ornpcap::diagnostics {

// What failed, in words: "trailer checksum wrong: the file may be cut short",
// "block 17 at offset 123456: FCS-16 wrong".
std::string describe(const TraceFault& fault);

// "PROGRAM: FILE: reason"
void say(std::string_view program, std::string_view file, std::string_view reason);

// The fault of a trace, with the exit code it ends the run with.
void traceFault(std::string_view program, std::string_view file, const TraceFault& fault);
// A block stream that ended by its trailer before a good block: records were left unread.
void blocksLeftUnread(std::string_view program, std::string_view file, const TraceReport& report);
// The same in words: "the block stream ends after block 3 by its trailer ...".
std::string describeBlocksLeftUnread(const TraceReport& report);

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
void interruptedBeforeStart(std::string_view program, int signalNumber);

}  // namespace ornpcap::diagnostics
