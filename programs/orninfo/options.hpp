#pragma once
// orninfo's command line: orninfo [options] TRACE...
//
//   -j, --json   one JSON array, one element per trace (else the long form)
//   -T, --tsv    a line of column names, then one tab-separated line per trace
//   -h, --help   usage on standard output, exit 0
//   --version    the suite's version, exit 0
//   --           the arguments that follow are traces, even those that begin with '-'
//
// Read with getopt_long as every companion's (suite/command_line.hpp): a
// usage error is one line on standard error and exit status 2.

#include <string>
#include <string_view>
#include <vector>

namespace ornpcap::orninfo {

inline constexpr std::string_view kProgram = "orninfo";

enum class Request { Inventory, Help, Version, UsageError };
enum class ReportForm { Text, Json, Tsv };

struct InfoOptions {
    Request request = Request::Inventory;
    ReportForm form = ReportForm::Text;
    std::vector<std::string> traces;
};

// Reads the arguments after the program name; a usage error is said on
// standard error.
InfoOptions parseInfoOptions(int argc, const char* const* argv);

extern const char* const kHelp;

}  // namespace ornpcap::orninfo
