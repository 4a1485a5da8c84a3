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

void argumentSkipped(std::string_view program, std::string_view argument);
// An option letter alone, followed by what looks like its value.
void valueInNextArgument(std::string_view program, std::string_view option,
                         std::string_view value);
void interruptedBeforeStart(std::string_view program, int signalNumber);

}  // namespace ornpcap::diagnostics
