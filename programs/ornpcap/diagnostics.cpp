#include "ornpcap/diagnostics.hpp"

#include <cstdio>

#include "base/text.hpp"
#include <cstring>

#include "suite/console.hpp"
#include "base/interrupt.hpp"

namespace ornpcap::converter::diagnostics {

namespace {


}  // namespace

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
    return text + withNumbers(" (exit %lld)", exitCode(code));
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
    const std::string port = withNumbers("port %lld", found.filter.port);
    if (f.records == 0) {
        return found.trace.blocksRead == 0 ? "the block stream is empty: no record to convert"
                                           : withNumbers("no complete record in the %lld blocks read",
                                                    found.trace.blocksRead);
    }
    if (f.ofPort == 0) {
        return "no record of " + port + withNumbers(" among the %lld records", f.records);
    }
    if (f.frames == 0) {
        return withNumbers("none of the %lld records of ", f.ofPort) + port +
               " carries a frame (status 0, sent or received, with a payload)";
    }
    if (f.ofDirection == 0) {
        const bool in = found.filter.direction == Direction::In;
        return withNumbers("none of the %lld frames of ", f.frames) + port +
               (in ? " was received (-d0)" : " was sent (-d1)");
    }
    if (f.accepted == 0) {
        return withNumbers("none of the %lld frames of ", f.ofDirection) + port + " is on LSN " +
               lsnText(found.filter.lsn);
    }
    return withNumbers("the %lld frames of ", f.accepted) + port + " that the filter took were all " +
           "refused by the " + std::string(frameFormatName(found.format)) +
           " framing: is -f the port's format?";
}

std::string blockText(const TraceReport& trace) {
    return withNumbers("%lld of %lld blocks converted", trace.blocksRead, trace.trailer.blockCount());
}

std::string completedText(const ConversionStats& stats) {
    return withNumbers("%lld output files completed up to their last record, ", stats.generatedFiles) +
           withNumbers("%lld records written", stats.outputRecords);
}

}  // namespace

void outputFailed(std::string_view program, const OutputFailure& failure, ResultCode code) {
    say(program, failure.name.empty() ? "the output name (empty)" : failure.name,
        withCode(withReason(failure.reason, failure.osError), code));
}

void formatLimitReached(std::string_view program, const FormatLimit& limit, ResultCode code) {
    say(program, limit.name,
        withCode(limit.reason + withNumbers(": %lld packets kept, ", limit.kept) +
                     withNumbers("%lld records left out", limit.leftOut),
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
            completedText(stats) + withNumbers(" (exit %lld)", 128 + signalNumber));
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

}  // namespace ornpcap::converter::diagnostics
