#include "orninfo/run.hpp"

#include <algorithm>

#include "suite/console.hpp"
#include "suite/say.hpp"
#include "suite/version.hpp"
#include "suite/progress.hpp"
#include "base/interrupt.hpp"
#include "orninfo/inventory.hpp"
#include "orninfo/json_report.hpp"
#include "orninfo/text_report.hpp"

namespace ornpcap::orninfo {

namespace {

constexpr const char* kHelp =
    "Usage: orninfo [options] TRACE...\n"
    "Shows what ORN device traces hold: format version, start, blocks, records and\n"
    "time span; whether the trace is intact, and where it is damaged; one row per\n"
    "channel (port and LSN) and one per port, with the frame format its frames look\n"
    "like and the OrnPcap command that extracts it.\n"
    "\n"
    "Options:\n"
    "  --json       one JSON array with one object per trace\n"
    "  -h, --help   this help\n"
    "  --version    the version\n"
    "  --           the arguments that follow are traces\n"
    "\n"
    "Exit status: 0 every trace intact; 1 a trace damaged (its report is printed);\n"
    "2 a usage error, or a file that cannot be opened or is not a trace.\n";

constexpr int kDamaged = 1;
constexpr int kFailed = 2;

InfoOptions usageError(std::string_view argument, std::string_view reason) {
    diagnostics::say(kProgram, argument, std::string(reason) + " (see orninfo --help)");
    return {Request::UsageError, false, {}};
}

// What one trace adds to the exit status, after its diagnostics.
int statusOf(const InventoryResult& result) {
    if (result.status != InventoryStatus::Taken) {
        diagnostics::say(kProgram, result.inventory.file,
                         result.status == InventoryStatus::OutOfMemory ? "out of memory"
                                                                       : result.reason);
        return kFailed;
    }
    if (!result.inventory.integrity.intact) {
        diagnostics::say(kProgram, result.inventory.file, result.inventory.integrity.detail);
        return kDamaged;
    }
    return 0;
}

int inventories(const InfoOptions& options) {
    std::vector<TraceInventory> taken;
    int status = 0;
    size_t printed = 0;
    for (const std::string& trace : options.traces) {
        ProgressLine progress(trace, "Reading");
        InventoryResult result = takeInventory(trace, &progress);
        progress.finish();
        if (result.status == InventoryStatus::Interrupted) {
            diagnostics::say(kProgram, trace, "interrupted");
            return 128 + pendingInterrupt();
        }
        status = std::max(status, statusOf(result));
        if (result.status != InventoryStatus::Taken) {
            continue;
        }
        if (options.json) {
            taken.push_back(std::move(result.inventory));
        } else {
            // A blank line between the reports of several traces.
            console::print(printed++ == 0 ? "" : "\n");
            console::print(inventoryAsText(result.inventory));
        }
    }
    if (options.json) {
        console::print(inventoriesAsJson(taken));
    }
    return status;
}

}  // namespace

InfoOptions parseInfoOptions(int argc, const char* const* argv) {
    InfoOptions options;
    bool onlyTraces = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (onlyTraces || arg == "-" || !arg.starts_with("-")) {
            options.traces.emplace_back(arg);
        } else if (arg == "--") {
            onlyTraces = true;
        } else if (arg == "-h" || arg == "--help") {
            return {Request::Help, false, {}};
        } else if (arg == "--version") {
            return {Request::Version, false, {}};
        } else if (arg == "--json") {
            options.json = true;
        } else {
            return usageError(arg, "unknown option");
        }
    }
    if (options.traces.empty()) {
        return usageError("", "no trace given");
    }
    return options;
}

int run(int argc, char** argv) {
    const InfoOptions options = parseInfoOptions(argc, argv);
    switch (options.request) {
        case Request::Help: console::print(kHelp); return 0;
        case Request::Version: console::printLine(versionLine(kProgram)); return 0;
        case Request::UsageError: return kFailed;
        case Request::Inventory: break;
    }
    return inventories(options);
}

}  // namespace ornpcap::orninfo
