#include "mktrace/options.hpp"

#include <utility>
#include <vector>

#include "suite/command_line.hpp"

namespace ornpcap::mktrace {

const char* const kHelp =
    "Usage: mktrace [-h|--help] [--version] SCENARIO TRACE\n"
    "Writes the trace file TRACE from the scenario SCENARIO, a small text that\n"
    "sets the header (version, start, utc, snap, description, blocks, level) and\n"
    "lists the records (frame, bulk and traffic lines); see mktrace(1).\n"
    "Either name may be - for standard input (SCENARIO) or output (TRACE).\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "      --         what follows are names, even when they begin with -\n";

namespace {

constexpr int kVersion = 256;
const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

ParsedCommandLine usageError(std::string error) {
    ParsedCommandLine parsed;
    parsed.what = Invocation::UsageError;
    parsed.error = std::move(error);
    return parsed;
}

}  // namespace

ParsedCommandLine parseCommandLine(int argc, const char* const* argv) {
    ParsedCommandLine parsed;
    command_line::OptionReader reader(argc, argv, "h", kLongOptions);
    for (int c; (c = reader.next()) != -1;) {
        switch (c) {
            case 'h': parsed.what = Invocation::Help; return parsed;
            case kVersion: parsed.what = Invocation::Version; return parsed;
            default: return usageError(reader.problem());
        }
    }
    const std::vector<std::string> names = reader.operands();
    if (std::string problem = command_line::namesProblem(names, {"scenario", "trace"}, 2);
        !problem.empty()) {
        return usageError(std::move(problem));
    }
    parsed.scenario = names[0];
    parsed.trace = names[1];
    return parsed;
}

}  // namespace ornpcap::mktrace
