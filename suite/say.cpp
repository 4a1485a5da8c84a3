#include "suite/say.hpp"

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
void traceFault(std::string_view program, std::string_view file, const TraceFault& fault) {
    std::string reason = describe(fault) + withNumbers(" (exit %lld)", exitCode(fault.code));
    if (salvageable(fault.check)) {
        reason += "; ornfix " + std::string(file) + " salvages every intact record";
    }
    say(program, file, reason);
}
std::string describeBlocksLeftUnread(const TraceReport& report) {
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
