#pragma once
// ornfix's command line: ornfix [options] TRACE [OUTPUT], read with
// getopt_long as every companion's (suite/command_line.hpp): a usage error is
// one line on standard error and exit status 2.

#include <string>

namespace ornpcap::ornfix {

struct FixOptions {
    std::string trace;
    std::string output;  // empty: beside the trace, with _fixed before the extension
    bool force = false;
    bool dryRun = false;
};

enum class Invocation { Run, Help, Version, UsageError };

struct ParsedCommandLine {
    Invocation what = Invocation::Run;
    FixOptions options;
    std::string error;  // UsageError: what is wrong
};

ParsedCommandLine parseCommandLine(int argc, const char* const* argv);

// The whole help text.
extern const char* const kHelp;

}  // namespace ornpcap::ornfix
