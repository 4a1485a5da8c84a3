#pragma once
// A thread with a small stack of its own size, joined on every path. The
// default stack of a thread is the process's stack limit (8 MiB as a rule),
// which under an address-space limit is memory a run may need elsewhere; the
// work handed to these threads needs little of it.

#include <cstddef>
#include <pthread.h>

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

}  // namespace ornpcap
