#include "base/worker_thread.hpp"

namespace ornpcap {

bool WorkerThread::start(void* (*entry)(void*), void* argument) {
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) {
        return false;
    }
    const bool started = ::pthread_attr_setstacksize(&attributes, kStackSize) == 0 &&
                         ::pthread_create(&thread_, &attributes, entry, argument) == 0;
    ::pthread_attr_destroy(&attributes);
    running_ = started;
    return started;
}

void WorkerThread::join() {
    if (running_) {
        ::pthread_join(thread_, nullptr);
        running_ = false;
    }
}

}  // namespace ornpcap
