#pragma once
// orninfo [options] TRACE...: what each trace holds, which OrnPcap command
// extracts each of its ports, and where it is damaged.
//
//   --json       one JSON array, one object per trace (else the long form)
//   -h, --help   usage on standard output, exit 0
//   --version    the suite's version, exit 0
//   --           the arguments that follow are traces, even those that begin with '-'
//
// Exit status: 0 when every trace is intact, 1 when any is damaged (its
// report is printed all the same), 2 for a usage error or a file that cannot
// be opened or is no trace at all. Diagnostics go to standard error as
// "orninfo: FILE: reason".

#include <string>
#include <string_view>
#include <vector>

namespace ornpcap::orninfo {

inline constexpr std::string_view kProgram = "orninfo";

enum class Request { Inventory, Help, Version, UsageError };

struct InfoOptions {
    Request request = Request::Inventory;
    bool json = false;
    std::vector<std::string> traces;
};

// Reads the arguments after the program name; usage errors are said on
// standard error.
InfoOptions parseInfoOptions(int argc, const char* const* argv);

int run(int argc, char** argv);

}  // namespace ornpcap::orninfo
