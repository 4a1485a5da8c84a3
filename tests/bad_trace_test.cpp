// Damaged traces and hostile surroundings, end to end: each class of damage
// gives its exit code and message, the trace is never changed, and any output
// left on disk is a whole file.

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

#include "tests/support/capture_files.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

using tracebuild::BlockMode;
using tracebuild::TraceSpec;

const std::string kBadFormat = " \nINVALID Source file format or BAD Source file version.\n";
const std::string kCannotRead = " \nUnable to READ Source file.\n";
const std::string kStatistics = "\nConversion statistics:\n";

// Port 3, Raw-IP records of 60 bytes, cut into stored and compressed blocks.
TraceSpec goodTrace(size_t records = 40, size_t chunk = 400) {
    std::vector<tracebuild::Record> list;
    for (size_t n = 0; n < records; ++n) {
        EventRecord r;
        r.timeMs = static_cast<uint32_t>(n * 10);
        r.port = 3;
        r.eventType = n % 2 ? kEventFrameReceived : kEventFrameSent;
        r.origLength = 60;
        list.push_back({r, Bytes(60, static_cast<uint8_t>(n))});
        list.back().payload[0] = 0x45;
    }
    TraceSpec layout;
    layout.blocks = tracebuild::splitIntoBlocks(tracebuild::recordStream(list, 8), chunk,
                                              BlockMode::Alternate);
    return layout;
}

Bytes build(const std::function<void(TraceSpec&)>& damage) {
    TraceSpec layout = goodTrace();
    damage(layout);
    return tracebuild::buildTrace(layout);
}

bool isWholePcap(const Bytes& file) { return parsePcap(file).whole; }

struct BadTrace {
    const char* name;
    Bytes trace;
    int exitCode;
    std::string tail;   // what stdout ends with ("" : nothing after the options)
    bool outputLeft = false;  // records before the damage were written
};

std::vector<BadTrace> badTraces() {
    Bytes truncated = tracebuild::buildTrace(goodTrace());
    truncated.resize(truncated.size() - 10);
    // The last block's data ends 30 bytes early; the trailer agrees.
    TraceSpec cut = goodTrace();
    cut.streamLength = static_cast<uint32_t>(truncated.size() + 10 - 203 - 16 - 30);
    Bytes lastBlockCut = tracebuild::buildTrace(cut);
    lastBlockCut.erase(lastBlockCut.end() - 16 - 30, lastBlockCut.end() - 16);
    return {
        {"too short", Bytes(195, 0x20), 7, ""},
        {"bad header FCS", build([](TraceSpec& s) { s.header.badFcs = true; }), 4, ""},
        {"wrong version text", build([](TraceSpec& s) { s.header.versionText = "00009.000"; }), 4, ""},
        {"subVersion not 01", build([](TraceSpec& s) { s.header.subVersion = 2; }), 7, ""},
        {"bad trailer FCS", build([](TraceSpec& s) { s.badTrailerFcs = true; }), 11, ""},
        {"streamLength too large",
         build([](TraceSpec& s) { s.streamLength = 1u << 20; }), 11, ""},
        {"file truncated (trailer lost)", truncated, 11, ""},
        {"block out of sequence", build([](TraceSpec& s) { s.blocks[2].number = 4; }), 11,
         kBadFormat, true},
        {"block FCS", build([](TraceSpec& s) { s.blocks[3].fcs = 0x1234; }), 11, kBadFormat, true},
        {"oversize block", build([](TraceSpec& s) { s.maxBlockLength = 300; }), 11, kBadFormat,
         true},
        {"corrupt compressed data", build([](TraceSpec& s) { s.blocks[2].cutCompressedTo = 40; }),
         11, kBadFormat, true},
        {"block data missing", lastBlockCut, 4, kCannotRead, true},
        {"record larger than the buffers",
         [] {
             TraceSpec layout = goodTrace(3, 100);
             layout.maxBlockLength = 100;  // a 85-byte record fits, but not 3 blocks of carry-over
             EventRecord big;
             big.port = 3;
             big.eventType = kEventFrameSent;
             const Bytes bytes = tracebuild::encodeRecord(big, Bytes(1000, 0x45), 8);
             for (const auto& block : tracebuild::splitIntoBlocks(bytes, 100, BlockMode::Stored)) {
                 layout.blocks.push_back(block);
             }
             return tracebuild::buildTrace(layout);
         }(),
         11, kBadFormat, true},
    };
}

TEST(BadTraces, EachDamageGivesItsCodeAndLeavesWholeFiles) {
    for (const BadTrace& c : badTraces()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("Trace.orn", c.trace);
        const ToolRun run = runOrnPcap(dir, {"-f4", "-p3"});
        EXPECT_EQ(run.exitCode, c.exitCode);
        if (c.tail.empty()) {
            EXPECT_TRUE(run.out.ends_with(" -p - Port to be extracted: 3\n")) << run.out;
        } else {
            EXPECT_TRUE(run.out.ends_with(c.tail)) << run.out;
        }
        EXPECT_EQ(dir.read("Trace.orn"), c.trace) << "the trace must not change";
        EXPECT_EQ(dir.exists("Trace.pcap"), c.outputLeft);
        if (c.outputLeft) {
            EXPECT_TRUE(isWholePcap(dir.read("Trace.pcap")));
        }
    }
}

TEST(BadSurroundings, MissingTraceFolderAsTraceAndMissingOutputFolder) {
    TempDir dir;
    EXPECT_EQ(runOrnPcap(dir, {"-f4", "-p3"}).exitCode, 2) << "no trace";
    dir.makeDir("Trace.orn");
    EXPECT_EQ(runOrnPcap(dir, {"-f4", "-p3"}).exitCode, 4) << "a folder is not a trace";

    TempDir out;
    out.write("Trace.orn", tracebuild::buildTrace(goodTrace()));
    const ToolRun run = runOrnPcap(out, {"-f4", "-p3", "-onosuch/x.pcap"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.out.ends_with(" \n ERROR 3: file nosuch/x.pcap cannot be created !!!\n"));
}

TEST(BadSurroundings, ReadOnlyTraceConverts) {
    TempDir dir;
    const Bytes trace = tracebuild::buildTrace(goodTrace());
    dir.write("Trace.orn", trace);
    ASSERT_EQ(::chmod((dir / "Trace.orn").c_str(), 0444), 0);
    const ToolRun run = runOrnPcap(dir, {"-f4", "-p3"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find(kStatistics), std::string::npos);
    EXPECT_TRUE(isWholePcap(dir.read("Trace.pcap")));
    EXPECT_EQ(dir.read("Trace.orn"), trace);
}

}  // namespace
}  // namespace ornpcap::test
