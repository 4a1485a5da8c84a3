#pragma once
// The status every stage returns. The numbers are the tool's exit codes, so
// they are fixed, and each has its message, one table of both.

#include <string_view>

namespace ornpcap {

enum class ResultCode : int {
    Ok = 0,
    NoEvents = 1,              // nothing converted, no output file created
    CannotOpenSource = 2,      // also: an output of the run cannot be opened again
    CannotCreateTarget = 3,
    CannotReadSource = 4,
    CannotReadTarget = 5,
    CannotWriteTarget = 6,
    BadVersion = 7,
    BadFormatOrVersion = 8,    // of the table; no stage returns it
    BadLength = 9,             // of the table; no stage returns it
    BadCrc = 10,               // of the table; no stage returns it
    BadFormat = 11,
    CannotDeleteOldFiles = 12, // of the table; no stage returns it
    BadPort = 13,              // of the table; no stage returns it
    CannotMerge = 14,          // of the table; no stage returns it
    CannotRepair = 15,         // ornfix: nothing of the trace could be salvaged
    NeedsNoRepair = 16,        // ornfix: the trace is good as it stands
    NoMessage = 17,            // of the table; no stage returns it
    OutOfMemory = 18,
    // Not a message of the table: the run was stopped by a signal after
    // completing its outputs. The entry exits with 128 + the signal number.
    Interrupted = 128,
};

constexpr int exitCode(ResultCode code) { return static_cast<int>(code); }

// The message of a result code; " " for success; "Unknown error." for a code
// outside the table.
std::string_view resultMessage(ResultCode code);

}  // namespace ornpcap
