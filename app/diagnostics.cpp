#include "app/diagnostics.hpp"

#include <cstdio>
#include <cstring>

#include "app/console.hpp"
#include "base/interrupt.hpp"

namespace ornpcap::diagnostics {

namespace {

std::string format(const char* pattern, long long a = 0, long long b = 0) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

// What went wrong with the file as a whole, its header or trailer.
std::string describeFile(const TraceFault& f) {
    switch (f.check) {
        case TraceCheck::CannotOpen:
            return f.osError != 0 ? std::strerror(f.osError) : "cannot be opened";
        case TraceCheck::IsAPipe:
            return "is a pipe: a trace is read as a file, whose length tells where its trailer is";
        case TraceCheck::FileTooShort:
            return format("%lld bytes: too short for a trace (at least %lld)", f.actual, f.limit);
        case TraceCheck::HeadUnreadable:
            return f.actual != 0 ? format("cannot read the 203 bytes a header check reads: the "
                                          "file has %lld",
                                          f.actual)
                                 : "cannot read the header";
        case TraceCheck::NotATrace: return "not a trace: file type is not TRC";
        case TraceCheck::HeaderDamaged: return "header damaged: FCS-16 wrong";
        case TraceCheck::VersionRefused:
            return format("format version %lld.%lld is not one of 5.0 to 8.0", f.actual, f.limit);
        case TraceCheck::SubVersionRefused:
            return format("sub-version %lld is not the known 01", f.actual);
        case TraceCheck::TrailerUnreadable: return "cannot read the trailer";
        case TraceCheck::TrailerChecksum:
            return "trailer checksum wrong: the file may be cut short";
        case TraceCheck::StreamTooLong:
            return format("streamLength %lld larger than the %lld bytes between header and trailer",
                          f.actual, f.limit);
        default: return "";
    }
}

// What went wrong with one block.
std::string describeBlock(const TraceFault& f) {
    switch (f.check) {
        case TraceCheck::BlockHeaderCut: return "its header is cut short";
        case TraceCheck::BlockTooLong:
            return format("%lld bytes long, more than maxBlockLength %lld", f.actual, f.limit);
        case TraceCheck::BlockOutOfSequence:
            return format("numbered %lld where %lld was due: out of sequence", f.actual, f.limit);
        case TraceCheck::BlockEmpty: return "empty (blockLength 0)";
        case TraceCheck::BlockDataCut:
            return format("its %lld bytes of data are cut short", f.actual);
        case TraceCheck::BlockChecksum: return "FCS-16 wrong";
        case TraceCheck::BlockNoRoom:
            return format("its data does not fit the %lld bytes left in the work buffer (a record "
                          "longer than twice maxBlockLength)",
                          f.limit);
        case TraceCheck::ExpanderUnavailable: return "the NRV2B library cannot be initialised";
        case TraceCheck::BlockNotExpandable:
            return "compressed data damaged: it does not expand";
        default: return "";
    }
}

}  // namespace

std::string describe(const TraceFault& fault) {
    if (fault.block == 0) {
        return describeFile(fault);
    }
    return format("block %lld at offset %lld: ", fault.block, static_cast<long long>(fault.offset)) +
           describeBlock(fault);
}

void say(std::string_view program, std::string_view file, std::string_view reason) {
    std::string line(program);
    line += ": ";
    if (!file.empty()) {
        line.append(file).append(": ");
    }
    console::errorLine(line.append(reason));
}

namespace {

// Damage that ornfix can salvage around: of the trailer, the header's
// checksum, a block. Not a missing file, another format or version.
bool salvageable(TraceCheck check) {
    switch (check) {
        case TraceCheck::CannotOpen:
        case TraceCheck::IsAPipe:
        case TraceCheck::FileTooShort:
        case TraceCheck::NotATrace:
        case TraceCheck::VersionRefused:
        case TraceCheck::SubVersionRefused:
        case TraceCheck::ExpanderUnavailable:
        case TraceCheck::None:
            return false;
        default:
            return true;
    }
}

}  // namespace

void traceFault(std::string_view program, std::string_view file, const TraceFault& fault) {
    std::string reason = describe(fault) + format(" (exit %lld)", exitCode(fault.code));
    if (salvageable(fault.check)) {
        reason += "; ornfix " + std::string(file) + " salvages every intact record";
    }
    say(program, file, reason);
}

std::string describeBlocksLeftUnread(const TraceReport& report) {
    return format("the block stream ends after block %lld by its trailer (blockCount %lld",
                  report.blocksRead, report.trailer.blockCount()) +
           format(", streamLength %lld), but a good block follows: records were left unread",
                  report.trailer.streamLength());
}

void blocksLeftUnread(std::string_view program, std::string_view file, const TraceReport& report) {
    say(program, file, describeBlocksLeftUnread(report));
}

void frameFormatLooksWrong(std::string_view program, std::string_view file, uint16_t port,
                           const FormatGuess& guess, FrameFormat given) {
    const auto likely = static_cast<FrameFormat>(guess.format);
    char text[160];
    std::snprintf(text, sizeof text,
                  "the frames of port %u look like %s (confidence %.2f), not %s: use -f%d",
                  unsigned{port}, std::string(frameFormatName(likely)).c_str(), guess.confidence,
                  std::string(frameFormatName(given)).c_str(), static_cast<int>(guess.format));
    say(program, file, text);
}

void usage(std::string_view program, std::string_view what) {
    say(program, "", std::string(what) + " (exit 1)");
}

namespace {

std::string withCode(std::string text, ResultCode code) {
    return text + format(" (exit %lld)", exitCode(code));
}

std::string withReason(std::string text, int osError) {
    return osError == 0 ? text : text + ": " + std::strerror(osError);
}

std::string lsnText(uint16_t lsn) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned{lsn});
    return text;
}

// Which test of the filter found nothing, in words.
std::string whatWasNotFound(const NothingFound& found) {
    const FilterFunnel& f = found.funnel;
    const std::string port = format("port %lld", found.filter.port);
    if (f.records == 0) {
        return found.trace.blocksRead == 0 ? "the block stream is empty: no record to convert"
                                           : format("no complete record in the %lld blocks read",
                                                    found.trace.blocksRead);
    }
    if (f.ofPort == 0) {
        return "no record of " + port + format(" among the %lld records", f.records);
    }
    if (f.frames == 0) {
        return format("none of the %lld records of ", f.ofPort) + port +
               " carries a frame (status 0, sent or received, with a payload)";
    }
    if (f.ofDirection == 0) {
        const bool in = found.filter.direction == Direction::In;
        return format("none of the %lld frames of ", f.frames) + port +
               (in ? " was received (-d0)" : " was sent (-d1)");
    }
    if (f.accepted == 0) {
        return format("none of the %lld frames of ", f.ofDirection) + port + " is on LSN " +
               lsnText(found.filter.lsn);
    }
    return format("the %lld frames of ", f.accepted) + port + " that the filter took were all " +
           "refused by the " + std::string(frameFormatName(found.format)) +
           " framing: is -f the port's format?";
}

std::string blockText(const TraceReport& trace) {
    return format("%lld of %lld blocks converted", trace.blocksRead, trace.trailer.blockCount());
}

std::string completedText(const ConversionStats& stats) {
    return format("%lld output files completed up to their last record, ", stats.generatedFiles) +
           format("%lld records written", stats.outputRecords);
}

}  // namespace

void outputFailed(std::string_view program, const OutputFailure& failure, ResultCode code) {
    say(program, failure.name.empty() ? "the output name (empty)" : failure.name,
        withCode(withReason(failure.reason, failure.osError), code));
}

void formatLimitReached(std::string_view program, const FormatLimit& limit, ResultCode code) {
    say(program, limit.name,
        withCode(limit.reason + format(": %lld packets kept, ", limit.kept) +
                     format("%lld records left out", limit.leftOut),
                 code));
}

void nothingConverted(std::string_view program, std::string_view file, const NothingFound& found) {
    const std::string what =
        found.trace.validated && found.trace.trailer.blockCount() == 0
            ? "the trailer announces no blocks (blockCount 0): no record to convert"
            : whatWasNotFound(found);
    say(program, file, withCode(what, ResultCode::NoEvents));
}

void interrupted(std::string_view program, std::string_view file, int signalNumber,
                 const TraceReport& trace, const ConversionStats& stats) {
    say(program, file,
        std::string("interrupted by ") + signalName(signalNumber) + ", " + blockText(trace) + ": " +
            completedText(stats) + format(" (exit %lld)", 128 + signalNumber));
}

void outOfMemory(std::string_view program, std::string_view file, const TraceReport& trace,
                 const ConversionStats& stats) {
    say(program, file,
        withCode("out of memory, " + blockText(trace) + ": " + completedText(stats),
                 ResultCode::OutOfMemory));
}

void argumentSkipped(std::string_view program, std::string_view argument) {
    say(program, argument,
        argument.starts_with("-") ? "unknown option, skipped" : "not an option, skipped");
}

void valueInNextArgument(std::string_view program, std::string_view option,
                         std::string_view value) {
    say(program, option,
        "values follow the option letter: " + std::string(option) + std::string(value));
}

void interruptedBeforeStart(std::string_view program, int signalNumber) {
    say(program, "", format("interrupted by signal %lld before the conversion began", signalNumber));
}

}  // namespace ornpcap::diagnostics
