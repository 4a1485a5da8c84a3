#pragma once
// mktrace's command line: mktrace [--] SCENARIO TRACE, read with getopt_long
// as every companion's (suite/command_line.hpp): a usage error is one line on
// standard error and exit status 2. Either name may be - for standard input
// (SCENARIO) or output (TRACE).

#include <string>

namespace ornpcap::mktrace {

enum class Invocation { Make, Help, Version, UsageError };

struct ParsedCommandLine {
    Invocation what = Invocation::Make;
    std::string scenario;
    std::string trace;
    std::string error;  // UsageError: what is wrong
};

ParsedCommandLine parseCommandLine(int argc, const char* const* argv);

// The whole help text.
extern const char* const kHelp;

}  // namespace ornpcap::mktrace
