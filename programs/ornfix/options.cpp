#include "ornfix/options.hpp"

#include <string_view>
#include <vector>

namespace ornpcap::ornfix {

const char* const kUsage = "Usage: ornfix [-f] [-n] TRACE [OUTPUT]";

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
    "\n"
    "Exit status: 0 repaired trace written (with -n: it would be), 16 the trace is\n"
    "good and needs no repair, 15 nothing could be salvaged, 2 the trace cannot be\n"
    "opened, 3 OUTPUT cannot be created, 4 the trace cannot be read, 6 OUTPUT\n"
    "cannot be written, 18 out of memory, 1 usage error, 128+N stopped by signal N.\n";

namespace {

struct LongOption {
    std::string_view name;
    char shortName;
};
constexpr LongOption kLongOptions[] = {
    {"--force", 'f'}, {"--dry-run", 'n'}, {"--help", 'h'}, {"--version", 'V'}};

// Applies one option letter; false when there is no such option.
bool applyOption(char letter, ParsedCommandLine& parsed) {
    switch (letter) {
        case 'f': parsed.options.force = true; return true;
        case 'n': parsed.options.dryRun = true; return true;
        case 'h': parsed.what = Invocation::Help; return true;
        case 'V': parsed.what = Invocation::Version; return true;
        default: return false;
    }
}

bool applyArgument(std::string_view arg, ParsedCommandLine& parsed) {
    if (arg.starts_with("--")) {
        for (const LongOption& option : kLongOptions) {
            if (arg == option.name) {
                return applyOption(option.shortName, parsed);
            }
        }
        return false;
    }
    for (char letter : arg.substr(1)) {
        if (letter == 'V' || !applyOption(letter, parsed)) {
            return false;
        }
    }
    return true;
}

ParsedCommandLine usageError(std::string error) {
    ParsedCommandLine parsed;
    parsed.what = Invocation::UsageError;
    parsed.error = std::move(error);
    return parsed;
}

}  // namespace

ParsedCommandLine parseCommandLine(int argc, const char* const* argv) {
    ParsedCommandLine parsed;
    std::vector<std::string> names;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
            if (!applyArgument(arg, parsed)) {
                return usageError("unknown option " + std::string(arg));
            }
        } else {
            names.emplace_back(arg);
        }
    }
    if (parsed.what != Invocation::Run) {
        return parsed;
    }
    if (names.empty()) {
        return usageError("no trace given");
    }
    if (names.size() > 2) {
        return usageError("too many names: " + names[2]);
    }
    if (names[0] == "-") {
        return usageError("a trace is read twice, so it cannot come from standard input");
    }
    parsed.options.trace = names[0];
    parsed.options.output = names.size() == 2 ? names[1] : "";
    return parsed;
}

}  // namespace ornpcap::ornfix
