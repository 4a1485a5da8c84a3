#include "orn2pcapng/run.hpp"

#include <unistd.h>

#include "suite/console.hpp"
#include "suite/say.hpp"
#include "suite/version.hpp"
#include "suite/progress.hpp"
#include "base/interrupt.hpp"
#include "orn2pcapng/format_choice.hpp"
#include "orn2pcapng/options.hpp"
#include "orn2pcapng/report.hpp"
#include "trace/trace_file.hpp"
#include "writers/pcapng_writer.hpp"

namespace ornpcap::orn2pcapng {

namespace {


using diagnostics::say;

struct Probed {
    uint16_t major = 0;
    uint16_t minor = 0;
};

bool probe(const std::string& trace, Probed& probed) {
    TraceFault fault;
    const ResultCode rc = probeConvertibleTrace(trace, probed.major, probed.minor, fault);
    if (rc != ResultCode::Ok) {
        say(kProgram, trace, describe(fault) + ": nothing exported");
    }
    return rc == ResultCode::Ok;
}

// The run and what it learned.
struct Export {
    ResultCode result = ResultCode::Ok;
    TraceReport trace;
};

Export run(const Orn2PcapngSettings& settings, const Probed& probed, PcapngSink& writer,
           FormatChoice& choice) {
    Export done;
    ProgressLine progress(settings.trace);
    done.result = readTrace({settings.trace, probed.major, probed.minor, &progress, 0}, choice,
                            &done.trace);
    progress.finish();
    if (done.result == ResultCode::NoEvents && done.trace.validated && !writer.started()) {
        // No block at all: a section without interfaces all the same.
        const OpenedTrace opened{done.trace.header, done.trace.trailer, probed.major,
                                 identityOfPath(settings.trace)};
        done.result = choice.finish(choice.start(opened));
    }
    return done;
}

std::string outputShown(const Orn2PcapngSettings& settings) {
    return settings.output == "-" ? "standard output" : settings.output;
}

// A run that ended before its report: the reason, and the exit status.
int failure(const Orn2PcapngSettings& settings, const Export& done) {
    const ResultCode rc = done.result;
    std::string message(resultMessage(rc));
    if (rc == ResultCode::CannotWriteTarget) {
        message += " It ends at its last whole block.";
    }
    if (rc == ResultCode::CannotCreateTarget &&
        identityOfPath(settings.output).sameAs(identityOfPath(settings.trace))) {
        message = "is the trace itself. " + message;
    }
    const bool aboutOutput =
        rc == ResultCode::CannotCreateTarget || rc == ResultCode::CannotWriteTarget;
    if (aboutOutput || rc == ResultCode::OutOfMemory) {
        say(kProgram, aboutOutput ? outputShown(settings) : settings.trace, message);
        return exitCode(rc);
    }
    say(kProgram, settings.trace, describe(done.trace.fault) + ": nothing exported");
    return 2;
}

// Where the trace could not be read to its end: the exit status 1.
bool damaged(const Orn2PcapngSettings& settings, const Export& done) {
    const TraceReport& t = done.trace;
    if (t.fault.failed()) {
        say(kProgram, settings.trace,
            describe(t.fault) + ": exported what came before it");
    } else if (t.blockAfterEnd) {
        diagnostics::blocksLeftUnread(kProgram, settings.trace, t);
    } else if (t.incompleteBytes != 0) {
        say(kProgram, settings.trace,
            "the block stream ends " + std::to_string(t.incompleteBytes) +
                " bytes into a record: that record is not exported");
    }
    return t.fault.failed() || t.blockAfterEnd || t.incompleteBytes != 0;
}

int conclude(const Orn2PcapngSettings& settings, const Export& done, const PcapngSink& writer,
             const FormatChoice& choice) {
    const bool interrupted = done.result == ResultCode::Interrupted || pendingInterrupt() != 0;
    if (interrupted && !writer.started()) {
        // A signal ended the opening of the output (a FIFO no one reads).
        diagnostics::interruptedBeforeStart(kProgram, pendingInterrupt());
        return 128 + pendingInterrupt();
    }
    if (!writer.started() || (done.result != ResultCode::Ok && !interrupted &&
                              !done.trace.fault.failed())) {
        return failure(settings, done);
    }
    const ExportSummary summary{settings, writer, choice.ports()};
    for (const std::string& warning : portWarnings(summary)) {
        say(kProgram, settings.trace, warning);
    }
    for (const std::string& line : reportLines(summary)) {
        settings.output == "-" ? console::errorLine(line) : console::printLine(line);
    }
    if (interrupted) {
        say(kProgram, settings.trace,
            "interrupted by signal " + std::to_string(pendingInterrupt()) + ": " +
                outputShown(settings) + " holds what was exported before it");
        return 128 + pendingInterrupt();
    }
    return damaged(settings, done) ? 1 : 0;
}

int convert(const Orn2PcapngSettings& settings) {
    if (settings.output == "-" && ::isatty(STDOUT_FILENO) == 1) {
        say(kProgram, "", "standard output is a terminal: no pcapng file is written there (redirect "
                       "it, or name an output file)");
        return 2;
    }
    Probed probed;
    if (!probe(settings.trace, probed)) {
        return 2;
    }
    if (const int signalNumber = pendingInterrupt(); signalNumber != 0) {
        diagnostics::interruptedBeforeStart(kProgram, signalNumber);
        return 128 + signalNumber;
    }
    PcapngSink writer({settings.output, settings.trace, versionLine(kProgram)});
    FormatChoice choice(writer, settings.ports);
    const Export done = run(settings, probed, writer, choice);
    return conclude(settings, done, writer, choice);
}

}  // namespace

int run(int argc, char** argv) {
    Orn2PcapngSettings settings;
    const ParsedCommandLine parsed =
        parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), settings);
    switch (parsed.outcome) {
        case CommandLine::Help: console::print(kOrn2PcapngHelp); return 0;
        case CommandLine::Version: console::printLine(versionLine(kProgram)); return 0;
        case CommandLine::Usage:
            say(kProgram, "", parsed.error + " (orn2pcapng --help tells more)");
            return 2;
        case CommandLine::Run: break;
    }
    return convert(settings);
}

}  // namespace ornpcap::orn2pcapng
