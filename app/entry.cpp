#include "app/entry.hpp"

#include <string>

#include "app/options.hpp"
#include "app/progress.hpp"
#include "app/report.hpp"
#include "trace/interrupt.hpp"
#include "trace/trace_header.hpp"
#include "writers/i4b_writer.hpp"
#include "writers/pcap_writer.hpp"
#include "writers/vn_writer.hpp"

namespace ornpcap {

namespace {

struct RunOutcome {
    ResultCode code = ResultCode::Ok;
    std::string targetName;  // the output named when the code is 3
};

RunOutcome runI4b(const ConversionSettings& settings, ConversionStats& stats) {
    const I4bSettings i4b = i4bSettingsFrom(settings);
    printI4bParameters(i4b);
    ResultCode code = runI4bConversion(i4b, stats);
    return {code, i4b.outputName};
}

RunOutcome runConverter(ConversionSettings& settings, ConversionStats& stats) {
    if (settings.format == FrameFormat::I4bIsdn) {
        return runI4b(settings, stats);
    }
    printParameterEcho(settings);
    if (writesVn(settings)) {
        std::string failedName;
        ResultCode code = runVnConversion(settings, stats, failedName);
        return {code, failedName};
    }
    ResultCode code = runPcapConversion(settings, stats);
    return {code, settings.currentOutputName};
}

}  // namespace

int runOrnPcap(int argc, const char* const* argv) {
    printBanner();
    ConversionSettings settings = pcapDefaults();
    if (parseOptions(argc, argv, settings) == ParseOutcome::Stop) {
        return 1;
    }
    ResultCode probe = probeTrace(settings.inputName, settings.versionMajor, settings.versionMinor);
    if (probe != ResultCode::Ok) {
        return exitCode(probe);
    }
    if (!acceptVersion(settings.versionMajor, settings.versionMinor)) {
        return exitCode(ResultCode::BadVersion);
    }

    installInterruptHandlers();
    ProgressLine progress(settings.inputName);
    ConversionStats stats;
    const RunOutcome outcome = runConverter(settings, stats);
    progress.finish();

    if (outcome.code == ResultCode::Ok) {
        printStatistics(stats);
        return 0;
    }
    printFailure(outcome.code, settings.inputName, outcome.targetName);
    if (outcome.code == ResultCode::Interrupted) {
        return 128 + pendingInterrupt();
    }
    return exitCode(outcome.code);
}

}  // namespace ornpcap
