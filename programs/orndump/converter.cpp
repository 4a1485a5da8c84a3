#include "orndump/converter.hpp"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/file_io.hpp"
#include "base/interrupt.hpp"
#include "suite/console.hpp"

extern char** environ;

namespace ornpcap::orndump {

namespace {

bool isExecutableFile(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(name.c_str(), X_OK) == 0;
}

// SIGINT, SIGTERM and SIGHUP held back except while orndump waits for the
// converter, so that none arrives between the check for one and the wait.
class StopSignalsHeld {
public:
    StopSignalsHeld() {
        sigset_t stops;
        sigemptyset(&stops);
        for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
            sigaddset(&stops, signalNumber);
        }
        ::sigprocmask(SIG_BLOCK, &stops, &before_);
    }
    ~StopSignalsHeld() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;
    // The mask the program had: the one to wait with, the one the converter starts with.
    const sigset_t& before() const { return before_; }

private:
    sigset_t before_;
};

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;

    SpawnSetup(int errorPipe, const sigset_t& mask) {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, errorPipe, STDERR_FILENO);
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setsigmask(&attributes, &mask);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Cuts what the converter writes into lines; relays each, or holds it once
// the stop was passed on.
class LineRelay {
public:
    explicit LineRelay(ConverterEnd& end) : end_(end) {}

    void take(const char* data, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            if (data[i] == '\n' || partial_.size() >= kLongestLine) {
                emit();
            }
            if (data[i] != '\n') {
                partial_ += data[i];
            }
        }
    }
    void finish() {
        if (!partial_.empty()) {
            emit();
        }
    }

private:
    static constexpr size_t kLongestLine = 4096;
    static constexpr size_t kMostHeld = 64;

    void emit() {
        std::string line = relayedLine(partial_);
        partial_.clear();
        if (end_.stopSignal == 0) {
            console::errorLine(line);
            ++end_.relayed;
        } else if (end_.held.size() < kMostHeld) {
            end_.held.push_back(std::move(line));
        }
    }

    ConverterEnd& end_;
    std::string partial_;
};

using Clock = std::chrono::steady_clock;

// Passes a stop on; from the first, the converter has its grace to end.
void passOnStop(pid_t pid, ConverterEnd& end, Clock::time_point& deadline) {
    const int signalNumber = pendingInterrupt();
    clearInterrupt();
    ::kill(pid, signalNumber);
    if (end.stopSignal == 0) {
        end.stopSignal = signalNumber;
        deadline = Clock::now() + std::chrono::seconds(kStopGraceSeconds);
    }
}

// Relays the converter's standard error until it closes, passing stops on.
void relayUntilClosed(pid_t pid, int errorPipe, const sigset_t& waitMask, ConverterEnd& end) {
    LineRelay relay(end);
    Clock::time_point deadline{};
    for (;;) {
        if (pendingInterrupt() != 0) {
            passOnStop(pid, end, deadline);
        }
        struct timespec grace {};
        const bool timed = end.stopSignal != 0 && !end.killed;
        if (timed) {
            const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            grace = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        }
        struct pollfd watched = {errorPipe, POLLIN, 0};
        const int ready = ::ppoll(&watched, 1, timed ? &grace : nullptr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (ready == 0) {
            ::kill(pid, SIGKILL);
            end.killed = true;
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(errorPipe, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        relay.take(buffer, static_cast<size_t>(n));
    }
    relay.finish();
}

bool isFifo(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Opens the FIFO for writing once its reader has opened it (Wireshark's
// dumpcap does so right after starting orndump); a stop received meanwhile
// ends the wait. An invalid handle when the FIFO cannot be opened so or a
// stop came: the converter then says what is wrong with it, or is not run.
FdHandle openOnceRead(const std::string& fifo, const sigset_t& waitMask, ConverterEnd& end) {
    constexpr struct timespec kRetry = {0, 20 * 1000 * 1000};
    for (;;) {
        FdHandle fd(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd.isOpen() || errno != ENXIO) {
            return fd;
        }
        ::ppoll(nullptr, 0, &kRetry, &waitMask);
        if (pendingInterrupt() != 0) {
            end.stopSignal = pendingInterrupt();
            clearInterrupt();
            return FdHandle();
        }
    }
}

}  // namespace

std::string ownFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return {};
    }
    const std::string self(path, static_cast<size_t>(n));
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string() : self.substr(0, slash == 0 ? 1 : slash);
}

std::string findConverter(const std::string& ownFolder, const std::string& installBindir,
                          const char* path) {
    const std::string name(kConverter);
    for (const std::string& folder : {ownFolder, installBindir}) {
        if (!folder.empty() && isExecutableFile(folder + "/" + name)) {
            return folder + "/" + name;
        }
    }
    const std::string entries = path != nullptr ? path : "";
    for (size_t at = 0; at <= entries.size();) {
        const size_t colon = std::min(entries.find(':', at), entries.size());
        const std::string folder = entries.substr(at, colon - at);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (!entries.empty() && isExecutableFile(candidate)) {
            return candidate;
        }
        at = colon + 1;
    }
    return {};
}

std::string relayedLine(std::string_view line) {
    const std::string prefix = std::string(kConverter) + ": ";
    if (line.starts_with(prefix)) {
        line.remove_prefix(prefix.size());
    }
    return "orndump: " + std::string(line);
}

ConverterEnd runConverter(const std::string& path, const std::vector<std::string>& args,
                          const std::string& fifo) {
    ConverterEnd end;
    const StopSignalsHeld held;
    // A write end of orndump's own for as long as the converter runs: the
    // reader sees the end of the stream when the converter is done, also
    // when it failed before it opened the FIFO (dumpcap would otherwise
    // wait for a writer that never comes).
    FdHandle heldOpen;
    if (isFifo(fifo)) {
        heldOpen = openOnceRead(fifo, held.before(), end);
        if (end.stopSignal != 0) {
            end.stoppedBeforeStart = true;
            return end;
        }
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        end.spawnError = errno;
        return end;
    }
    FdHandle readEnd(fds[0]);
    FdHandle writeEnd(fds[1]);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    {
        const SpawnSetup setup(writeEnd.get(), held.before());
        end.spawnError =
            ::posix_spawn(&pid, path.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    }
    writeEnd.reset();
    if (end.spawnError != 0) {
        return end;
    }
    relayUntilClosed(pid, readEnd.get(), held.before(), end);
    while (::waitpid(pid, &end.waitStatus, 0) < 0 && errno == EINTR) {
    }
    return end;
}

}  // namespace ornpcap::orndump
