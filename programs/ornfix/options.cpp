#include "ornfix/options.hpp"

#include <utility>
#include <vector>

#include "suite/command_line.hpp"

namespace ornpcap::ornfix {

const char* const kHelp =
    "ornfix: salvages every intact record of a damaged or truncated Varnek ORN\n"
    "trace into a new, valid trace; the trace itself is never changed.\n"
    "\n"
    "Usage: ornfix [options] TRACE [OUTPUT]\n"
    "\n"
    "OUTPUT is by default TRACE with _fixed before its extension (Trace.orn gives\n"
    "Trace_fixed.orn); - writes the repaired trace to standard output, and the\n"
    "report then goes to standard error.\n"
    "\n"
    "Options:\n"
    "  -f, --force     replace OUTPUT when it exists\n"
    "  -n, --dry-run   report what would be repaired, write nothing\n"
    "  -h, --help      print this help and exit\n"
    "      --version   print the version and exit\n"
    "      --          what follows are names, even when they begin with -\n"
    "\n"
    "Exit status: 0 repaired trace written (with -n: it would be), 16 the trace is\n"
    "good and needs no repair, 15 nothing could be salvaged, 2 a usage error or the\n"
    "trace cannot be opened, 3 OUTPUT cannot be created, 4 the trace cannot be read,\n"
    "6 OUTPUT cannot be written, 18 out of memory, 128+N stopped by signal N.\n";

namespace {

constexpr int kVersion = 256;
const option kLongOptions[] = {
    {"force", no_argument, nullptr, 'f'},
    {"dry-run", no_argument, nullptr, 'n'},
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
    command_line::OptionReader reader(argc, argv, "fnh", kLongOptions);
    for (int c; (c = reader.next()) != -1;) {
        switch (c) {
            case 'f': parsed.options.force = true; break;
            case 'n': parsed.options.dryRun = true; break;
            case 'h': parsed.what = Invocation::Help; return parsed;
            case kVersion: parsed.what = Invocation::Version; return parsed;
            default: return usageError(reader.problem());
        }
    }
    const std::vector<std::string> names = reader.operands();
    if (std::string problem = command_line::namesProblem(names, {"trace"}, 2); !problem.empty()) {
        return usageError(std::move(problem));
    }
    if (names[0] == "-") {
        return usageError("a trace is read twice, so it cannot come from standard input");
    }
    parsed.options.trace = names[0];
    parsed.options.output = names.size() == 2 ? names[1] : "";
    return parsed;
}

}  // namespace ornpcap::ornfix
