#include "suite/say.hpp"

#include <algorithm>
#include <cstdio>

#include "base/text.hpp"

#include "suite/console.hpp"

namespace ornpcap::diagnostics {

namespace {


}  // namespace

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
std::string salvageHint(std::string_view file, const TraceFault& fault) {
    if (!fault.failed() || !salvageable(fault.check)) {
        return {};
    }
    // ornfix reads a trace twice: one from a pipe is saved to a file first.
    return file == "-" ? "; saved to a file, ornfix salvages every intact record"
                       : "; ornfix " + std::string(file) + " salvages every intact record";
}

void traceFault(std::string_view program, std::string_view file, const TraceFault& fault) {
    say(program, file,
        describe(fault) + withNumbers(" (exit %lld)", exitCode(fault.code)) +
            salvageHint(file, fault));
}
std::string describeBlocksLeftUnread(const TraceReport& report) {
    if (report.readPastEnd) {
        return withNumbers("the trailer ends the block stream after block %lld (blockCount %lld",
                           std::min<long long>(report.trailer.blockCount(), report.blocksRead),
                           report.trailer.blockCount()) +
               withNumbers(", streamLength %lld), but good blocks follow it: all %lld blocks "
                           "were read",
                           report.trailer.streamLength(), report.blocksRead);
    }
    return withNumbers("the block stream ends after block %lld by its trailer (blockCount %lld",
                  report.blocksRead, report.trailer.blockCount()) +
           withNumbers(", streamLength %lld), but a good block follows: records were left unread",
                  report.trailer.streamLength());
}

void blocksLeftUnread(std::string_view program, std::string_view file, const TraceReport& report) {
    say(program, file, describeBlocksLeftUnread(report));
}
void interruptedBeforeStart(std::string_view program, int signalNumber) {
    say(program, "", withNumbers("interrupted by signal %lld before the conversion began", signalNumber));
}

}  // namespace ornpcap::diagnostics
