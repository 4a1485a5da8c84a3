#include "orninfo/run.hpp"

#include <algorithm>

#include "base/interrupt.hpp"
#include "orninfo/inventory.hpp"
#include "orninfo/json_report.hpp"
#include "orninfo/options.hpp"
#include "orninfo/outcome.hpp"
#include "orninfo/text_report.hpp"
#include "orninfo/tsv_report.hpp"
#include "suite/command_line.hpp"
#include "suite/console.hpp"
#include "suite/progress.hpp"
#include "suite/say.hpp"
#include "suite/version.hpp"

namespace ornpcap::orninfo {

namespace {

// The line on standard error of a trace that has no report or is damaged.
void diagnose(const InventoryResult& result) {
    if (result.status != InventoryStatus::Taken) {
        diagnostics::say(kProgram, result.inventory.file, errorOf(result));
    } else if (!result.inventory.integrity.intact) {
        diagnostics::say(kProgram, result.inventory.file, result.inventory.integrity.detail);
    }
}

// Prints each trace's report as it is taken (the JSON array once all are).
class Reporter {
public:
    explicit Reporter(ReportForm form) : form_(form) {
        if (form_ == ReportForm::Tsv) {
            console::print(tsvHeader());
        }
    }
    void add(InventoryResult result) {
        switch (form_) {
            case ReportForm::Json: taken_.push_back(std::move(result)); break;
            case ReportForm::Tsv: console::print(tsvLine(result)); break;
            case ReportForm::Text:
                if (result.status == InventoryStatus::Taken) {
                    // A blank line between the reports of several traces.
                    console::print(printed_++ == 0 ? "" : "\n");
                    console::print(inventoryAsText(result.inventory));
                }
                break;
        }
    }
    void finish() const {
        if (form_ == ReportForm::Json) {
            console::print(inventoriesAsJson(taken_));
        }
    }

private:
    ReportForm form_;
    std::vector<InventoryResult> taken_;
    size_t printed_ = 0;
};

int inventories(const InfoOptions& options) {
    Reporter reporter(options.form);
    int status = kIntact;
    for (const std::string& trace : options.traces) {
        ProgressLine progress(trace, "Reading");
        InventoryResult result = takeInventory(trace, &progress);
        progress.finish();
        if (result.status == InventoryStatus::Interrupted) {
            diagnostics::say(kProgram, trace, "interrupted");
            return 128 + pendingInterrupt();
        }
        diagnose(result);
        status = std::max(status, exitStatusOf(result));
        reporter.add(std::move(result));
    }
    reporter.finish();
    return status;
}

}  // namespace

int run(int argc, char** argv) {
    const InfoOptions options = parseInfoOptions(argc, argv);
    switch (options.request) {
        case Request::Help: console::print(kHelp); return 0;
        case Request::Version: console::printLine(versionLine(kProgram)); return 0;
        case Request::UsageError: return command_line::kUsageStatus;
        case Request::Inventory: break;
    }
    return inventories(options);
}

}  // namespace ornpcap::orninfo
