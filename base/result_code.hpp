#pragma once
// The status every stage returns. The numbers are the tool's exit codes, so
// they are fixed; app/ gives each its message.

namespace ornpcap {

enum class ResultCode : int {
    Ok = 0,
    NoEvents = 1,              // nothing converted, no output file created
    CannotOpenSource = 2,      // also: an existing output cannot be reopened
    CannotCreateTarget = 3,
    CannotReadSource = 4,
    CannotReadTarget = 5,
    CannotWriteTarget = 6,
    BadVersion = 7,
    BadFormat = 11,
    CannotRepair = 15,         // ornfix: nothing of the trace could be salvaged
    NeedsNoRepair = 16,        // ornfix: the trace is good as it stands
    OutOfMemory = 18,
    // Not a message of the table: the run was stopped by a signal after
    // completing its outputs. The entry exits with 128 + the signal number.
    Interrupted = 128,
};

constexpr int exitCode(ResultCode code) { return static_cast<int>(code); }

}  // namespace ornpcap
