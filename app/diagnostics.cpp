#include "app/diagnostics.hpp"

#include <cstdio>
#include <cstring>

#include "app/console.hpp"

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
