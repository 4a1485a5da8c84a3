#pragma once
// SIGINT, SIGTERM and SIGHUP do not kill a run outright: the handler notes the
// signal, and the run finishes its current record, completes every open
// output and returns ResultCode::Interrupted. The handler does not restart the
// call it interrupts, so that an open, read or write that waits (a FIFO
// without a reader, a reader that stopped reading) ends with EINTR; the loops
// around reads and writes go on after EINTR only while no signal is noted.
//
// A signal ignored when the program starts (nohup, a shell's background job)
// stays ignored. SIGXFSZ is ignored, so that a file-size limit makes a write
// fail instead of killing the process.

namespace ornpcap {

void installInterruptHandlers();
// The signal number caught, or 0.
int pendingInterrupt();
// Forgets a caught signal (for tests).
void clearInterrupt();
// Notes a signal as if it had been caught (for tests).
void raiseInterrupt(int signalNumber);
// "SIGINT", "SIGTERM", "SIGHUP", else "signal N".
const char* signalName(int signalNumber);

}  // namespace ornpcap
