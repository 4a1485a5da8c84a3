#include "tests/support/tool_run.hpp"

#include <atomic>
#include <chrono>
#include <sched.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>


namespace ornpcap::test {

namespace {

void drain(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        into.append(buffer, static_cast<size_t>(n));
    }
}

void setLimit(int resource, long value) {
    if (value >= 0) {
        const struct rlimit limit = {static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
        ::setrlimit(resource, &limit);
    }
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Waits for the moment, then signals the tool (after a pause where asked).
void signalWhenDue(pid_t pid, const RunOptions& options, const std::string& watched) {
    if (watched.empty()) {
        sleepMs(options.signalAfterMs);
    } else {
        while (::access(watched.c_str(), F_OK) != 0 && ::kill(pid, 0) == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    if (options.pauseMs >= 0) {
        ::kill(pid, SIGSTOP);
        sleepMs(options.pauseMs);
        ::kill(pid, SIGCONT);
        sleepMs(options.signalDelayMs);
    }
    ::kill(pid, options.signal);
}

constexpr uid_t kNobody = 65534;

void holdToOneCpu() {
    cpu_set_t all;
    CPU_ZERO(&all);
    if (::sched_getaffinity(0, sizeof all, &all) != 0) {
        return;
    }
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            ::sched_setaffinity(0, sizeof one, &one);
            return;
        }
    }
}

// Sends the later signals at their times, and SIGKILL to a tool that hangs,
// until the tool has ended.
void watch(pid_t pid, const RunOptions& options, const std::atomic<bool>& ended) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::pair<int, int>> due = options.laterSignals;
    for (;;) {
        if (ended) {
            return;
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start).count();
        for (auto& [at, signalNumber] : due) {
            if (signalNumber != 0 && ms >= at) {
                ::kill(pid, signalNumber);
                signalNumber = 0;
            }
        }
        if (options.killAfterMs >= 0 && ms >= options.killAfterMs) {
            // The whole group: a child the tool started (tshark's dumpcap and
            // extcap) would otherwise hold the output pipes open.
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            return;
        }
        sleepMs(5);
    }
}

}  // namespace

ToolRun runIn(const TempDir& dir, const std::string& binary, const std::vector<std::string>& args,
              const RunOptions& options) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
        return {};
    }
    using Input = RunOptions::Input;
    int inPipe[2] = {-1, -1};
    if ((options.input == Input::Pipe || options.input == Input::SilentPipe) &&
        ::pipe(inPipe) != 0) {
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (options.killAfterMs >= 0) {
            ::setpgid(0, 0);  // so that a hang can be ended with all it started
        }
        if (options.input == Input::File) {
            const int in = ::open((dir / options.inputFile).c_str(), O_RDONLY);
            if (in < 0 || ::dup2(in, STDIN_FILENO) < 0) {
                ::_exit(126);
            }
        } else if (inPipe[0] >= 0) {
            ::dup2(inPipe[0], STDIN_FILENO);
            ::close(inPipe[0]);
            ::close(inPipe[1]);
        }
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        if (::chdir(dir.path().c_str()) != 0) {
            ::_exit(126);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
            std::signal(signalNumber, SIG_DFL);
        }
        for (int signalNumber : options.ignoredSignals) {
            std::signal(signalNumber, SIG_IGN);
        }
        if (options.oneCpu) {
            holdToOneCpu();
        }
        if (options.unprivileged && ::geteuid() == 0 &&
            (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(126);
        }
        setLimit(RLIMIT_FSIZE, options.fileSizeLimit);
        setLimit(RLIMIT_NOFILE, options.openFileLimit);
        setLimit(RLIMIT_AS, options.memoryLimit);
        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ToolRun run;
    std::thread feeder;
    if (inPipe[0] >= 0) {
        ::close(inPipe[0]);
        if (options.input == Input::Pipe) {
            std::signal(SIGPIPE, SIG_IGN);  // a tool that stops reading early
            const std::string bytes = [&] {
                const auto read = dir.read(options.inputFile);
                return std::string(read.begin(), read.end());
            }();
            feeder = std::thread([fd = inPipe[1], bytes] {
                size_t done = 0;
                while (done < bytes.size()) {
                    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
                    if (n <= 0) {
                        break;
                    }
                    done += static_cast<size_t>(n);
                }
                ::close(fd);
            });
        }
    }
    std::thread signaller;
    if (options.signalAfterMs >= 0 || !options.signalWhenExists.empty()) {
        const std::string watched = options.signalWhenExists.empty() ? "" : dir / options.signalWhenExists;
        signaller = std::thread([pid, &options, watched] { signalWhenDue(pid, options, watched); });
    }
    std::atomic<bool> ended = false;
    std::thread watcher;
    if (!options.laterSignals.empty() || options.killAfterMs >= 0) {
        watcher = std::thread([pid, &options, &ended] { watch(pid, options, ended); });
    }
    std::thread errReader([&] { drain(errPipe[0], run.err); });
    drain(outPipe[0], run.out);
    errReader.join();
    int status = 0;
    ::waitpid(pid, &status, 0);
    ended = true;
    if (feeder.joinable()) {
        feeder.join();
    } else if (inPipe[1] >= 0) {
        ::close(inPipe[1]);
    }
    if (watcher.joinable()) {
        watcher.join();
    }
    if (signaller.joinable()) {
        signaller.join();
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    run.killed = WIFSIGNALED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace ornpcap::test
