#include "app/entry.hpp"

#include "app/options.hpp"
#include "app/plan.hpp"
#include "app/progress.hpp"
#include "app/report.hpp"
#include "base/interrupt.hpp"
#include "trace/trace_file.hpp"

namespace ornpcap {

namespace {

// The probe and the version test: 0, or the code the run ends with, silently.
ResultCode probe(ConversionSettings& settings) {
    const ResultCode rc =
        probeTrace(settings.inputName, settings.versionMajor, settings.versionMinor);
    if (rc != ResultCode::Ok) {
        return rc;
    }
    return acceptVersion(settings.versionMajor, settings.versionMinor) ? ResultCode::Ok
                                                                       : ResultCode::BadVersion;
}

int report(const RunOutcome& outcome, const ConversionStats& stats, const std::string& inputName) {
    if (outcome.code == ResultCode::Ok) {
        printStatistics(stats);
        return 0;
    }
    printFailure(outcome.code, inputName, outcome.failedOutputName);
    if (outcome.code == ResultCode::Interrupted) {
        return 128 + pendingInterrupt();
    }
    return exitCode(outcome.code);
}

}  // namespace

int runOrnPcap(int argc, const char* const* argv) {
    printBanner();
    ConversionSettings settings;
    if (parseOptions(argc, argv, settings) == ParseOutcome::Stop) {
        return 1;
    }
    if (const ResultCode rc = probe(settings); rc != ResultCode::Ok) {
        return exitCode(rc);
    }
    installInterruptHandlers();
    const ConversionPlan plan = makePlan(settings);
    printParameterEcho(plan);
    ProgressLine progress(settings.inputName);
    ConversionStats stats;
    const RunOutcome outcome = runPlan(plan, stats, &progress);
    progress.finish();
    return report(outcome, stats, settings.inputName);
}

}  // namespace ornpcap
