// Long runs: a conversion stopped by SIGINT, SIGTERM or SIGHUP finishes the
// record in hand, completes every output and says so; ALL mode with more LSNs
// than open files allowed writes the same bytes.

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

#include "tests/support/capture_files.hpp"
#include "tests/support/port_trace.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "trace/record_source.hpp"
#include "base/interrupt.hpp"

namespace ornpcap::test {
namespace {

const std::string kInterrupted =
    " \nCONVERSION INTERRUPTED. Target file(s) completed up to the last record.\n";

TEST(OrnPcapInterrupt, EveryOutputIsCompleteAfterTheSignal) {
    struct Case {
        std::vector<std::string> args;
        int signal;
        std::vector<std::string> outputs;  // the signal comes once the last exists
    };
    const Case cases[] = {
        {{"-f4", "-p30"}, SIGINT, {"Trace.pcap"}},
        {{"-f2", "-p30", "-lALL"}, SIGTERM,
         {"Trace.vn", "Trace_0001.vn", "Trace_0002.vn", "Trace_0003.vn"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outputs.back());
        TempDir dir;
        writePortTrace(dir, 400000);
        RunOptions options;
        options.signal = c.signal;
        options.signalWhenExists = c.outputs.back();
        const ToolRun run = runOrnPcap(dir, c.args, options);
        ASSERT_EQ(run.exitCode, 128 + c.signal) << run.out;
        EXPECT_TRUE(run.out.ends_with(kInterrupted)) << run.out;
        size_t records = 0;
        for (const std::string& name : c.outputs) {
            if (name.ends_with(".pcap")) {
                const PcapFile file = parsePcap(dir.read(name));
                EXPECT_TRUE(file.whole) << name;
                records += file.records.size();
            } else {
                const VnFile file = readVn(dir.read(name));
                EXPECT_EQ(file.fault, "") << name;
                records += file.packets.size();
            }
        }
        EXPECT_GT(records, 0u);
        EXPECT_LT(records, 400000u) << "stopped in the middle";
    }
}

TEST(OrnPcapAllMode, MoreLsnsThanOpenFilesGivesTheSameFiles) {
    // With 40 descriptors the tool keeps only a few outputs open and has to
    // close and reopen them as the 30 LSNs come round.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-f4", "-p30", "-lALL"}, {"-f2", "-p30", "-lALL"}}) {
        TempDir wide;
        TempDir narrow;
        writePortTrace(wide, 3000, 30);
        writePortTrace(narrow, 3000, 30);
        ASSERT_EQ(runOrnPcap(wide, args).exitCode, 0);
        RunOptions few;
        few.openFileLimit = 40;
        const ToolRun run = runOrnPcap(narrow, args, few);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const std::vector<std::string> names = wide.list();
        ASSERT_EQ(names.size(), 31u);
        EXPECT_EQ(narrow.list(), names);
        for (const std::string& name : names) {
            EXPECT_EQ(narrow.read(name), wide.read(name)) << name;
        }
    }
}

TEST(OrnPcapProgress, ShownOnATerminalOnlyAndNeverOnStandardOutput) {
    if (::access("/usr/bin/script", X_OK) != 0) {
        GTEST_SKIP() << "script(1) is not installed: no terminal to show progress on";
    }
    TempDir dir;
    writePortTrace(dir, 300000);  // about 38 MB: a large trace
    const ToolRun piped = runOrnPcap(dir, {"-f4", "-p30"});
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.err, "") << "standard error is no terminal here";
    // script(1) gives the tool a terminal; its standard output stays a file.
    const std::string command = std::string(ORNPCAP_BINARY) + " -f4 -p30 > stdout.txt";
    const ToolRun onTerminal = runIn(dir, "/usr/bin/script", {"-qec", command, "terminal.txt"});
    EXPECT_EQ(onTerminal.exitCode, 0);
    const Bytes terminal = dir.read("terminal.txt");
    EXPECT_NE(std::string(terminal.begin(), terminal.end()).find("Converting: 100%"),
              std::string::npos);
    const Bytes out = dir.read("stdout.txt");
    EXPECT_EQ(std::string(out.begin(), out.end()), piped.out);
}

// In-process: the run stops after the record during which the signal came,
// and the sink is finished.
TEST(OrnPcapInterrupt, RunStopsAfterTheRecordInHand) {
    TempDir dir;
    writePortTrace(dir, 1000);
    struct InterruptingSink final : RecordSink {
        int written = 0;
        int finished = 0;
        ResultCode start(const OpenedTrace&) override { return ResultCode::Ok; }
        ResultCode record(const EventRecord&, const uint8_t*) override {
            if (++written == 10) {
                raiseInterrupt(SIGHUP);
            }
            return ResultCode::Ok;
        }
        ResultCode finish(ResultCode result) override {
            ++finished;
            return result;
        }
    } sink;
    const ResultCode rc = readTrace({dir / "Trace.orn", 8, 0, nullptr}, sink);
    clearInterrupt();
    EXPECT_EQ(rc, ResultCode::Interrupted);
    EXPECT_EQ(sink.written, 10);
    EXPECT_EQ(sink.finished, 1);
}

}  // namespace
}  // namespace ornpcap::test
