// Signals against calls that wait: an output FIFO no one reads, a reader
// that stops reading, a trace that is a FIFO. SIGINT, SIGTERM and SIGHUP end
// every such wait, and a signal ignored when the tool starts (nohup) stays
// ignored.

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/file_io.hpp"
#include "base/interrupt.hpp"
#include "tests/support/port_trace.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

using Lines = std::vector<std::string>;

constexpr int kHang = 20000;  // a run still going by then waits for ever: killed
// Long enough for the tool to be waiting, its handlers in place: every run
// here waits for ever without the signal, so later is only slower.
#if defined(ORNPCAP_SANITIZE) || defined(ORNPCAP_TSAN)
constexpr int kWaiting = 3000;
#else
constexpr int kWaiting = 400;
#endif

bool isFifo(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

RunOptions signalled(int signalNumber, int afterMs) {
    RunOptions options;
    options.laterSignals = {{afterMs, signalNumber}};
    options.killAfterMs = kHang;
    return options;
}

void expectInterrupted(const ToolRun& run, int signalNumber, const std::string& said) {
    EXPECT_FALSE(run.killed) << "the wait outlived the signal";
    EXPECT_EQ(run.exitCode, 128 + signalNumber);
    EXPECT_TRUE(run.out.ends_with(
        " \nCONVERSION INTERRUPTED. Target file(s) completed up to the last record.\n"))
        << run.out;
    EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
}

TEST(SuiteWaitingCalls, ASignalEndsTheOpeningOfAFifoNoOneReads) {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signalName(signalNumber));
        TempDir dir;
        writePortTrace(dir, 100);
        ASSERT_EQ(::mkfifo((dir / "out.pcap").c_str(), 0600), 0);
        const ToolRun run =
            runOrnPcap(dir, {"-f4", "-p30", "-oout.pcap"}, signalled(signalNumber, kWaiting));
        expectInterrupted(run, signalNumber,
                          std::string("OrnPcap: Trace.orn: interrupted by ") +
                              signalName(signalNumber) + ", 0 of 1 blocks converted: 0 output " +
                              "files completed up to their last record, 0 records written (exit " +
                              std::to_string(128 + signalNumber) + ")\n");
        EXPECT_TRUE(isFifo(dir / "out.pcap"));
    }
}

TEST(SuiteWaitingCalls, ASignalEndsAWriteToAReaderThatStoppedReading) {
    TempDir dir;
    writePortTrace(dir, 20000, 1, 200);  // 4 MB of frames: far more than a pipe holds
    ASSERT_EQ(::mkfifo((dir / "out.pcap").c_str(), 0600), 0);
    // A reader that opens the FIFO and never reads from it.
    const FdHandle reader(::open((dir / "out.pcap").c_str(), O_RDONLY | O_NONBLOCK));
    ASSERT_TRUE(reader.isOpen());
    const ToolRun run = runOrnPcap(dir, {"-f4", "-p30", "-oout.pcap"}, signalled(SIGTERM, kWaiting));
    expectInterrupted(run, SIGTERM, "interrupted by SIGTERM");
}

TEST(SuiteWaitingCalls, ATraceThatIsAFifoIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "Trace.orn").c_str(), 0600), 0);
    RunOptions options;
    options.killAfterMs = kHang;
    const ToolRun run = runOrnPcap(dir, {"-p30"}, options);
    EXPECT_FALSE(run.killed);
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(run.err, "OrnPcap: Trace.orn: is a pipe: a trace is read as a file, whose length "
                       "tells where its trailer is (exit 7)\n");
}

// nohup: SIGHUP ignored at the start stays ignored; the run waits on, until
// a signal it does not ignore ends it.
TEST(SuiteWaitingCalls, ASignalIgnoredAtTheStartStaysIgnored) {
    TempDir dir;
    writePortTrace(dir, 100);
    ASSERT_EQ(::mkfifo((dir / "out.pcap").c_str(), 0600), 0);
    RunOptions options;
    options.ignoredSignals = {SIGHUP};
    options.laterSignals = {{kWaiting, SIGHUP}, {2 * kWaiting, SIGTERM}};
    options.killAfterMs = kHang;
    const ToolRun run = runOrnPcap(dir, {"-f4", "-p30", "-oout.pcap"}, options);
    expectInterrupted(run, SIGTERM, "interrupted by SIGTERM");
}

// orn2pcapng as well: SIGHUP ignored from the start, SIGTERM ends the wait.
TEST(SuiteWaitingCalls, Orn2pcapngWaitsOnForAnIgnoredSignalAndEndsOnAnother) {
    TempDir dir;
    writePortTrace(dir, 100);
    ASSERT_EQ(::mkfifo((dir / "out.pcapng").c_str(), 0600), 0);
    RunOptions options;
    options.ignoredSignals = {SIGHUP};
    options.laterSignals = {{kWaiting, SIGHUP}, {2 * kWaiting, SIGTERM}};
    options.killAfterMs = kHang;
    const ToolRun run = runIn(dir, ORN2PCAPNG_BINARY, {"Trace.orn", "out.pcapng"}, options);
    EXPECT_FALSE(run.killed);
    EXPECT_EQ(run.exitCode, 128 + SIGTERM);
    EXPECT_EQ(run.err, "orn2pcapng: interrupted by signal 15 before the conversion began\n");
}

// The same rule for every program of the suite, which all install their
// handlers this way: in a child process, so that the test's own stay.
TEST(SuiteWaitingCalls, TheHandlersLeaveAnIgnoredSignalIgnored) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGHUP, SIG_IGN);
        std::signal(SIGINT, SIG_DFL);
        installInterruptHandlers();
        struct sigaction hup {}, intr {};
        ::sigaction(SIGHUP, nullptr, &hup);
        ::sigaction(SIGINT, nullptr, &intr);
        const bool kept = hup.sa_handler == SIG_IGN;
        const bool caught = intr.sa_handler != SIG_DFL && intr.sa_handler != SIG_IGN &&
                            (intr.sa_flags & SA_RESTART) == 0;
        ::_exit(kept && caught ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "SIGHUP must stay ignored, SIGINT be caught without restarting calls";
}

}  // namespace
}  // namespace ornpcap::test
