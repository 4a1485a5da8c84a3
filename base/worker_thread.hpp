#pragma once
// A thread with a small stack of its own size, joined on every path. The
// default stack of a thread is the process's stack limit (8 MiB as a rule),
// which under an address-space limit is memory a run may need elsewhere; the
// work handed to these threads needs little of it.

#include <cstddef>
#include <cstdint>
#include <pthread.h>
#include <signal.h>

namespace ornpcap {

class WorkerThread {
public:
#if defined(ORNPCAP_SANITIZE) || defined(ORNPCAP_TSAN)
    static constexpr size_t kStackSize = 1024 * 1024;  // the sanitizers' frames are larger
#else
    static constexpr size_t kStackSize = 256 * 1024;
#endif

    WorkerThread() = default;
    ~WorkerThread() { join(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    WorkerThread(WorkerThread&& other) noexcept : thread_(other.thread_), running_(other.running_) {
        other.running_ = false;
    }

    // Runs entry(argument) on the new thread; false when it cannot be had.
    bool start(void* (*entry)(void*), void* argument);
    void join();

private:
    pthread_t thread_{};
    bool running_ = false;
};

// The CPUs this process may run on (its affinity mask), at least 1.
uint32_t usableCpus();

// While it lives, the calling thread blocks every signal sent to the process,
// and the threads it starts inherit that: SIGINT, SIGTERM and SIGHUP then run
// their handler on the calling thread, whose waits they end. Signals of a
// fault stay open.
class SignalsBlocked {
public:
    SignalsBlocked();
    ~SignalsBlocked();
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

private:
    sigset_t before_;
};

}  // namespace ornpcap
