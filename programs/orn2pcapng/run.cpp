#include "orn2pcapng/run.hpp"

#include <unistd.h>

#include "suite/command_line.hpp"
#include "suite/console.hpp"
#include "suite/say.hpp"
#include "suite/version.hpp"
#include "suite/progress.hpp"
#include "base/interrupt.hpp"
#include "orn2pcapng/format_choice.hpp"
#include "orn2pcapng/options.hpp"
#include "orn2pcapng/report.hpp"
#include "trace/trace_file.hpp"
#include "trace/trace_stream.hpp"
#include "writers/pcapng_writer.hpp"

namespace ornpcap::orn2pcapng {

namespace {


using diagnostics::say;

// No packet was written: no port's format decided, or no frame at all.
constexpr int kNothingExported = 4;

// Where the trace is read from: a file by name, or standard input ("-"),
// read in one pass where it is a pipe, else as the file it is.
struct Source {
    std::string path;
    bool streamed = false;
    uint16_t major = 0;
    uint16_t minor = 0;
};

Source sourceOf(const std::string& trace) {
    if (trace != "-") {
        return {trace};
    }
    return {"/dev/stdin", readsInOnePass(STDIN_FILENO)};
}

// Why nothing was exported from a trace that cannot be read, with where
// ornfix salvages it.
void nothingRead(const std::string& trace, const TraceFault& fault) {
    say(kProgram, trace, describe(fault) + ": nothing exported" +
                             diagnostics::salvageHint(trace, fault));
}

bool probe(const std::string& trace, Source& source) {
    if (source.streamed) {
        return true;  // the header is checked as it comes
    }
    TraceFault fault;
    const ResultCode rc = probeConvertibleTrace(source.path, source.major, source.minor, fault);
    if (rc != ResultCode::Ok) {
        nothingRead(trace, fault);
    }
    return rc == ResultCode::Ok;
}

// The run and what it learned.
struct Export {
    ResultCode result = ResultCode::Ok;
    TraceReport trace;
};

Export run(const Source& source, PcapngSink& writer,
           FormatChoice& choice) {
    Export done;
    ProgressLine progress(source.path);
    const TraceRequest request{source.path, source.major, source.minor, &progress, 0};
    done.result = source.streamed ? readTraceStream(STDIN_FILENO, request, choice, &done.trace)
                                  : readTrace(request, choice, &done.trace);
    progress.finish();
    if (done.result == ResultCode::NoEvents && done.trace.validated && !writer.started()) {
        // No block at all: a section without interfaces all the same.
        const OpenedTrace opened{done.trace.header, done.trace.trailer, source.major,
                                 identityOfPath(source.path)};
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
    nothingRead(settings.trace, done.trace.fault);
    return 2;
}

// Where the trace could not be read to its end: the exit status 1.
bool damaged(const Orn2PcapngSettings& settings, const Export& done) {
    const TraceReport& t = done.trace;
    if (t.fault.failed()) {
        say(kProgram, settings.trace,
            describe(t.fault) + ": exported what came before it" +
                diagnostics::salvageHint(settings.trace, t.fault));
    } else if (t.blockAfterEnd) {
        diagnostics::blocksLeftUnread(kProgram, settings.trace, t);
    } else if (t.incompleteBytes != 0) {
        say(kProgram, settings.trace,
            "the block stream ends " + std::to_string(t.incompleteBytes) +
                " bytes into a record: that record is not exported");
    }
    return t.fault.failed() || t.blockAfterEnd || t.incompleteBytes != 0;
}

// The packets written, of every interface.
uint64_t packetsOf(const PcapngSink& writer) {
    uint64_t packets = 0;
    for (const PcapngChannel* c : writer.interfaces()) {
        packets += c->packets();
    }
    return packets;
}

// A run that wrote no packet: why, on standard error, and the file it
// created removed (a file that stood there before, emptied, is kept).
void nothingExported(const Orn2PcapngSettings& settings, const PcapngSink& writer,
                     const FormatChoice& choice, bool outputExisted) {
    bool unrecognised = false;
    bool anyRecord = false;
    for (const PortChoice& p : choice.ports()) {
        unrecognised = unrecognised || (p.choice == Choice::Unrecognised && p.judged != 0);
        anyRecord = anyRecord || p.records != 0;
    }
    std::string what = unrecognised ? "no port's frame format could be decided"
                       : anyRecord  ? "no record of the ports exported carries a frame"
                                    : "the trace holds no records of the ports exported";
    if (settings.output != "-" && settings.split == Split::None) {
        const bool ours = !outputExisted &&
                          identityOfEntry(settings.output).sameAs(writer.outputIdentity());
        if (ours && removeRegularFile(settings.output)) {
            what += ": " + settings.output + " not kept";
        } else {
            what += ": " + settings.output + " holds no packet";
        }
    }
    say(kProgram, settings.trace, "nothing exported, " + what);
}

int conclude(const Orn2PcapngSettings& settings, const Export& done, const PcapngSink& writer,
             const FormatChoice& choice, bool outputExisted) {
    const bool interrupted = done.result == ResultCode::Interrupted || pendingInterrupt() != 0;
    if (interrupted && !writer.started()) {
        // A signal ended the opening of the output (a FIFO no one reads), or
        // the wait for the first bytes of a trace on a pipe.
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
    const bool isDamaged = damaged(settings, done);
    if (packetsOf(writer) == 0) {
        nothingExported(settings, writer, choice, outputExisted);
        return isDamaged ? 1 : kNothingExported;
    }
    return isDamaged ? 1 : 0;
}

int convert(const Orn2PcapngSettings& settings) {
    if (settings.output == "-" && ::isatty(STDOUT_FILENO) == 1) {
        say(kProgram, "", "standard output is a terminal: no pcapng file is written there (redirect "
                       "it, or name an output file)");
        return 2;
    }
    if (settings.trace == "-" && ::isatty(STDIN_FILENO) == 1) {
        say(kProgram, "", "standard input is a terminal: no trace comes from there (pipe one in, "
                       "or name the trace file)");
        return 2;
    }
    Source source = sourceOf(settings.trace);
    if (!probe(settings.trace, source)) {
        return 2;
    }
    if (const int signalNumber = pendingInterrupt(); signalNumber != 0) {
        diagnostics::interruptedBeforeStart(kProgram, signalNumber);
        return 128 + signalNumber;
    }
    const bool outputExisted = settings.output != "-" && settings.split == Split::None &&
                               identityOfEntry(settings.output).known;
    const PcapSplit split = settings.split == Split::LinkType ? PcapSplit::LinkType
                            : settings.split == Split::Port   ? PcapSplit::Port
                                                              : PcapSplit::None;
    PcapngSink writer({settings.output, settings.trace, versionLine(kProgram), split});
    FormatChoice choice(writer, settings.ports);
    const Export done = run(source, writer, choice);
    return conclude(settings, done, writer, choice, outputExisted);
}

}  // namespace

int run(int argc, char** argv) {
    Orn2PcapngSettings settings;
    const ParsedCommandLine parsed =
        parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), settings);
    switch (parsed.outcome) {
        case CommandLine::Help: console::print(kOrn2PcapngHelp); return 0;
        case CommandLine::Version: console::printLine(versionLine(kProgram)); return 0;
        case CommandLine::Usage: return command_line::usageError(kProgram, parsed.error);
        case CommandLine::Run: break;
    }
    return convert(settings);
}

}  // namespace ornpcap::orn2pcapng
