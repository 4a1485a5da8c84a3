// mktrace as a command: help, version, standard streams, a scenario's errors.

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

ToolRun mktrace(const TempDir& dir, const std::vector<std::string>& args,
              const RunOptions& options = {}) {
    return runIn(dir, MKTRACE_BINARY, args, options);
}

TEST(Mktrace, FollowsTheConventionsOfTheSuite) {
    TempDir dir;
    const ToolRun help = mktrace(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: mktrace ")) << help.out;
    EXPECT_EQ(mktrace(dir, {"-h"}).out, help.out);
    const ToolRun version = mktrace(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.starts_with("mktrace (OrnPcap suite) ")) << version.out;
    EXPECT_EQ(mktrace(dir, {"--vers"}).out, version.out) << "long options shorten";
    EXPECT_EQ(mktrace(dir, {"a.scn", "b.orn", "--help"}).out, help.out) << "in any order";
}

TEST(Mktrace, UsageErrorsAreOneLineAndExitStatus2) {
    TempDir dir;
    dir.write("a.scn", Bytes{});
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "no scenario given"},
        {{"a.scn"}, "no trace given"},
        {{"a.scn", "b.orn", "c.orn"}, "too many names: c.orn"},
        {{"-x", "a.scn", "b.orn"}, "unknown option -x"},
        {{"--frob", "a.scn", "b.orn"}, "unknown option --frob"},
        {{"--help=all"}, "option --help takes no value"},
        {{"--", "-h"}, "no trace given"},  // a name after --
    };
    for (const auto& [args, what] : cases) {
        SCOPED_TRACE(what);
        const ToolRun run = mktrace(dir, args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "mktrace: " + what + " (try 'mktrace --help')\n");
    }
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.scn"})) << "a usage error writes nothing";
    // After --, a name may begin with -.
    dir.write("-odd.scn", Bytes{'b', 'u', 'l', 'k', ' ', 'c', 'o', 'u', 'n', 't', '=', '2', ' ',
                                'p', 'o', 'r', 't', '=', '1', '\n'});
    const ToolRun odd = mktrace(dir, {"--", "-odd.scn", "-odd.orn"});
    EXPECT_EQ(odd.exitCode, 0) << odd.err;
    EXPECT_EQ(odd.err, "mktrace: -odd.orn: 2 records in 1 blocks\n");
}

TEST(Mktrace, WritesToStandardOutputAndNamesTheBadLine) {
    TempDir dir;
    const std::string sample = std::string(ORNPCAP_SOURCE_DIR) + "/examples/";
    const ToolRun piped = mktrace(dir, {sample + "sample.scn", "-"});
    EXPECT_EQ(piped.exitCode, 0);
    const Bytes bundled = tracebuild::readFile(sample + "Trace.orn");
    EXPECT_EQ(piped.out, std::string(bundled.begin(), bundled.end()));
    EXPECT_EQ(piped.err, "mktrace: -: 63 records in 9 blocks\n");

    dir.write("bad.scn", Bytes{'v', 'e', 'r', 's', 'i', 'o', 'n', ' ', '9', '\n'});
    const ToolRun bad = mktrace(dir, {"bad.scn", "out.orn"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "mktrace: bad.scn: line 1: cannot read the version line\n");
}

// A FIFO (or a device such as /dev/null) of the trace's name is written into,
// not replaced by a file of that name.
TEST(Mktrace, WritesIntoAFifoOfTheTracesName) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.orn").c_str(), 0600), 0);
    Bytes received;
    std::thread reader([&] {
        const int fd = ::open((dir / "pipe.orn").c_str(), O_RDONLY);
        uint8_t buffer[4096];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            received.insert(received.end(), buffer, buffer + n);
        }
        ::close(fd);
    });
    const std::string sample = std::string(ORNPCAP_SOURCE_DIR) + "/examples/";
    const ToolRun run = mktrace(dir, {sample + "sample.scn", "pipe.orn"});
    struct stat st {};
    const bool fifo = ::stat((dir / "pipe.orn").c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    if (!fifo) {
        reader.detach();  // waits on the FIFO that was replaced
        FAIL() << "the FIFO was replaced";
    }
    // A reader still waiting (the FIFO never opened) sees an end at once.
    const int writer = ::open((dir / "pipe.orn").c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) {
        ::close(writer);
    }
    reader.join();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(received == tracebuild::readFile(sample + "Trace.orn"));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"pipe.orn"}));
}

// A trailer counts 65535 blocks: a scenario that needs more leaves no trace
// whose count wrapped, and an older trace of the name stays as it was.
TEST(Mktrace, MoreBlocksThanATrailerCountsLeaveNoTrace) {
    TempDir dir;
    const std::string scenario = "blocks 64 stored\nbulk count=50000 port=1 lsn=0 size=64\n";
    dir.write("many.scn", Bytes(scenario.begin(), scenario.end()));
    dir.write("kept.orn", Bytes{1, 2, 3});
    for (const char* name : {"new.orn", "kept.orn"}) {
        SCOPED_TRACE(name);
        const ToolRun run = mktrace(dir, {"many.scn", name});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "mktrace: many.scn: more than the 65535 blocks (and 4 GiB) a trailer "
                           "counts: use larger blocks\n");
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"kept.orn", "many.scn"}));
    }
    EXPECT_EQ(dir.read("kept.orn"), (Bytes{1, 2, 3}));
}

TEST(MktraceProgress, ShownOnATerminalForLargeScenariosOnly) {
    if (::access("/usr/bin/script", X_OK) != 0) {
        GTEST_SKIP() << "script(1) is not installed: no terminal to show progress on";
    }
    TempDir dir;
    const std::string large = "blocks 60000 stored\nbulk count=100000 port=1 lsn=0 size=46\n";
    const std::string small = "blocks 60000 stored\nbulk count=99999 port=1 lsn=0 size=46\n";
    dir.write("large.scn", Bytes(large.begin(), large.end()));
    dir.write("small.scn", Bytes(small.begin(), small.end()));
    const ToolRun piped = mktrace(dir, {"large.scn", "-"});
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.err, "mktrace: -: 100000 records in 119 blocks\n");
    for (const char* name : {"large", "small"}) {
        SCOPED_TRACE(name);
        // script(1) gives the tool a terminal; its standard output stays a file.
        const std::string command =
            std::string(MKTRACE_BINARY) + " " + name + ".scn - > " + name + ".orn";
        const ToolRun onTerminal = runIn(dir, "/usr/bin/script", {"-qec", command, "terminal.txt"});
        EXPECT_EQ(onTerminal.exitCode, 0);
        const Bytes terminal = dir.read("terminal.txt");
        const std::string shown(terminal.begin(), terminal.end());
        EXPECT_EQ(shown.find("Writing: 100% ") != std::string::npos, name == std::string("large"))
            << shown;
        EXPECT_EQ(shown.find("Writing: 0% ") != std::string::npos, name == std::string("large"));
        EXPECT_NE(shown.find("mktrace: -: "), std::string::npos) << shown;
    }
    const Bytes out = dir.read("large.orn");
    EXPECT_EQ(std::string(out.begin(), out.end()), piped.out);
}

// A signal stops mktrace while it reads the scenario (the first reading of
// one without a blocks line generates its traffic) or writes the trace: no
// trace is left, an older one of the name stays, and the exit status says
// which signal.
TEST(MktraceInterrupt, ASignalLeavesNoTraceAndTheOlderOneAsItWas) {
    TempDir dir;
    const std::string lines = "traffic format=ethernet count=3000000 port=20 lsns=2\n";
    const std::string reading = lines, writing = "blocks 60000 compressed\n" + lines;
    dir.write("reading.scn", Bytes(reading.begin(), reading.end()));
    dir.write("writing.scn", Bytes(writing.begin(), writing.end()));
    dir.write("old.orn", Bytes{1, 2, 3});
    for (const char* scenario : {"reading.scn", "writing.scn"}) {
        SCOPED_TRACE(scenario);
        RunOptions options;
        options.signal = SIGINT;
        options.killAfterMs = 120000;  // a hang
        // Under a sanitizer's runtime the start-up alone may outlast a short
        // delay, and the signal then kills the process before any handler.
        ToolRun run;
        for (const int delayMs : {100, 400, 1500}) {
            options.signalAfterMs = delayMs;
            run = mktrace(dir, {scenario, "old.orn"}, options);
            if (!run.killed) {
                break;
            }
        }
        EXPECT_FALSE(run.killed);
        EXPECT_EQ(run.exitCode, 128 + SIGINT);
        EXPECT_EQ(run.err, "mktrace: old.orn: interrupted\n");
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"old.orn", "reading.scn", "writing.scn"}));
    }
    EXPECT_EQ(dir.read("old.orn"), (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace ornpcap::test
