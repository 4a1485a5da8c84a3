#pragma once
// Runs a built tool (OrnPcap, mktrace) in a folder, as a user would, and
// captures its standard output and exit code.

#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace ornpcap::test {

struct ToolRun {
    int exitCode = -1;    // the exit status, or 128 + signal when killed
    bool killed = false;  // by a signal
    std::string out;      // standard output, byte for byte
    std::string err;      // standard error
};

// The tool runs with the default disposition of every signal, unless asked.
struct RunOptions {
    long fileSizeLimit = -1;    // RLIMIT_FSIZE in bytes, -1: none
    long openFileLimit = -1;    // RLIMIT_NOFILE, -1: unchanged
    long memoryLimit = -1;      // RLIMIT_AS in bytes, -1: none
    int signalAfterMs = -1;     // send `signal` this long after the start, -1: never
    std::string signalWhenExists;  // or: send it once this file exists in the folder
    int signal = 0;
    // Before the signal: stop the tool for this long, then let it go on for
    // signalDelayMs (so that time-paced work falls due), -1: no pause.
    int pauseMs = -1;
    int signalDelayMs = 0;
    // Further signals, each this long after the start: {ms, signal}.
    std::vector<std::pair<int, int>> laterSignals;
    // Signals the tool starts with ignored, as under nohup.
    std::vector<int> ignoredSignals;
    bool oneCpu = false;        // held to one CPU of those the test may use
    bool unprivileged = false;  // run as nobody when the tests run as root
    // SIGKILL to the tool and all it started (it runs in a process group of
    // its own) when still running by then (a hang), -1: never.
    int killAfterMs = -1;
    // Standard input: inherited, the file of that name in the folder, its
    // bytes written into a pipe (then closed), or a pipe nothing is ever
    // written to, open until the tool ends.
    enum class Input { Inherited, File, Pipe, SilentPipe };
    Input input = Input::Inherited;
    std::string inputFile;
};

ToolRun runIn(const TempDir& dir, const std::string& binary, const std::vector<std::string>& args,
              const RunOptions& options = {});

// OrnPcap with the arguments, in the folder.
inline ToolRun runOrnPcap(const TempDir& dir, const std::vector<std::string>& args,
                          const RunOptions& options = {}) {
    return runIn(dir, ORNPCAP_BINARY, args, options);
}

}  // namespace ornpcap::test
