#pragma once
// SIGINT, SIGTERM and SIGHUP do not kill a conversion outright: the handler
// notes the signal, the run finishes its current record, completes every open
// output and returns ResultCode::Interrupted. SIGXFSZ is ignored, so that a
// file-size limit makes a write fail instead of killing the process.

namespace ornpcap {

void installInterruptHandlers();
// The signal number caught, or 0.
int pendingInterrupt();
// Forgets a caught signal (for tests).
void clearInterrupt();
// Notes a signal as if it had been caught (for tests).
void raiseInterrupt(int signalNumber);

}  // namespace ornpcap
