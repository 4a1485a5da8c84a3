#include "base/interrupt.hpp"

#include <csignal>
#include <cstdio>
#include <initializer_list>

namespace ornpcap {

namespace {

volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void noteSignal(int signalNumber) { caughtSignal = signalNumber; }

bool ignoredAtStart(int signalNumber) {
    struct sigaction current {};
    return ::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a call that waits ends with EINTR
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        if (!ignoredAtStart(signalNumber)) {
            ::sigaction(signalNumber, &action, nullptr);
        }
    }
    // A file-size limit is a failed write, reported as such, not a kill.
    std::signal(SIGXFSZ, SIG_IGN);
}

int pendingInterrupt() { return caughtSignal; }

void clearInterrupt() { caughtSignal = 0; }

void raiseInterrupt(int signalNumber) { caughtSignal = signalNumber; }

const char* signalName(int signalNumber) {
    switch (signalNumber) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: break;
    }
    static thread_local char text[24];
    std::snprintf(text, sizeof text, "signal %d", signalNumber);
    return text;
}

}  // namespace ornpcap
