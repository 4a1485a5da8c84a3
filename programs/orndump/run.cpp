#include "orndump/run.hpp"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>

#include "base/interrupt.hpp"
#include "orndump/converter.hpp"
#include "orndump/extcap_texts.hpp"
#include "orndump/options.hpp"
#include "suite/command_line.hpp"
#include "suite/console.hpp"
#include "suite/say.hpp"
#include "suite/version.hpp"

#ifndef ORNDUMP_INSTALL_BINDIR
#define ORNDUMP_INSTALL_BINDIR ""
#endif

namespace ornpcap::orndump {

namespace {

using diagnostics::say;

constexpr int kUsage = command_line::kUsageStatus;

bool isStop(int signalNumber) {
    return signalNumber == SIGINT || signalNumber == SIGTERM || signalNumber == SIGHUP;
}

void relayHeld(const ConverterEnd& end) {
    for (const std::string& line : end.held) {
        console::errorLine(line);
    }
}

// orn2pcapng's end as orndump's exit status, with the line that says why
// wherever the status is not 0.
int conclude(const std::string& converter, const ConverterEnd& end) {
    if (end.stoppedBeforeStart) {
        return 0;  // stopped before the capture began
    }
    if (end.spawnError != 0) {
        say(kProgram, converter, std::string("cannot be run: ") + std::strerror(end.spawnError));
        return kUsage;
    }
    if (WIFSIGNALED(end.waitStatus)) {
        const int signalNumber = WTERMSIG(end.waitStatus);
        if (signalNumber == SIGPIPE) {
            return 0;  // the reader closed the FIFO: the capture was stopped
        }
        relayHeld(end);
        if (end.killed) {
            say(kProgram, converter,
                "did not end within " + std::to_string(kStopGraceSeconds) + " s of " +
                    signalName(end.stopSignal) + ", and was killed");
            return 128 + end.stopSignal;
        }
        say(kProgram, converter, std::string("ended by ") + ::strsignal(signalNumber));
        return 128 + signalNumber;
    }
    const int status = WEXITSTATUS(end.waitStatus);
    if (end.stopSignal != 0 && status > 128 && isStop(status - 128)) {
        return 0;  // stopped: what it says of the stop is no error
    }
    relayHeld(end);
    if (status != 0 && end.relayed + end.held.size() == 0) {
        say(kProgram, converter, "ended with status " + std::to_string(status));
    }
    return status;
}

int capture(const DumpSettings& settings) {
    if (settings.captureFilter && isFilter(*settings.captureFilter)) {
        say(kProgram, "", kNoFilter);
        return kUsage;
    }
    const std::string converter =
        findConverter(ownFolder(), ORNDUMP_INSTALL_BINDIR, std::getenv("PATH"));
    if (converter.empty()) {
        say(kProgram, "",
            std::string(kConverter) + " not found beside orndump, in " +
                (*ORNDUMP_INSTALL_BINDIR != '\0' ? ORNDUMP_INSTALL_BINDIR : "the install") +
                " or on the PATH");
        return kUsage;
    }
    if (pendingInterrupt() != 0) {
        return 0;  // stopped before it began
    }
    std::vector<std::string> args{std::string(kConverter)};
    for (const std::string& port : settings.ports) {
        args.insert(args.end(), {"-p", port});
    }
    args.insert(args.end(), {"--", settings.trace, settings.fifo});
    // orndump says what went wrong itself, also once Wireshark has stopped
    // reading its standard error.
    std::signal(SIGPIPE, SIG_IGN);
    return conclude(converter, runConverter(converter, args, settings.fifo));
}

}  // namespace

int run(int argc, char** argv) {
    const DumpSettings settings = parseCommandLine(argc, argv);
    switch (settings.action) {
        case Action::Help: console::print(kOrnDumpHelp); return 0;
        case Action::Version: console::printLine(versionLine(kProgram)); return 0;
        case Action::Usage: return command_line::usageError(kProgram, settings.error);
        case Action::Interfaces: console::print(interfacesText()); return 0;
        case Action::Dlts: console::print(dltsText()); return 0;
        case Action::Config: console::print(configText()); return 0;
        case Action::CheckFilter:
            console::print(filterCheckText(settings.captureFilter.value_or("")));
            return 0;
        case Action::Capture: break;
    }
    return capture(settings);
}

}  // namespace ornpcap::orndump
