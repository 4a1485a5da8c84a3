#include "orninfo/options.hpp"

#include <cstdint>

#include "suite/command_line.hpp"

namespace ornpcap::orninfo {

const char* const kHelp =
    "Usage: orninfo [options] TRACE...\n"
    "Shows what ORN device traces hold: format version, start, blocks, records and\n"
    "time span; whether the trace is intact, and where it is damaged; one row per\n"
    "channel (port and LSN) and one per port, with the frame format its frames look\n"
    "like and the OrnPcap command that extracts it.\n"
    "\n"
    "Options:\n"
    "  -j, --json     one JSON array with one element per trace\n"
    "  -T, --tsv      a line of column names, then one tab-separated line per trace\n"
    "  -h, --help     this help\n"
    "      --version  the version\n"
    "      --         the arguments that follow are traces\n"
    "\n"
    "Exit status: 0 every trace intact; 1 a trace damaged (its report is printed);\n"
    "2 a usage error, or a file that cannot be opened or is not a trace.\n";

namespace {

constexpr int kVersion = 256;
const option kLongOptions[] = {
    {"json", no_argument, nullptr, 'j'},
    {"tsv", no_argument, nullptr, 'T'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

InfoOptions usageError(std::string_view what) {
    command_line::usageError(kProgram, what);
    return {Request::UsageError, ReportForm::Text, {}};
}

}  // namespace

InfoOptions parseInfoOptions(int argc, const char* const* argv) {
    InfoOptions options;
    command_line::OptionReader reader(argc, argv, "jTh", kLongOptions);
    bool json = false;
    bool tsv = false;
    for (int c; (c = reader.next()) != -1;) {
        switch (c) {
            case 'j': json = true; break;
            case 'T': tsv = true; break;
            case 'h': return {Request::Help, ReportForm::Text, {}};
            case kVersion: return {Request::Version, ReportForm::Text, {}};
            default: return usageError(reader.problem());
        }
    }
    if (json && tsv) {
        return usageError("--json and --tsv exclude each other");
    }
    options.form = json ? ReportForm::Json : tsv ? ReportForm::Tsv : ReportForm::Text;
    options.traces = reader.operands();
    const std::string problem = command_line::namesProblem(options.traces, {"trace"}, SIZE_MAX);
    if (!problem.empty()) {
        return usageError(problem);
    }
    return options;
}

}  // namespace ornpcap::orninfo
