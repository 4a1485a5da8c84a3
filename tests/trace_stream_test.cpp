// A trace through a pipe, read in one pass: the same export as from the
// file, what comes before a cut exported and the cut said, orninfo's
// report, the checks of the trailer made at the end, and a signal that ends
// the wait for a writer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <unistd.h>

#include "base/byte_order.hpp"
#include "base/file_io.hpp"
#include "tests/support/capture_files.hpp"
#include "tests/support/orn2pcapng_run.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

using Input = RunOptions::Input;

RunOptions input(Input how, const std::string& file) {
    RunOptions options;
    options.input = how;
    options.inputFile = file;
    return options;
}

ToolRun runOrnInfo(const TempDir& dir, const std::vector<std::string>& args,
                   const RunOptions& options = {}) {
    return runIn(dir, ORNINFO_BINARY, args, options);
}

Bytes mixedTrace() { return tracebuild::traceOfRecords(mixedPortRecords(60), {}, 2048); }

// The file after its Section Header Block, whose comment names the trace.
Bytes afterSection(const Bytes& file) {
    const uint32_t length = loadLe32(file.data() + 4);
    return Bytes(file.begin() + length, file.end());
}

TEST(TraceFromAPipe, ExportsTheBytesOfTheFile) {
    TempDir dir;
    dir.write("Trace.orn", mixedTrace());
    const ToolRun piped = runOrn2Pcapng(dir, {"-", "piped.pcapng"}, input(Input::Pipe, "Trace.orn"));
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    // Standard input that is the file itself is read as a file, by the same name.
    const ToolRun redirected =
        runOrn2Pcapng(dir, {"-", "redirected.pcapng"}, input(Input::File, "Trace.orn"));
    ASSERT_EQ(redirected.exitCode, 0) << redirected.err;
    EXPECT_EQ(dir.read("piped.pcapng"), dir.read("redirected.pcapng"));
    const ToolRun named = runOrn2Pcapng(dir, {"Trace.orn", "named.pcapng"});
    ASSERT_EQ(named.exitCode, 0);
    EXPECT_EQ(afterSection(dir.read("piped.pcapng")), afterSection(dir.read("named.pcapng")));
    EXPECT_EQ(piped.out.substr(piped.out.find('\n')), named.out.substr(named.out.find('\n')));
    // From a pipe to a pipe.
    const ToolRun through = runOrn2Pcapng(dir, {"-", "-"}, input(Input::Pipe, "Trace.orn"));
    const ToolRun fromFile = runOrn2Pcapng(dir, {"-", "-"}, input(Input::File, "Trace.orn"));
    ASSERT_EQ(through.exitCode, 0) << through.err;
    EXPECT_EQ(through.out, fromFile.out);
}

TEST(TraceFromAPipe, ACutTraceExportsWhatCameBeforeTheCut) {
    TempDir dir;
    const Bytes whole = mixedTrace();
    dir.write("Trace.orn", whole);
    dir.write("Cut.orn", Bytes(whole.begin(), whole.begin() + whole.size() / 2));
    const ToolRun run = runOrn2Pcapng(dir, {"-", "cut.pcapng"}, input(Input::Pipe, "Cut.orn"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("orn2pcapng: -: trailer checksum wrong: the file may be cut short: "
                           "exported what came before it; saved to a file, ornfix salvages every "
                           "intact record\n"),
              std::string::npos)
        << run.err;
    ASSERT_EQ(runOrn2Pcapng(dir, {"Trace.orn", "whole.pcapng"}).exitCode, 0);
    const PcapngRead cut = parsePcapng(dir.read("cut.pcapng"));
    const PcapngRead full = parsePcapng(dir.read("whole.pcapng"));
    EXPECT_EQ(cut.fault, "");
    ASSERT_GT(cut.packets.size(), full.packets.size() / 3);
    ASSERT_LT(cut.packets.size(), full.packets.size());
    // The packets before the cut, in order, as the whole trace has them.
    size_t at = 0;
    for (const PcapngPacketRead& p : cut.packets) {
        while (at < full.packets.size() && full.packets[at].timestamp != p.timestamp) {
            ++at;
        }
        ASSERT_LT(at, full.packets.size());
        EXPECT_EQ(full.packets[at++].data, p.data);
    }
    // The file refuses the cut trace, pointing to ornfix as well.
    const ToolRun file = runOrn2Pcapng(dir, {"Cut.orn"});
    EXPECT_EQ(file.exitCode, 2);
    EXPECT_EQ(file.err, "orn2pcapng: Cut.orn: trailer checksum wrong: the file may be cut short: "
                        "nothing exported; ornfix Cut.orn salvages every intact record\n");
}

TEST(TraceFromAPipe, OrninfoReportsAsForTheFile) {
    TempDir dir;
    const Bytes whole = mixedTrace();
    dir.write("Trace.orn", whole);
    const ToolRun piped = runOrnInfo(dir, {"-"}, input(Input::Pipe, "Trace.orn"));
    const ToolRun redirected = runOrnInfo(dir, {"-"}, input(Input::File, "Trace.orn"));
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, redirected.out);
    EXPECT_NE(piped.out.find("Integrity:            OK\n"), std::string::npos);
    EXPECT_NE(piped.out.find("OrnPcap -iTrace.orn -oTrace_p30.pcap -f1 -p30"), std::string::npos);

    // Cut: the blocks and records before the cut, from the pipe and the file alike.
    dir.write("Cut.orn", Bytes(whole.begin(), whole.begin() + whole.size() / 2));
    const ToolRun cut = runOrnInfo(dir, {"--json", "-"}, input(Input::Pipe, "Cut.orn"));
    const ToolRun file = runOrnInfo(dir, {"--json", "Cut.orn"});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_EQ(file.exitCode, 1);
    EXPECT_EQ(cut.err, "orninfo: -: trailer checksum wrong: the file may be cut short\n");
    EXPECT_EQ(file.err, "orninfo: Cut.orn: trailer checksum wrong: the file may be cut short\n");
    const auto records = [](const std::string& json) {
        const size_t at = json.find("\"records\": ");
        return at == std::string::npos ? std::string() : json.substr(at, json.find(',', at) - at);
    };
    EXPECT_EQ(records(cut.out), records(file.out));
    EXPECT_NE(records(cut.out), "\"records\": 0");
    EXPECT_NE(cut.out.find("\"ports\": [\n      {"), std::string::npos);
}

struct StreamCase {
    const char* name;
    tracebuild::TraceSpec recipe;
    int exitCode;
    std::string err;  // after "orninfo: -: "
};

// What the trailer, known only at the end, says of the blocks read before.
TEST(TraceFromAPipe, TheTrailerIsHeldAgainstTheBlocksAtTheEnd) {
    const Bytes stream = tracebuild::recordStream(mixedPortRecords(10), 8);
    tracebuild::TraceSpec good;
    good.blocks = tracebuild::splitIntoBlocks(stream, 1024, tracebuild::BlockMode::Alternate);
    ASSERT_GT(good.blocks.size(), 5u);
    std::vector<StreamCase> cases;
    cases.push_back({"intact", good, 0, ""});
    tracebuild::TraceSpec padded = good;
    padded.unusedBeforeTrailer = 100;
    cases.push_back({"unused bytes before the trailer", padded, 0, ""});
    tracebuild::TraceSpec fewer = good;
    fewer.blockCount = 3;
    cases.push_back({"blocks past blockCount", fewer, 1,
                     "), but good blocks follow it: all " + std::to_string(good.blocks.size()) +
                         " blocks were read"});
    tracebuild::TraceSpec damaged = good;
    damaged.blocks[3].fcs = 0x1234;
    cases.push_back({"a damaged block", damaged, 1, "FCS-16 wrong"});
    tracebuild::TraceSpec small = good;
    small.maxBlockLength = 100;
    cases.push_back({"blocks longer than maxBlockLength", small, 1,
                     "bytes long, more than maxBlockLength 100"});
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("Trace.orn", tracebuild::buildTrace(c.recipe));
        const ToolRun run = runOrnInfo(dir, {"-"}, input(Input::Pipe, "Trace.orn"));
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        if (c.err.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_EQ(run.err.rfind("orninfo: -: ", 0), 0u) << run.err;
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        }
    }
}

TEST(TraceFromAPipe, ASignalEndsTheWaitForAWriter) {
    TempDir dir;
    RunOptions options = input(Input::SilentPipe, "");
    options.signalAfterMs = 300;
    options.signal = SIGTERM;
    options.killAfterMs = 60000;  // a hang, not a time the run must keep
    const ToolRun export_ = runOrn2Pcapng(dir, {"-", "out.pcapng"}, options);
    EXPECT_FALSE(export_.killed);
    EXPECT_EQ(export_.exitCode, 128 + SIGTERM);
    EXPECT_EQ(export_.err, "orn2pcapng: interrupted by signal 15 before the conversion began\n");
    EXPECT_FALSE(fileExists(dir / "out.pcapng"));
    options.signal = SIGHUP;
    const ToolRun info = runOrnInfo(dir, {"-"}, options);
    EXPECT_FALSE(info.killed);
    EXPECT_EQ(info.exitCode, 128 + SIGHUP);
    EXPECT_EQ(info.err, "orninfo: -: interrupted\n");
}

TEST(TraceFromAPipe, OrnPcapSaysItCannotReadAPipe) {
    TempDir dir;
    dir.write("Trace.orn", mixedTrace());
    const ToolRun run = runOrnPcap(dir, {"-i/dev/stdin", "-p30"}, input(Input::Pipe, "Trace.orn"));
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(run.err, "OrnPcap: /dev/stdin: is a pipe: a trace is read as a file, whose length "
                       "tells where its trailer is (exit 7)\n");
    // Standard output is what it is for any trace the probe refuses: the
    // banner and the options.
    dir.write("plain.txt", Bytes(300, 'x'));
    EXPECT_EQ(run.out,
              runOrnPcap(dir, {"-i/dev/stdin", "-p30"}, input(Input::File, "plain.txt")).out);
}

}  // namespace
}  // namespace ornpcap::test

namespace ornpcap::test {
namespace {

// --split: one classic pcap file per link type or per port, each of which
// tcpdump reads to its end, together every packet of the pcapng export.
TEST(Orn2PcapngSplit, EveryFileReadsInTcpdumpAndTogetherHoldEveryPacket) {
    if (::access("/usr/bin/tcpdump", X_OK) != 0) {
        GTEST_SKIP() << "tcpdump is not installed: skipped";
    }
    TempDir dir;
    dir.write("Trace.orn", mixedTrace());
    ASSERT_EQ(runOrn2Pcapng(dir, {"Trace.orn"}).exitCode, 0);
    const size_t packets = parsePcapng(dir.read("Trace.pcapng")).packets.size();
    const std::vector<std::pair<std::string, std::vector<std::string>>> splits = {
        {"--split=linktype", {"Trace_ETHERNET.pcap", "Trace_PPP.pcap", "Trace_RAW.pcap",
                              "Trace_LINUX_LAPD.pcap"}},
        {"--split=port", {"Trace_p3.pcap", "Trace_p20.pcap", "Trace_p21.pcap", "Trace_p30.pcap",
                          "Trace_p40.pcap", "Trace_p50.pcap"}},
    };
    for (const auto& [option, names] : splits) {
        SCOPED_TRACE(option);
        const ToolRun run = runOrn2Pcapng(dir, {option, "Trace.orn"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        size_t total = 0;
        for (const std::string& name : names) {
            const ToolRun read = runIn(dir, "/usr/bin/tcpdump", {"-qnr", name});
            EXPECT_EQ(read.exitCode, 0) << name << ": " << read.err;
            // A packet's line begins with its time; some go on in lines of hex.
            size_t lines = 0;
            for (size_t at = 0; at < read.out.size(); at = read.out.find('\n', at) + 1) {
                lines += std::isdigit(static_cast<unsigned char>(read.out[at])) ? 1 : 0;
                if (read.out.find('\n', at) == std::string::npos) {
                    break;
                }
            }
            EXPECT_EQ(lines, parsePcap(dir.read(name)).records.size()) << name;
            EXPECT_EQ(read.err.find("truncated"), std::string::npos) << read.err;
            total += lines;
        }
        EXPECT_EQ(total, packets);
    }
}

}  // namespace
}  // namespace ornpcap::test
