#include "base/interrupt.hpp"

#include <csignal>
#include <initializer_list>

namespace ornpcap {

namespace {

volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void noteSignal(int signalNumber) { caughtSignal = signalNumber; }

}  // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // let reads and writes in progress finish
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signalNumber, &action, nullptr);
    }
    // A file-size limit is a failed write, reported as such, not a kill.
    std::signal(SIGXFSZ, SIG_IGN);
}

int pendingInterrupt() { return caughtSignal; }

void clearInterrupt() { caughtSignal = 0; }

void raiseInterrupt(int signalNumber) { caughtSignal = signalNumber; }

}  // namespace ornpcap
