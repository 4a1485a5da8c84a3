#pragma once
// What every program of the suite writes on standard error, one line each,
// the program's name first: "orninfo: Trace.orn: block 3 at offset 1234:
// FCS-16 wrong (exit 11)". Standard output is never touched from here.

#include <string>
#include <string_view>

#include "trace/record_source.hpp"
#include "trace/trace_fault.hpp"

namespace ornpcap::diagnostics {

// "PROGRAM: FILE: reason", or "PROGRAM: reason" without a file.
void say(std::string_view program, std::string_view file, std::string_view reason);

// The fault of a trace, with the exit code it ends the run with, and where
// ornfix can salvage around it, the command that does.
void traceFault(std::string_view program, std::string_view file, const TraceFault& fault);
// Where ornfix can salvage around the fault, what to say after it: "; ornfix
// FILE salvages every intact record" (for "-", that the trace is saved to a
// file first); empty for any other fault.
std::string salvageHint(std::string_view file, const TraceFault& fault);
// A block stream that ended by its trailer before a good block: records were left unread.
void blocksLeftUnread(std::string_view program, std::string_view file, const TraceReport& report);
// The same in words: "the block stream ends after block 3 by its trailer ...".
std::string describeBlocksLeftUnread(const TraceReport& report);
// A signal before the program's work began.
void interruptedBeforeStart(std::string_view program, int signalNumber);

}  // namespace ornpcap::diagnostics
