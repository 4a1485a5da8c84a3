#include "ornpcap/run.hpp"

#include "ornpcap/diagnostics.hpp"
#include "ornpcap/format_watch.hpp"
#include "ornpcap/options.hpp"
#include "ornpcap/plan.hpp"
#include "suite/progress.hpp"
#include "ornpcap/report.hpp"
#include "base/interrupt.hpp"
#include "trace/trace_file.hpp"

namespace ornpcap::converter {

namespace {

// The probe and the version test: 0, or the code the run ends with (nothing
// on standard output, the reason on standard error).
ResultCode probe(ConversionSettings& settings) {
    TraceFault fault;
    const ResultCode rc = probeConvertibleTrace(settings.inputName, settings.versionMajor,
                                                settings.versionMinor, fault);
    if (rc != ResultCode::Ok) {
        diagnostics::traceFault(kProgram, settings.inputName, fault);
    }
    return rc;
}

// What standard error adds to the report: where the trace is damaged, records
// left unread behind the end of the block stream, and frames that look like
// another format than the one given.
void diagnose(const RunOutcome& outcome, const ConversionPlan& plan) {
    const std::string& inputName = plan.trace.name;
    if (outcome.trace.fault.failed()) {
        diagnostics::traceFault(kProgram, inputName, outcome.trace.fault);
    } else if (outcome.trace.blockAfterEnd) {
        diagnostics::blocksLeftUnread(kProgram, inputName, outcome.trace);
    }
    if (looksLikeAnotherFormat(outcome.frames, plan.format)) {
        diagnostics::frameFormatLooksWrong(kProgram, inputName, plan.filter.port,
                                           outcome.frames, plan.format);
    }
}

// Why a run that reached the converter ended without its statistics, on
// standard error: the output and the system's reason, the format's limit,
// the filter that found nothing, the signal. Faults of the trace are said
// where they are found.
void explain(const RunOutcome& outcome, const ConversionPlan& plan, const ConversionStats& stats) {
    const std::string& inputName = plan.trace.name;
    for (const FormatLimit& limit : outcome.limits) {
        diagnostics::formatLimitReached(kProgram, limit, outcome.code);
    }
    switch (outcome.code) {
        case ResultCode::NoEvents:
            diagnostics::nothingConverted(
                kProgram, inputName,
                {outcome.trace, outcome.funnel, plan.filter, plan.format, stats.discardedRecords});
            return;
        case ResultCode::Interrupted:
            diagnostics::interrupted(kProgram, inputName, pendingInterrupt(), outcome.trace,
                                     stats);
            return;
        case ResultCode::OutOfMemory:
            diagnostics::outOfMemory(kProgram, inputName, outcome.trace, stats);
            return;
        default: break;
    }
    if (outcome.failure.failed()) {
        diagnostics::outputFailed(kProgram, outcome.failure, outcome.code);
    }
}

int report(const RunOutcome& outcome, const ConversionPlan& plan, const ConversionStats& stats) {
    const std::string& inputName = plan.trace.name;
    diagnose(outcome, plan);
    if (outcome.code == ResultCode::Ok) {
        printStatistics(stats);
        return 0;
    }
    explain(outcome, plan, stats);
    printFailure(outcome.code, inputName, outcome.failedOutputName);
    if (outcome.code == ResultCode::Interrupted) {
        return 128 + pendingInterrupt();
    }
    return exitCode(outcome.code);
}

}  // namespace

int run(int argc, char** argv) {
    printBanner();
    ConversionSettings settings;
    if (parseOptions(argc, argv, settings) == ParseOutcome::Stop) {
        return 1;
    }
    if (const ResultCode rc = probe(settings); rc != ResultCode::Ok) {
        return exitCode(rc);
    }
    if (const int signalNumber = pendingInterrupt(); signalNumber != 0) {
        diagnostics::interruptedBeforeStart(kProgram, signalNumber);
        return 128 + signalNumber;
    }
    const ConversionPlan plan = makePlan(settings);
    printParameterEcho(plan);
    ProgressLine progress(settings.inputName);
    ConversionStats stats;
    const RunOutcome outcome = runPlan(plan, stats, &progress);
    progress.finish();
    return report(outcome, plan, stats);
}

}  // namespace ornpcap::converter
