#pragma once
// mktrace: writes a trace file from a scenario, so that traces can be made
// without a device. See tracebuild/scenario.hpp for the scenario format.
//
//   mktrace [-h|--help] [--version] [--] SCENARIO|- TRACE|-
//
// The command line is read in options.cpp; run() takes it to the trace and
// the exit status.

#include <string_view>

namespace ornpcap::mktrace {

inline constexpr std::string_view kProgram = "mktrace";

int run(int argc, char** argv);

}  // namespace ornpcap::mktrace
