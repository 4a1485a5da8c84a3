// orninfo: its JSON on a trace of known content, the sample's ports and the
// commands that extract them, every class of damaged trace against what
// OrnPcap does with it, and the conventions of its command line.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

#include "base/byte_order.hpp"
#include "orninfo/inventory.hpp"
#include "orninfo/json_writer.hpp"
#include "orninfo/port_command.hpp"
#include "tests/support/man_page.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "tracebuild/traffic.hpp"

namespace ornpcap::test {
namespace {

using orninfo::InventoryStatus;
using tracebuild::BlockMode;
using tracebuild::Record;
using tracebuild::TraceSpec;

ToolRun runOrnInfo(const TempDir& dir, const std::vector<std::string>& args) {
    return runIn(dir, ORNINFO_BINARY, args);
}

std::string sampleTrace() { return std::string(ORNPCAP_SOURCE_DIR) + "/examples/Trace.orn"; }

Record record(uint32_t ms, uint16_t port, uint16_t lsn, uint8_t type, Bytes payload,
              uint8_t status = 0) {
    EventRecord r;
    r.timeMs = ms;
    r.port = port;
    r.lsn = lsn;
    r.eventType = type;
    r.eventStatus = status;
    r.origLength = static_cast<uint16_t>(payload.size());
    return {r, std::move(payload)};
}

// A PPP-Sync port with two links (one frame recorded with an error) and a
// port whose records carry no frames.
Bytes knownTrace() {
    const Bytes lcp = {0xff, 0x03, 0xc0, 0x21, 0x01, 0x01, 0x00, 0x0e, 0x01,
                       0x04, 0x05, 0xdc, 0x05, 0x06, 0x3c, 0x1d, 0x9e, 0x01};
    const std::vector<Record> records = {
        record(1000, 20, 1, kEventFrameReceived, lcp), record(1010, 20, 1, kEventFrameSent, lcp),
        record(1020, 20, 1, kEventFrameReceived, lcp), record(1030, 20, 1, kEventFrameSent, lcp),
        record(1040, 20, 2, kEventFrameReceived, lcp),
        record(1050, 20, 2, kEventFrameSent, lcp, 1),
        record(1060, 9, 0x1234, 22, {1, 2, 3}), record(1070, 9, 0x1234, 22, {4, 5, 6}),
        record(1080, 9, 0x1234, kEventFrameSent, {}),
    };
    tracebuild::HeaderSpec header;
    header.versionMajor = 7;
    header.description = "Lab \"A\" caf\xe9";
    header.year = 2024;
    header.month = 2;
    header.day = 29;
    header.hour = 23;
    header.minute = 59;
    header.second = 30;
    header.snapLength = 2000;
    return tracebuild::traceOfRecords(records, header, 100, BlockMode::Alternate);
}

TEST(OrnInfoJson, ReportsWhatATraceOfKnownContentHolds) {
    TempDir dir;
    const Bytes trace = knownTrace();
    dir.write("lab.orn", trace);
    const ToolRun run = runOrnInfo(dir, {"--json", "lab.orn"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    // 339 bytes of records in blocks of 100: two compressed, two stored.
    const uint8_t* trailer = trace.data() + trace.size() - 16;
    const std::string channel = R"(
      {
        "port": %u,
        "lsn": %u,
        "records": %u,
        "in": %u,
        "out": %u,
        "otherEvents": %u,
        "badStatus": %u,
        "capturedBytes": %u,
        "firstMs": %u,
        "lastMs": %u
      })";
    const auto channelText = [&](std::vector<unsigned> v) {
        char text[512];
        std::snprintf(text, sizeof text, channel.c_str(), v[0], v[1], v[2], v[3], v[4], v[5], v[6],
                      v[7], v[8], v[9]);
        return std::string(text);
    };
    char head[1024];
    std::snprintf(head, sizeof head, R"([
  {
    "file": "lab.orn",
    "size": %zu,
    "version": {
      "major": 7,
      "minor": 0
    },
    "headerSize": 191,
    "description": "Lab \"A\" caf\u00e9",
    "start": "2024-02-29 23:59:30",
    "utcOffset": null,
    "snapLength": 2000,
    "blocks": {
      "count": 4,
      "stored": 2,
      "compressed": 2,
      "maxBlockLength": %u,
      "streamLength": %zu,
      "expandedBytes": 339
    },
    "records": 9,
    "firstMs": 1000,
    "lastMs": 1080,
    "integrity": {
      "result": 0,
      "message": "",
      "detail": "",
      "block": null,
      "offset": null,
      "incompleteLastRecord": false
    },
    "channels": [)",
                  trace.size(), unsigned{loadLe16(trailer)}, trace.size() - 191 - 16);
    const std::string expected =
        head + channelText({9, 0x1234, 3, 0, 1, 2, 0, 6, 1060, 1080}) + "," +
        channelText({20, 1, 4, 2, 2, 0, 0, 72, 1000, 1030}) + "," +
        channelText({20, 2, 2, 1, 1, 0, 1, 36, 1040, 1050}) + R"(
    ],
    "ports": [
      {
        "port": 9,
        "records": 3,
        "format": null,
        "confidence": 0,
        "command": null,
        "commandNote": null
      },
      {
        "port": 20,
        "records": 6,
        "format": {
          "id": 2,
          "name": "PPP-Sync"
        },
        "confidence": 0.969,
        "command": "OrnPcap -ilab.orn -olab_p20.pcap -f2 -p20 -lALL",
        "commandNote": null
      }
    ]
  }
]
)";
    EXPECT_EQ(run.out, expected);
}

TEST(OrnInfoJson, EscapesWhatNoJsonStringMayHoldAndKeepsUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\"b\\c", R"("a\"b\\c")"},
        {std::string("t\tn\nr\rz\0\x1f", 9), R"("t\tn\nr\rz\u0000\u001f")"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa6", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa6\""},
        {"caf\xe9", R"("caf\u00e9")"},                       // Latin-1
        {"\xc0\x80", R"("\u00c0\u0080")"},                   // overlong
        {"\xed\xa0\x80", R"("\u00ed\u00a0\u0080")"},         // surrogate
        {"\xe2\x82", R"("\u00e2\u0082")"},                   // cut short
        {"\xf4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")"},  // beyond U+10FFFF
    };
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(orninfo::jsonString(text), json);
    }
    orninfo::JsonWriter empty;
    empty.beginObject().key("a").beginArray().endArray().key("b").beginObject().endObject();
    empty.key("c").fraction(0.5, 3).key("d").fraction(1.0, 3).endObject();
    EXPECT_EQ(empty.text(), "{\n  \"a\": [],\n  \"b\": {},\n  \"c\": 0.5,\n  \"d\": 1\n}\n");
}

TEST(OrnInfoCommand, GivesWhatOrnPcapNeedsForEachFormat) {
    const struct {
        int32_t format;
        std::vector<uint16_t> lsns;
        const char* tail;
    } cases[] = {
        {1, {1, 2, 7}, "-f1 -p7"},  {2, {1, 2}, "-f2 -p7 -lALL"}, {2, {0x1a}, "-f2 -p7 -l1A"},
        {3, {0}, "-f3 -p7 -l0"},    {4, {0}, "-f4 -p7"},          {4, {0, 1}, "-f4 -p7 -lALL"},
        {5, {0, 1}, "-f5 -p7"},     {6, {3}, "-f6 -p7"},          {6, {3, 4}, "-f6 -p7 -lALL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(orninfo::ornpcapCommand("dir/x.orn", 7, c.format, c.lsns),
                  std::string("OrnPcap -idir/x.orn -ox_p7.pcap ") + c.tail);
    }
    EXPECT_EQ(orninfo::ornpcapCommand("x.orn", 7, 0, {0}), "");
    EXPECT_EQ(orninfo::ornpcapCommand("it's here/a b", 1, 4, {0}),
              R"(OrnPcap '-iit'\''s here/a b' '-oa b_p1.pcap' -f4 -p1)");
}

// The sample: every port named with its format, and its command, run as
// given one after the other, extracts it with nothing of another port lost.
TEST(OrnInfoSample, NamesEveryPortAndItsCommandsExtractThem) {
    TempDir dir;
    dir.write("Trace.orn", tracebuild::readFile(sampleTrace()));
    const orninfo::InventoryResult result = orninfo::takeInventory(dir / "Trace.orn");
    ASSERT_EQ(result.status, InventoryStatus::Taken);
    const orninfo::TraceInventory& inventory = result.inventory;
    EXPECT_TRUE(inventory.integrity.intact);
    EXPECT_EQ(inventory.records, 63u);
    EXPECT_EQ(inventory.blocks.stored + inventory.blocks.compressed, 9u);
    const std::map<uint16_t, std::pair<int32_t, std::string>> expected = {
        {3, {5, "Trace_p3.i4b"}},       {20, {2, "Trace_p20_0001.vn Trace_p20_0002.vn"}},
        {21, {3, "Trace_p21.vn"}},      {30, {1, "Trace_p30.pcap"}},
        {40, {4, "Trace_p40.pcap"}},    {50, {6, "Trace_p50.pcap"}}};
    ASSERT_EQ(inventory.ports.size(), expected.size());
    std::vector<std::string> outputs = {"Trace.orn"};
    for (const orninfo::PortSummary& port : inventory.ports) {
        SCOPED_TRACE(port.port);
        EXPECT_EQ(port.guess.format, expected.at(port.port).first);
        const std::string prefix = "OrnPcap -i" + dir / "Trace.orn" + " ";
        ASSERT_TRUE(port.command.starts_with(prefix)) << port.command;
        std::vector<std::string> args;
        for (size_t at = 8, end; at < port.command.size(); at = end + 1) {
            end = std::min(port.command.find(' ', at), port.command.size());
            args.push_back(port.command.substr(at, end - at));
        }
        EXPECT_EQ(runOrnPcap(dir, args).exitCode, 0) << port.command;
        for (size_t at = 0, end; at < expected.at(port.port).second.size(); at = end + 1) {
            end = std::min(expected.at(port.port).second.find(' ', at),
                           expected.at(port.port).second.size());
            outputs.push_back(expected.at(port.port).second.substr(at, end - at));
        }
    }
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(dir.list(), outputs);
}

// Many ports of realistic traffic of each format in one trace: each port's
// frames reach the recogniser of that port alone.
TEST(OrnInfoTraffic, NamesThePortsOfEveryFormatInOneTrace) {
    TempDir dir;
    std::map<uint16_t, int32_t> expected;
    {
        std::FILE* out = std::fopen((dir / "Trace.orn").c_str(), "wb");
        ASSERT_NE(out, nullptr);
        tracebuild::TraceWriter writer(out, {}, 8000, BlockMode::Alternate, 1);
        for (uint16_t port = 1; port <= 60; ++port) {
            const auto format = static_cast<tracebuild::TrafficFormat>(1 + port % 6);
            tracebuild::addTraffic(writer, {format, port, static_cast<uint16_t>(port % 3),
                                            static_cast<uint16_t>(1 + port % 3),
                                            10ul + (port * 37ul) % 150, 77u + port});
            expected[port] = static_cast<int32_t>(format);
        }
        ASSERT_TRUE(writer.finish());
        std::fclose(out);
    }
    const orninfo::InventoryResult result = orninfo::takeInventory(dir / "Trace.orn");
    ASSERT_EQ(result.status, InventoryStatus::Taken);
    EXPECT_TRUE(result.inventory.integrity.intact);
    ASSERT_EQ(result.inventory.ports.size(), expected.size());
    size_t right = 0;
    for (const orninfo::PortSummary& port : result.inventory.ports) {
        right += port.guess.format == expected.at(port.port);
    }
    std::printf("orninfo named %zu of %zu ports of realistic traffic\n", right, expected.size());
    EXPECT_GE(right, 57u) << "95% of 60 ports";
}

// ---- Damaged traces

// Port 3, Raw-IP records of 60 bytes (85 with their header), 400 bytes of
// them per block, stored and compressed in turn: 9 blocks.
TraceSpec goodTrace(size_t records = 40, size_t chunk = 400) {
    std::vector<Record> list;
    for (size_t n = 0; n < records; ++n) {
        Bytes payload(60, static_cast<uint8_t>(n));
        payload[0] = 0x45;
        list.push_back(record(static_cast<uint32_t>(n * 10), 3, 0,
                              n % 2 ? kEventFrameReceived : kEventFrameSent, payload));
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

// Where block n (from 1) of the good trace begins in the file.
uint64_t offsetOfBlock(uint16_t n) {
    const TraceSpec layout = goodTrace();
    uint64_t offset = 203;
    for (uint16_t i = 1; i < n; ++i) {
        offset += tracebuild::encodeBlock(layout.blocks[i - 1], i).size();
    }
    return offset;
}

// The complete records of the good trace's first n blocks.
uint64_t recordsBefore(uint16_t block) { return (block - 1) * 400u / 85u; }

struct DamagedTrace {
    const char* name;
    Bytes trace;
    std::string detail;
    uint16_t block = 0;   // of the fault, 0: none
    uint64_t records = 0; // read before it
    bool headerKnown = true;
    bool trailerKnown = true;
    bool goodBlocksBefore = true;  // those of the good trace: the fault's offset is known
};

std::vector<DamagedTrace> damagedTraces() {
    const Bytes good = tracebuild::buildTrace(goodTrace());
    Bytes truncated = good;
    truncated.resize(truncated.size() - 10);
    TraceSpec cut = goodTrace();
    cut.streamLength = static_cast<uint32_t>(good.size() - 203 - 16 - 30);
    Bytes lastBlockCut = tracebuild::buildTrace(cut);
    lastBlockCut.erase(lastBlockCut.end() - 16 - 30, lastBlockCut.end() - 16);
    TraceSpec big = goodTrace(3, 100);
    big.maxBlockLength = 100;
    EventRecord r;
    r.port = 3;
    r.eventType = kEventFrameSent;
    for (const auto& block : tracebuild::splitIntoBlocks(tracebuild::encodeRecord(r, Bytes(1000, 0x45), 8),
                                                         100, BlockMode::Stored)) {
        big.blocks.push_back(block);
    }
    const size_t streamEnd = good.size() - 16;
    return {
        {"cut inside its header", Bytes(good.begin(), good.begin() + 150),
         "150 bytes: too short for a trace (at least 196)", 0, 0, false, false},
        {"bad header FCS", build([](TraceSpec& s) { s.header.badFcs = true; }),
         "header damaged: FCS-16 wrong", 0, 0, false},
        {"wrong version text", build([](TraceSpec& s) { s.header.versionText = "00009.000"; }),
         "format version 9.0 is not one of 5.0 to 8.0"},
        {"subVersion not 01", build([](TraceSpec& s) { s.header.subVersion = 2; }),
         "sub-version 2 is not the known 01"},
        // A trailer refused: the blocks before it are read all the same, in
        // one pass, every one of the 40 records; a cut one loses the last 3.
        {"bad trailer FCS", build([](TraceSpec& s) { s.badTrailerFcs = true; }),
         "trailer checksum wrong: the file may be cut short", 0, 40, true, false},
        {"streamLength too large", build([](TraceSpec& s) { s.streamLength = 1u << 20; }),
         "streamLength 1048576 larger than the " + std::to_string(streamEnd - 203) +
             " bytes between header and trailer", 0, 40},
        {"file truncated (trailer lost)", truncated,
         "trailer checksum wrong: the file may be cut short", 0, 37, true, false},
        {"block out of sequence", build([](TraceSpec& s) { s.blocks[2].number = 4; }),
         "numbered 4 where 3 was due: out of sequence", 3, recordsBefore(3)},
        {"block FCS", build([](TraceSpec& s) { s.blocks[3].fcs = 0x1234; }), "FCS-16 wrong", 4,
         recordsBefore(4)},
        {"oversize block", build([](TraceSpec& s) { s.maxBlockLength = 300; }),
         "400 bytes long, more than maxBlockLength 300", 2, recordsBefore(2)},
        {"corrupt compressed data", build([](TraceSpec& s) { s.blocks[2].cutCompressedTo = 40; }),
         "compressed data damaged: it does not expand", 3, recordsBefore(3)},
        {"block data missing", lastBlockCut, "bytes of data are cut short", 9, recordsBefore(9)},
        {"record larger than the buffers", tracebuild::buildTrace(big),
         "does not fit the 0 bytes left in the work buffer", 6, 3, true, true, false},
        // The stream ends 10 bytes into the last block: 37 records and 65 bytes.
        {"incomplete last record", build([](TraceSpec& s) { s.blocks.back().data.resize(10); }),
         "the record stream ends in an incomplete record of 65 bytes, dropped", 0, 37},
        {"blocks behind the trailer's count", build([](TraceSpec& s) { s.blockCount = 5; }),
         "the block stream ends after block 5 by its trailer (blockCount 5, streamLength ", 0,
         recordsBefore(6)},
    };
}

TEST(OrnInfoDamage, EachClassGivesOrnPcapsCodeAndWhatWasReadBefore) {
    for (const DamagedTrace& c : damagedTraces()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("Trace.orn", c.trace);
        const orninfo::InventoryResult result = orninfo::takeInventory(dir / "Trace.orn");
        ASSERT_EQ(result.status, InventoryStatus::Taken) << result.reason;
        const orninfo::Integrity& integrity = result.inventory.integrity;
        EXPECT_FALSE(integrity.intact);
        EXPECT_EQ(exitCode(integrity.result), runOrnPcap(dir, {"-f4", "-p3"}).exitCode);
        EXPECT_NE(integrity.detail.find(c.detail), std::string::npos) << integrity.detail;
        EXPECT_EQ(integrity.fault.block, c.block);
        if (c.block != 0 && c.goodBlocksBefore) {
            EXPECT_EQ(integrity.fault.offset, offsetOfBlock(c.block));
        }
        EXPECT_EQ(result.inventory.records, c.records);
        EXPECT_EQ(result.inventory.header.known, c.headerKnown);
        EXPECT_EQ(result.inventory.trailer.known, c.trailerKnown);
        const ToolRun run = runOrnInfo(dir, {"Trace.orn"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "orninfo: Trace.orn: " + integrity.detail + "\n");
        EXPECT_NE(run.out.find("Integrity:            DAMAGED: " + integrity.detail),
                  std::string::npos);
        EXPECT_EQ(dir.read("Trace.orn"), c.trace) << "the trace must not change";
    }
}

TEST(OrnInfoDamage, JsonOfADamagedBlockGivesItsPlace) {
    TempDir dir;
    dir.write("Trace.orn", build([](TraceSpec& s) { s.blocks[3].fcs = 0x1234; }));
    const ToolRun run = runOrnInfo(dir, {"--json", "Trace.orn"});
    EXPECT_EQ(run.exitCode, 1);
    const std::string integrity = R"("integrity": {
      "result": 11,
      "message": "INVALID Source file format or BAD Source file version.",
      "detail": "block 4 at offset )" + std::to_string(offsetOfBlock(4)) +
                                  R"(: FCS-16 wrong",
      "block": 4,
      "offset": )" + std::to_string(offsetOfBlock(4)) +
                                  R"(,
      "incompleteLastRecord": false
    })";
    EXPECT_NE(run.out.find(integrity), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(R"("records": )" + std::to_string(recordsBefore(4)) + ","),
              std::string::npos);
    EXPECT_NE(run.out.find(R"("count": 9,
      "stored": 1,
      "compressed": 2,)"),
              std::string::npos);
}

// A trace without blocks is intact, with nothing in it; files that are no
// trace at all get no report.
TEST(OrnInfoDamage, NoBlocksIsIntactAndWhatIsNoTraceGetsNoReport) {
    TempDir dir;
    TraceSpec empty;
    dir.write("empty.orn", tracebuild::buildTrace(empty));
    const orninfo::InventoryResult none = orninfo::takeInventory(dir / "empty.orn");
    ASSERT_EQ(none.status, InventoryStatus::Taken);
    EXPECT_TRUE(none.inventory.integrity.intact);
    EXPECT_TRUE(none.inventory.header.known && none.inventory.trailer.known);
    EXPECT_EQ(none.inventory.records, 0u);
    EXPECT_EQ(runOrnInfo(dir, {"empty.orn"}).exitCode, 0);

    dir.write("blanks.orn", Bytes(195, 0x20));
    dir.write("zeros.orn", Bytes(5000, 0));
    dir.write("nothing.orn", {});
    dir.makeDir("folder.orn");
    const struct {
        const char* name;
        InventoryStatus status;
        const char* reason;
    } cases[] = {
        {"blanks.orn", InventoryStatus::NotATrace, "195 bytes: too short for a trace (at least 196)"},
        {"zeros.orn", InventoryStatus::NotATrace, "not a trace: file type is not TRC"},
        {"nothing.orn", InventoryStatus::NotATrace, "0 bytes: too short for a trace (at least 196)"},
        {"folder.orn", InventoryStatus::CannotOpen, "Is a directory"},
        {"missing.orn", InventoryStatus::CannotOpen, "No such file or directory"},
    };
    for (const auto& c : cases) {
        const orninfo::InventoryResult result = orninfo::takeInventory(dir / c.name);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.reason, c.reason) << c.name;
        const ToolRun run = runOrnInfo(dir, {"--json", c.name});
        EXPECT_EQ(run.exitCode, 2) << c.name;
        EXPECT_EQ(run.out, "[]\n") << c.name;
        EXPECT_EQ(run.err, std::string("orninfo: ") + c.name + ": " + c.reason + "\n");
    }
}

// ---- The command line

TEST(OrnInfoCli, HelpVersionAndUsageErrors) {
    TempDir dir;
    const ToolRun help = runOrnInfo(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: orninfo [options] TRACE...\n")) << help.out;
    EXPECT_EQ(runOrnInfo(dir, {"-h", "nosuch.orn"}).out, help.out);
    const ToolRun version = runOrnInfo(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "orninfo (OrnPcap suite) " ORNPCAP_VERSION "\n");

    const struct {
        std::vector<std::string> args;
        std::string err;
    } errors[] = {
        {{}, "orninfo: no trace given (see orninfo --help)\n"},
        {{"--json"}, "orninfo: no trace given (see orninfo --help)\n"},
        {{"-x", "Trace.orn"}, "orninfo: -x: unknown option (see orninfo --help)\n"},
        {{"--jsonl", "Trace.orn"}, "orninfo: --jsonl: unknown option (see orninfo --help)\n"},
    };
    for (const auto& e : errors) {
        const ToolRun run = runOrnInfo(dir, e.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, e.err);
    }
}

TEST(OrnInfoCli, SeveralTracesOneReportEachAndTheWorstStatus) {
    TempDir dir;
    dir.write("a.orn", tracebuild::readFile(sampleTrace()));
    dir.write("-b.orn", build([](TraceSpec& s) { s.blocks[3].fcs = 0x1234; }));
    const ToolRun both = runOrnInfo(dir, {"a.orn", "--", "-b.orn"});
    EXPECT_EQ(both.exitCode, 1);
    const size_t second = both.out.find("\n\nFile name:            -b.orn\n");
    ASSERT_NE(second, std::string::npos) << both.out;
    EXPECT_TRUE(both.out.starts_with("File name:            a.orn\n"));
    EXPECT_EQ(both.out.find("DAMAGED"), both.out.find("DAMAGED", second));

    const ToolRun json = runOrnInfo(dir, {"--json", "a.orn", "nosuch.orn", "--", "-b.orn"});
    EXPECT_EQ(json.exitCode, 2);
    EXPECT_TRUE(json.out.starts_with("[\n  {\n    \"file\": \"a.orn\",")) << json.out;
    EXPECT_NE(json.out.find("\n  },\n  {\n    \"file\": \"-b.orn\","), std::string::npos);
    EXPECT_TRUE(json.out.ends_with("\n  }\n]\n"));
    EXPECT_EQ(json.err, "orninfo: nosuch.orn: No such file or directory\n"
                        "orninfo: -b.orn: block 4 at offset " +
                            std::to_string(offsetOfBlock(4)) + ": FCS-16 wrong\n");

    const ToolRun good = runOrnInfo(dir, {"a.orn"});
    EXPECT_EQ(good.exitCode, 0);
    EXPECT_EQ(good.err, "") << "no progress line when standard error is no terminal";
}

TEST(OrnInfoManPage, RendersCleanlyWithEveryKeyAndExitStatus) {
    const RenderedPage rendered = renderManPage("orninfo.1");
    if (!rendered.groffInstalled) {
        GTEST_SKIP() << "groff is not installed: manual page check skipped";
    }
    ASSERT_TRUE(rendered.rendered);
    EXPECT_EQ(rendered.warnings, "");
    const std::string& page = rendered.text;
    for (const char* key :
         {"file", "size", "major", "minor", "headerSize", "description", "start", "utcOffset",
          "snapLength", "count", "stored", "compressed", "maxBlockLength", "streamLength",
          "expandedBytes", "records", "firstMs", "lastMs", "result", "message", "detail", "block",
          "offset", "incompleteLastRecord", "lsn", "otherEvents", "badStatus", "capturedBytes",
          "id", "name", "confidence", "command", "--json", "--help", "--version"}) {
        EXPECT_NE(page.find(key), std::string::npos) << key;
    }
    for (const char* status : {"\n       0 ", "\n       1 ", "\n       2 ", "128+signal"}) {
        EXPECT_NE(page.find(status), std::string::npos) << status;
    }
}

}  // namespace
}  // namespace ornpcap::test
