#include "base/worker_thread.hpp"

#include <algorithm>
#include <csignal>
#include <sched.h>
#include <thread>

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

uint32_t usableCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0) {
        return std::max(std::thread::hardware_concurrency(), 1u);
    }
    return std::max(static_cast<uint32_t>(CPU_COUNT(&set)), 1u);
}

SignalsBlocked::SignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) {
        sigdelset(&all, fault);
    }
    ::pthread_sigmask(SIG_BLOCK, &all, &before_);
}

SignalsBlocked::~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

}  // namespace ornpcap
