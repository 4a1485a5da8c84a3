#include "ornfix/run.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "suite/command_line.hpp"
#include "suite/console.hpp"
#include "suite/say.hpp"
#include "suite/version.hpp"
#include "base/file_io.hpp"
#include "base/interrupt.hpp"
#include "ornfix/options.hpp"
#include "ornfix/report.hpp"
#include "ornfix/output_target.hpp"
#include "ornfix/rewrite.hpp"
#include "ornfix/trace_summary.hpp"

namespace ornpcap::ornfix {

namespace {

// The message of the code where the report goes, the reason on standard error.
int fail(const Report& report, ResultCode code, const std::string& file, const std::string& why) {
    if (code == ResultCode::Interrupted) {
        const int signalNumber = pendingInterrupt();
        diagnostics::say(kProgram, file, "interrupted by signal " + std::to_string(signalNumber) +
                                             ": nothing written");
        return 128 + signalNumber;
    }
    report.line(resultMessage(code));
    diagnostics::say(kProgram, file, why + " (exit " + std::to_string(exitCode(code)) + ")");
    return exitCode(code);
}

std::string errorText(int error) { return std::strerror(error != 0 ? error : EIO); }

struct OpenTrace {
    FdHandle fd;
    uint64_t size = 0;
    FileIdentity identity;
};

// Opens the trace read-only, without waiting for the writer of a FIFO: 2
// when it cannot be opened, 4 when it is no file that can be read twice.
ResultCode openTrace(const std::string& name, OpenTrace& trace, std::string& why) {
    trace.fd = FdHandle(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!trace.fd.isOpen()) {
        why = errorText(errno);
        return ResultCode::CannotOpenSource;
    }
    struct stat st {};
    if (::fstat(trace.fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode)    ? "is a folder"
              : S_ISFIFO(st.st_mode) ? "is a pipe: ornfix reads a trace twice, and needs a file"
                                     : "is not a regular file";
        return ResultCode::CannotReadSource;
    }
    trace.size = static_cast<uint64_t>(st.st_size);
    trace.identity = identityOfDescriptor(trace.fd.get());
    return ResultCode::Ok;
}

// What is wrong with a header that cannot be used, in words.
std::string headerProblem(const SalvagePlan& plan) {
    const HeaderFinding& h = plan.header;
    if (h.state == HeaderState::CutShort) {
        return "cut short: the file ends after " + std::to_string(plan.fileSize) + " of the " +
               std::to_string(h.size) + " bytes of a version " + std::to_string(h.versionMajor) +
               " header";
    }
    return describe(h.fault);
}

std::string whyNothingSalvaged(const SalvagePlan& plan) {
    if (plan.header.state == HeaderState::CutShort) {
        return "no whole header: the file ends inside it";
    }
    if (!plan.header.usable()) {
        return "no header that can be recognised: " + describe(plan.header.fault);
    }
    return plan.blocks.empty() ? "no intact block" : "no whole record in the intact blocks";
}

int nothingSalvaged(const Report& report, const std::string& name, const SalvagePlan& plan) {
    if (plan.header.usable()) {
        report.findings(name, plan);
        report.keptAndDropped(plan);
    } else {
        report.line(name + ": " + std::to_string(plan.fileSize) + " bytes");
        report.line("header: " + headerProblem(plan));
    }
    return fail(report, ResultCode::CannotRepair, name, whyNothingSalvaged(plan));
}

// A header whose FCS had to be rewritten may be wrong elsewhere too; one
// whose own FCS checks out once its text is rebuilt is as it was.
void warnAboutHeader(const std::string& name, const SalvagePlan& plan) {
    const HeaderFinding& h = plan.header;
    if (h.state == HeaderState::FcsRewritten ||
        (h.state == HeaderState::Rebuilt && !h.fcsRestored)) {
        diagnostics::say(kProgram, name,
                         std::string("warning: the header itself was damaged: ") +
                             (h.state == HeaderState::Rebuilt ? "its text is rebuilt and " : "") +
                             "its FCS is rewritten, and its other fields (start time, "
                             "snapLength) may be wrong too");
    }
}

struct Job {
    const FixOptions& options;
    std::string outputName;
    OutputTarget target;
    OpenTrace trace;
    Report report{false};
};

int dryRun(Job& job, FileSource& source, const SalvagePlan& plan) {
    CountingSink counter;
    WriterCounts counts;
    const ResultCode rc = rewrite(source, plan, counter, counts);
    if (rc != ResultCode::Ok) {
        return fail(job.report, rc, job.options.trace, errorText(source.error()));
    }
    job.report.written(job.outputName, counts, true);
    job.report.line(summaryLine(job.outputName, plannedSummary(plan, counts)));
    return 0;
}

int writeFailure(Job& job, ResultCode rc, FileSource& source, const RepairedOutput& out) {
    if (rc == ResultCode::CannotWriteTarget || rc == ResultCode::CannotCreateTarget) {
        return fail(job.report, rc, job.outputName, errorText(out.error()));
    }
    if (rc == ResultCode::CannotReadSource) {
        const std::string why = source.error() != 0 ? errorText(source.error())
                                                    : "the trace changed while it was read";
        return fail(job.report, rc, job.options.trace, why);
    }
    return fail(job.report, rc, job.options.trace, "out of memory");
}

// The trace written to its temporary name is read back as the conversion
// reads it before it takes its final name.
int writeRepaired(Job& job, FileSource& source, const SalvagePlan& plan) {
    RepairedOutput out;
    WriterCounts counts;
    ResultCode rc = out.open(job.target);
    if (rc != ResultCode::Ok && pendingInterrupt() != 0) {
        rc = ResultCode::Interrupted;  // a FIFO no one reads, say
    }
    if (rc == ResultCode::Ok) {
        rc = rewrite(source, plan, out.sink(), counts);
    }
    if (rc == ResultCode::Ok) {
        rc = out.close();
    }
    if (rc != ResultCode::Ok) {
        return writeFailure(job, rc, source, out);
    }
    TraceSummary summary = plannedSummary(plan, counts);
    if (job.target.kind == OutputKind::NewFile) {
        const TraceSummary read = checkWrittenTrace(out.writtenName());
        summary.checked = true;
        summary.intact = read.intact && read.blocks == counts.blocks;
        summary.fault = read.fault;
        if (!summary.intact) {
            return fail(job.report, ResultCode::CannotRepair, job.outputName,
                        "the repaired trace does not read back whole: " +
                            describe(summary.fault));  // a fault of ornfix's own
        }
    }
    if (pendingInterrupt() != 0) {
        return fail(job.report, ResultCode::Interrupted, job.options.trace, "");
    }
    if (rc = out.commit(); rc != ResultCode::Ok) {
        return writeFailure(job, rc, source, out);
    }
    job.report.written(job.outputName, counts, false);
    job.report.line(summaryLine(job.outputName, summary));
    return 0;
}

int nothingToRepair(const Report& report, const SalvagePlan& plan) {
    report.line("nothing to repair: header, trailer and " + std::to_string(plan.blocks.size()) +
                " blocks intact, " + std::to_string(plan.records.records) + " records");
    report.line(resultMessage(ResultCode::NeedsNoRepair));
    return exitCode(ResultCode::NeedsNoRepair);
}

int repairTrace(const FixOptions& options) {
    Job job{options, options.output.empty() ? defaultOutputName(options.trace) : options.output,
            {}, {}, Report(false)};
    std::string why;
    if (const ResultCode rc = openTrace(options.trace, job.trace, why); rc != ResultCode::Ok) {
        return fail(job.report, rc, options.trace, why);
    }
    if (!options.dryRun) {
        if (chooseOutput(job.outputName, options.force, job.trace.identity, job.target, why) !=
            ResultCode::Ok) {
            return fail(job.report, ResultCode::CannotCreateTarget, job.outputName, why);
        }
        job.report = Report(job.target.kind == OutputKind::StandardOutput);
    }
    FileSource source(job.trace.fd.get(), job.trace.size);
    SalvagePlan plan;
    const ResultCode rc = salvage(source, plan);
    if (rc == ResultCode::CannotRepair) {
        return nothingSalvaged(job.report, options.trace, plan);
    }
    if (rc != ResultCode::Ok) {
        const bool unreadable = rc == ResultCode::CannotReadSource;
        return fail(job.report, rc, options.trace,
                    unreadable ? errorText(source.error()) : "out of memory");
    }
    job.report.findings(options.trace, plan);
    if (plan.good) {
        return nothingToRepair(job.report, plan);
    }
    warnAboutHeader(options.trace, plan);
    job.report.keptAndDropped(plan);
    return options.dryRun ? dryRun(job, source, plan) : writeRepaired(job, source, plan);
}

}  // namespace

int run(int argc, char** argv) {
    const ParsedCommandLine parsed = parseCommandLine(argc, argv);
    switch (parsed.what) {
        case Invocation::Help:
            console::print(kHelp);
            return 0;
        case Invocation::Version:
            console::printLine(versionLine(kProgram));
            return 0;
        case Invocation::UsageError:
            return command_line::usageError(kProgram, parsed.error);
        case Invocation::Run:
            break;
    }
    return repairTrace(parsed.options);
}

MemoryRepair repairInMemory(std::span<const uint8_t> trace) {
    MemoryRepair repair;
    MemorySource source(trace);
    repair.code = salvage(source, repair.plan);
    if (repair.code != ResultCode::Ok) {
        return repair;
    }
    if (repair.plan.good) {
        repair.code = ResultCode::NeedsNoRepair;
        return repair;
    }
    MemorySink sink;
    repair.code = rewrite(source, repair.plan, sink, repair.counts);
    repair.output = std::move(sink.bytes);
    return repair;
}

}  // namespace ornpcap::ornfix
