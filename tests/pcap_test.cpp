// pcap output on real bytes: file and record headers, the time base, the
// framing of each frame format, the record filter and its counters, per-LSN
// files, and what is left on disk when an output cannot be created or written.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>
#include <unistd.h>

#include "ornpcap/naming.hpp"
#include "ornpcap/plan.hpp"
#include "tests/support/capture_files.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "base/byte_order.hpp"
#include "frames/pcap_framing.hpp"
#include "writers/pcap_writer.hpp"

using namespace ornpcap::converter;

namespace ornpcap::test {
namespace {

using tracebuild::HeaderSpec;
using enum FrameFormat;
using Frames = std::vector<Bytes>;

constexpr uint16_t kPort = 3;
constexpr uint8_t kOut = kEventFrameSent;
constexpr uint8_t kIn = kEventFrameReceived;

Bytes seq(size_t n, uint8_t first = 1) {  // first, first + 1, ...
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
    return b;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kIp = cat({0x45, 0x00}, seq(18, 0x50));

using Rec = tracebuild::Record;

Rec rec(uint8_t type, Bytes payload, uint16_t lsn = 0, uint32_t timeMs = 0) {
    EventRecord r;
    r.port = kPort, r.eventType = type, r.lsn = lsn, r.timeMs = timeMs;
    r.dataLength = r.origLength = static_cast<uint16_t>(payload.size());
    return {r, std::move(payload)};
}

Bytes traceOf(const std::vector<Rec>& recs, const HeaderSpec& header = {}) {
    return tracebuild::traceOfRecords(recs, header);
}


Bytes fileHeader(uint32_t snapLen, uint32_t linkType) {
    Bytes h = {0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0};
    h.resize(kPcapFileHeaderSize, 0);
    storeLe32(&h[16], snapLen);
    storeLe32(&h[20], linkType);
    return h;
}

ConversionSettings settingsFor(FrameFormat format, Direction direction = Direction::InOut,
                               LsnMode lsnMode = LsnMode::Any) {
    ConversionSettings s;
    s.format = format, s.direction = direction, s.lsnMode = lsnMode;
    return s;
}

// Runs the pcap converter in this process on a trace written to the folder.
ResultCode convert(const TempDir& dir, const std::vector<Rec>& recs, ConversionSettings s,
                   ConversionStats& stats, const HeaderSpec& header = {}) {
    dir.write("Trace.orn", traceOf(recs, header));
    s.inputName = dir / "Trace.orn";
    s.outputName = dir / "Trace.pcap";
    s.versionMajor = header.versionMajor;
    s.port = kPort;
    const ConversionPlan plan = makePlan(s);
    EXPECT_EQ(plan.converter, Converter::Pcap);
    return runPlan(plan, stats).code;
}

std::string statsBlock(int traceRecords, int output, int in, int out, int discarded, int files) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "\nConversion statistics:\n ORN trace records        : %10d\r\n"
                  " Output trace records     : %10d ( %d In, %d Out)\r\n"
                  " Bad disacarded records   : %10d\r\n Number of generated files: %10d\r\n",
                  traceRecords, output, in, out, discarded, files);
    return text;
}

TEST(WritersPcapTime, RecordTimeIsTraceStartInUtcPlusTimeMs) {
    struct Case {
        uint16_t version, year;
        uint8_t month, day, hour, minute, second;
        std::array<uint8_t, 4> utcOffset;  // sign, h, m, s
        uint32_t timeMs, tsSec, tsUsec;
    };
    const Case cases[] = {
        {7, 2009, 12, 9, 0, 0, 0, {1, 1, 0, 0}, 0, 1260316800, 0},
        {7, 2009, 12, 9, 0, 0, 0, {1, 1, 0, 0}, 1234567, 1260316800 + 1234, 567000},
        {7, 2008, 2, 29, 10, 15, 30, {1, 1, 0, 0}, 0, 1204280130, 0},
        {7, 2000, 3, 1, 0, 0, 0, {}, 0, 951868800, 0},     // 2000 is a leap year,
        {7, 2100, 3, 1, 0, 0, 0, {}, 0, 4107542400u, 0},   // 2100 is not
        {7, 2009, 12, 9, 12, 0, 0, {1, 1, 0, 0}, 0, 1260360000, 0},  // no UTC offset before 8
        {8, 2009, 12, 9, 12, 0, 0, {1, 1, 0, 0}, 0, 1260356400, 0},
        {8, 2009, 12, 9, 12, 0, 0, {0xFF, 5, 0, 0}, 0, 1260360000 + 18000, 0},
        {8, 2009, 12, 9, 12, 0, 0, {1, 0, 30, 15}, 999, 1260360000 - 1815, 999000},
        {8, 2009, 12, 9, 12, 0, 0, {0, 5, 0, 0}, 0, 1260360000, 0},  // sign 0: no correction
        {7, 1970, 1, 1, 0, 0, 0, {}, 1234567, 1234, 567000},
        {7, 1970, 1, 1, 0, 0, 0, {}, 0xFFFFFFFF, 4294967, 295000},
        {7, 1969, 12, 31, 23, 59, 59, {}, 5000, 5, 0},              // before 1970: base 0
        {8, 1969, 12, 31, 23, 59, 59, {1, 1, 0, 0}, 5000, 5u - 3600u, 0},  // wraps
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "v" << c.version << " year " << c.year << " timeMs " << c.timeMs);
        TempDir dir;
        HeaderSpec h;
        h.versionMajor = c.version, h.utcOffset = c.utcOffset;
        h.year = c.year, h.month = c.month, h.day = c.day;
        h.hour = c.hour, h.minute = c.minute, h.second = c.second;
        ConversionStats stats;
        ASSERT_EQ(convert(dir, {rec(kIn, kIp, 0, c.timeMs)}, settingsFor(RawIp), stats, h), ResultCode::Ok);
        const PcapFile f = parsePcap(dir.read("Trace.pcap"));
        ASSERT_EQ(f.records.size(), 1u);
        EXPECT_EQ(f.records[0].tsSec, c.tsSec);
        EXPECT_EQ(f.records[0].tsUsec, c.tsUsec);
    }
}

Bytes withEtherType(const Bytes& p, uint8_t hi, uint8_t lo) {
    return cat(cat(Bytes(p.begin(), p.begin() + 12), {hi, lo}), Bytes(p.begin() + 12, p.end()));
}

TEST(WritersPcapFile, HeaderCarriesSnapLengthAndLinkTypeAndFramesAreNotCut) {
    Bytes ppp = cat({0xFF, 0x03}, seq(40, 0x30));
    tracebuild::appendFcs(ppp);
    struct Case {
        FrameFormat format;
        Rec record;
        uint16_t origLength;
        uint32_t linkType;
        Bytes frame;
        uint32_t origLen;
    };
    const Case cases[] = {
        {Ethernet, rec(kIn, seq(65535), 1), 0, 1, withEtherType(seq(65535), 0x08, 0x00), 65537},
        {PppSync, rec(kIn, kIp), 24, 9, kIp, 24},
        {PppAsync, rec(kIn, tracebuild::stuffAsync(ppp)), 0, 9, Bytes(ppp.begin(), ppp.end() - 2), 42},  // whole
        {RawIp, rec(kIn, cat({0}, kIp)), 25, 101, kIp, 24},
        {InternalUdp, rec(kIn, cat(seq(26), {0xAB})), 30, 1,
         cat(cat(cat(seq(6, 19), seq(6, 19)), {8, 0}), {0xAB}), 18},
    };
    for (Case c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << static_cast<int>(c.format));
        TempDir dir;
        HeaderSpec h;
        h.snapLength = 0x0107;  // below the longest frame, which is not cut to it
        if (c.origLength != 0) c.record.header.origLength = c.origLength;  // 0: as captured
        ConversionStats stats;
        ASSERT_EQ(convert(dir, {c.record}, settingsFor(c.format, Direction::In), stats, h), ResultCode::Ok);
        const PcapFile f = parsePcap(dir.read("Trace_In.pcap"));
        // The header's snapLen is raised to the longest frame where it is shorter.
        const uint32_t longest = static_cast<uint32_t>(c.frame.size());
        EXPECT_EQ(f.header, fileHeader(std::max<uint32_t>(0x0107, longest), c.linkType));
        ASSERT_EQ(f.records.size(), 1u);
        EXPECT_EQ(f.frames[0], c.frame);
        EXPECT_EQ(f.records[0].origLen, c.origLen);
        EXPECT_TRUE(f.whole);
    }
}

struct FrameCase {
    const char* name;
    FrameFormat format;
    uint16_t lsn;  // the protocol code for ETHERNET
    uint8_t eventType;
    Bytes payload;
    uint32_t origLength;
    bool accepted;
    Bytes frame = {};
    uint32_t inclLen = 0, origLen = 0;
};

std::vector<FrameCase> frameCases() {
    const Bytes p60 = seq(60), p11 = seq(11), p12 = seq(12);
    const Bytes udpAddresses = cat(cat(seq(6, 19), seq(6, 19)), {8, 0});  // payload bytes 18..23 twice
    Bytes lcp = {0xFF, 0x03, 0xC0, 0x21, 0x01, 0x01, 0x00, 0x04}, whole = lcp, tiny = {0xFF, 0x03};
    tracebuild::appendFcs(whole);
    tracebuild::appendFcs(tiny);  // 4 bytes with its FCS: the fewest accepted
    const Bytes stuffed = tracebuild::stuffAsync(whole), tinyStuffed = tracebuild::stuffAsync(tiny);
    EXPECT_EQ(Bytes(stuffed.begin(), stuffed.begin() + 6), Bytes({0x7E, 0xFF, 0x7D, 0x23, 0xC0, 0x21}));
    const uint32_t sl = static_cast<uint32_t>(stuffed.size());
    Bytes damaged = stuffed;
    damaged[4] ^= 0x01;
    const Bytes cut(stuffed.begin(), stuffed.begin() + 9);  // ends on an escape
    std::vector<FrameCase> cases = {
        {.name = "IPv4", .format = Ethernet, .lsn = 1, .eventType = kIn, .payload = p60,
         .origLength = 64, .accepted = true, .frame = withEtherType(p60, 0x08, 0x00), .inclLen = 62,
         .origLen = 66},
        {.name = "ARP", .format = Ethernet, .lsn = 2, .eventType = kIn, .payload = p60,
         .origLength = 64, .accepted = true, .frame = withEtherType(p60, 0x08, 0x06), .inclLen = 62,
         .origLen = 66},
        {.name = "PPPoE Discovery", .format = Ethernet, .lsn = 5, .eventType = kOut, .payload = p60,
         .origLength = 64, .accepted = true, .frame = withEtherType(p60, 0x88, 0x63), .inclLen = 62,
         .origLen = 66},
        {.name = "PPPoE Session", .format = Ethernet, .lsn = 6, .eventType = kIn, .payload = p60,
         .origLength = 64, .accepted = true, .frame = withEtherType(p60, 0x88, 0x64), .inclLen = 62,
         .origLen = 66},
        {.name = "complete", .format = Ethernet, .lsn = 7, .eventType = kIn, .payload = p60,
         .origLength = 64, .accepted = true, .frame = p60, .inclLen = 60, .origLen = 64},
        {.name = "11 bytes", .format = Ethernet, .lsn = 1, .eventType = kIn, .payload = p11,
         .origLength = 11, .accepted = true, .frame = p11, .inclLen = 11, .origLen = 11},
        {.name = "12 bytes", .format = Ethernet, .lsn = 6, .eventType = kIn, .payload = p12,
         .origLength = 12, .accepted = true, .frame = withEtherType(p12, 0x88, 0x64), .inclLen = 14,
         .origLen = 14},
        {.name = "sync", .format = PppSync, .lsn = 0, .eventType = kIn, .payload = seq(7),
         .origLength = 9, .accepted = true, .frame = seq(7), .inclLen = 7, .origLen = 9},
        {.name = "async whole", .format = PppAsync, .lsn = 0, .eventType = kIn, .payload = stuffed,
         .origLength = sl, .accepted = true, .frame = lcp, .inclLen = 8, .origLen = 8},
        {.name = "async orig below data", .format = PppAsync, .lsn = 0, .eventType = kIn,
         .payload = stuffed, .origLength = 3, .accepted = true, .frame = lcp, .inclLen = 8,
         .origLen = 8},
        {.name = "async bad FCS", .format = PppAsync, .lsn = 0, .eventType = kIn,
         .payload = damaged, .origLength = sl, .accepted = false},
        {.name = "async 4 bytes cut", .format = PppAsync, .lsn = 0, .eventType = kIn,
         .payload = tinyStuffed, .origLength = 99, .accepted = true, .frame = tiny, .inclLen = 4,
         .origLen = 99},
        {.name = "async 4 bytes whole", .format = PppAsync, .lsn = 0, .eventType = kIn,
         .payload = tinyStuffed, .origLength = uint32_t(tinyStuffed.size()), .accepted = true,
         .frame = {0xFF, 0x03}, .inclLen = 2, .origLen = 2},
        {.name = "async cut short", .format = PppAsync, .lsn = 0, .eventType = kIn, .payload = cut,
         .origLength = sl, .accepted = true, .frame = {0xFF, 0x03, 0xC0, 0x21, 0x01}, .inclLen = 5,
         .origLen = sl},
        {.name = "async escapes", .format = PppAsync, .lsn = 0, .eventType = kIn,
         .payload = {0x7D, 0x7E, 0x5D, 0x7D, 0x7D, 0x23, 0x41, 0x7E, 0x42}, .origLength = 20,
         .accepted = true, .frame = {0x7D, 0x03, 0x41, 0x42}, .inclLen = 4, .origLen = 20},
        {.name = "async flags only", .format = PppAsync, .lsn = 0, .eventType = kIn,
         .payload = Bytes(5, 0x7E), .origLength = 5, .accepted = false},
        {.name = "async 3 left", .format = PppAsync, .lsn = 0, .eventType = kIn,
         .payload = {0x41, 0x7E, 0x42, 0x43}, .origLength = 10, .accepted = false},
        {.name = "raw at 2", .format = RawIp, .lsn = 0, .eventType = kIn,
         .payload = cat({0, 0}, kIp), .origLength = 22, .accepted = true, .frame = kIp,
         .inclLen = 20, .origLen = 20},
        {.name = "raw at 0", .format = RawIp, .lsn = 0, .eventType = kIn, .payload = kIp,
         .origLength = 30, .accepted = true, .frame = kIp, .inclLen = 20, .origLen = 30},
        {.name = "raw none", .format = RawIp, .lsn = 0, .eventType = kIn,
         .payload = Bytes(30, 0x44), .origLength = 30, .accepted = false},
        {.name = "raw orig below cut", .format = RawIp, .lsn = 0, .eventType = kIn,
         .payload = cat({0, 0, 0}, seq(7, 0x45)), .origLength = 2, .accepted = true,
         .frame = seq(7, 0x45), .inclLen = 7, .origLen = 7},
        {.name = "raw orig = cut", .format = RawIp, .lsn = 0, .eventType = kIn,
         .payload = cat({0, 0, 0}, seq(7, 0x45)), .origLength = 3, .accepted = true,
         .frame = seq(7, 0x45), .inclLen = 7, .origLen = 0},
        {.name = "udp 25", .format = InternalUdp, .lsn = 0, .eventType = kIn, .payload = seq(25),
         .origLength = 25, .accepted = false},
        {.name = "udp 26 received", .format = InternalUdp, .lsn = 0, .eventType = kIn,
         .payload = seq(26), .origLength = 40, .accepted = true, .frame = udpAddresses,
         .inclLen = 14, .origLen = 28},
        {.name = "udp 30 sent", .format = InternalUdp, .lsn = 0, .eventType = kOut,
         .payload = seq(30), .origLength = 30, .accepted = true,
         .frame = cat(cat(Bytes(12, 0), {8, 0}), seq(4, 27)), .inclLen = 18, .origLen = 18},
        {.name = "udp orig below cut", .format = InternalUdp, .lsn = 0, .eventType = kIn,
         .payload = seq(26), .origLength = 5, .accepted = true, .frame = udpAddresses,
         .inclLen = 14, .origLen = 14},
        {.name = "I4B", .format = I4bIsdn, .lsn = 0, .eventType = kIn, .payload = kIp,
         .origLength = 20, .accepted = false},
        {.name = "unknown format", .format = static_cast<FrameFormat>(9), .lsn = 0,
         .eventType = kIn, .payload = kIp, .origLength = 20, .accepted = false},
    };
    // Codes are refused before the length is looked at; the code is all 16 bits.
    for (uint16_t code : {0, 3, 4, 8, 0x0101, 0x0207, 0xFFFF}) {
        for (const Bytes& p : {p60, p11}) {
            cases.push_back({.name = "refused", .format = Ethernet, .lsn = code, .eventType = kIn,
                             .payload = p, 
                             .origLength = 64, .accepted = false});
        }
    }
    return cases;
}

TEST(FramesPcap, EachFormatBecomesAFrameOfItsLinkType) {
    std::vector<uint8_t> frame(kPcapFrameBufferSize);
    for (const FrameCase& c : frameCases()) {
        SCOPED_TRACE(testing::Message() << c.name << ", lsn " << c.lsn);
        const Rec r = rec(c.eventType, c.payload, c.lsn);
        PcapRecordHeader h{0, 0, r.header.dataLength, c.origLength};
        std::fill(frame.begin(), frame.end(), 0);
        ASSERT_EQ(framePcapRecord(h, frame.data(), r.header, c.payload.data(), c.format), c.accepted);
        if (!c.accepted) continue;
        EXPECT_EQ(h.inclLen, c.inclLen);
        EXPECT_EQ(h.origLen, c.origLen);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + std::min<size_t>(h.inclLen, frame.size())), c.frame);
    }
}

TEST(OrnPcapPcapRun, CountsOnlyWhatPassesTheFilter) {
    TempDir dir;
    Rec badStatus = rec(kIn, kIp), otherPort = rec(kIn, kIp);
    badStatus.header.eventStatus = 1;
    otherPort.header.port = kPort + 1;
    const Bytes a = cat(kIp, {0xA1}), b = cat(kIp, {0xB2});
    dir.write("Trace.orn", traceOf({rec(kIn, a), badStatus, rec(22, kIp), rec(kOut, {}), otherPort,
                                    rec(kOut, Bytes(30, 0x44)), rec(kOut, b)}));
    const ToolRun run = runOrnPcap(dir, {"-f4", "-p3"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.ends_with(statsBlock(7, 2, 1, 1, 1, 1))) << run.out;
    const PcapFile f = parsePcap(dir.read("Trace.pcap"));
    EXPECT_EQ(f.frames, (Frames{a, b}));
    EXPECT_TRUE(f.whole);
}

TEST(OrnPcapPcapRun, NothingWrittenMeansNoFileAndExitOne) {
    struct Case {
        std::vector<std::string> args;
        std::vector<Rec> recs;
        ConversionSettings settings;
        int discarded;
    };
    const Case cases[] = {
        {{"-f4", "-p3", "-d1"}, {rec(kIn, kIp), rec(kIn, kIp)}, settingsFor(RawIp, Direction::Out), 0},
        {{"-f4", "-p3"}, {rec(kIn, Bytes(9, 0)), rec(kOut, Bytes(9, 1)), rec(kIn, Bytes(9, 2))}, settingsFor(RawIp), 3},
        {{"-p3"}, {rec(kIn, kIp, 3), rec(kIn, kIp, 0x0101)}, settingsFor(Ethernet), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        TempDir dir, again;
        dir.write("Trace.orn", traceOf(c.recs));
        const ToolRun run = runOrnPcap(dir, c.args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.ends_with(" \nNO EVENTS WERE FOUND. Target file(s) deleted.\n")) << run.out;
        EXPECT_EQ(dir.list(), std::vector<std::string>{"Trace.orn"});
        ConversionStats stats;
        EXPECT_EQ(convert(again, c.recs, c.settings, stats), ResultCode::NoEvents);
        EXPECT_EQ(std::tuple(stats.traceRecords, stats.discardedRecords, stats.outputRecords, stats.generatedFiles),
                  std::tuple(static_cast<int>(c.recs.size()), c.discarded, 0, 0));
    }
}

TEST(OrnPcapPcapRun, OneLsnOrOneFilePerLsn) {
    const std::vector<Rec> recs = {rec(kIn, seq(5, 1), 0x0A), rec(kIn, seq(5, 2), 0x0B), rec(kIn, seq(5, 3), 0x0A)};
    struct Case {
        const char* lsnOption;
        std::map<std::string, Frames> files;
        std::string stats;
    };
    const Case cases[] = {
        {"-l0A", {{"Trace_000A_In.pcap", {seq(5, 1), seq(5, 3)}}}, statsBlock(3, 2, 2, 0, 0, 1)},
        {"-lALL", {{"Trace_000A_In.pcap", {seq(5, 1), seq(5, 3)}}, {"Trace_000B_In.pcap", {seq(5, 2)}}},
         statsBlock(3, 3, 3, 0, 0, 2)},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("Trace.orn", traceOf(recs));
        const ToolRun run = runOrnPcap(dir, {"-f2", "-p3", c.lsnOption, "-d0"});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.out.ends_with(c.stats)) << run.out;
        EXPECT_EQ(dir.list().size(), c.files.size() + 1);
        for (const auto& [name, frames] : c.files) {
            const PcapFile f = parsePcap(dir.read(name));
            EXPECT_EQ(f.header, fileHeader(1600, 9)) << name;  // one file header, then records only
            EXPECT_EQ(f.frames, frames) << name;
            EXPECT_TRUE(f.whole) << name;
        }
    }
}

// The names of a run whose clean-up left everything in place.
struct NamesWithoutCleanUp final : OutputNames {
    OutputNaming naming;
    explicit NamesWithoutCleanUp(const std::string& output) : naming(output, "", Direction::In) {}
    std::string nameFor(uint16_t lsn) const override { return naming.nameFor(lsn); }
    std::string namedOutput() const override { return naming.namedOutput(); }
    bool clearOldOutputs(const FileIdentity&, OutputRefusal&) const override { return true; }
    std::vector<std::string> standingOutputs(const OutputLayout& layout) const override {
        return naming.standingOutputs(layout);
    }
};

// A header starting 1970-01-01 00:00:00 at UTC+00:00:01 (time base -1), snapLength 777.
TraceHeader epochHeader() {
    HeaderSpec h;
    h.year = 1970, h.month = 1, h.day = 1, h.hour = 0;
    h.utcOffset = {1, 0, 0, 1};
    h.snapLength = 777;
    const Bytes headerBytes = tracebuild::buildHeader(h);
    TraceHeader header;
    std::copy(headerBytes.begin(), headerBytes.end(), header.bytes.begin());
    return header;
}

TEST(WritersPcapWriter, AllModeNeverAppendsToAFileItDidNotCreate) {
    TempDir dir;
    dir.write("Trace_0001_In.pcap", fileHeader(1600, 9));  // not the run's, and still there
    const NamesWithoutCleanUp names(dir / "Trace.pcap");
    ConversionStats stats;
    PcapSink sink({PppSync, {kPort, Direction::In, LsnMode::All, 0}, {true, 0}, &names}, stats);
    const TraceHeader header = epochHeader();
    const TraceTrailer trailer;
    EXPECT_EQ(sink.start({header, trailer, 8, FileIdentity{}}), ResultCode::CannotCreateTarget);
    EXPECT_EQ(sink.finish(ResultCode::CannotCreateTarget), ResultCode::CannotCreateTarget);
    EXPECT_EQ(sink.failure().name, dir / "Trace_0001_In.pcap");
    EXPECT_EQ(dir.read("Trace_0001_In.pcap"), fileHeader(1600, 9));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"Trace_0001_In.pcap"});
}

TEST(WritersPcapWriter, AllModeFilesCarryTheTimeBaseAndSnapLength) {
    TempDir dir;
    const NamesWithoutCleanUp names(dir / "Trace.pcap");
    ConversionStats stats;
    PcapSink sink({PppSync, {kPort, Direction::In, LsnMode::All, 0}, {true, 0}, &names}, stats);
    const TraceHeader header = epochHeader();
    const TraceTrailer trailer;
    ASSERT_EQ(sink.start({header, trailer, 8, FileIdentity{}}), ResultCode::Ok);
    for (const Rec& r : {rec(kIn, seq(4), 1, 2500), rec(kIn, seq(3), 2, 0)}) {
        ASSERT_EQ(sink.record(r.header, r.payload.data()), ResultCode::Ok);
    }
    ASSERT_EQ(sink.finish(ResultCode::Ok), ResultCode::Ok);
    const PcapFile first = parsePcap(dir.read("Trace_0001_In.pcap"));
    const PcapFile second = parsePcap(dir.read("Trace_0002_In.pcap"));
    EXPECT_EQ(first.header, fileHeader(777, 9));
    EXPECT_EQ(second.header, fileHeader(777, 9));
    EXPECT_EQ(first.frames, Frames{seq(4)});
    EXPECT_EQ(second.frames, Frames{seq(3)});
    ASSERT_TRUE(first.whole && second.whole);
    EXPECT_EQ(std::tuple(first.records[0].tsSec, first.records[0].tsUsec, second.records[0].tsSec),
              std::tuple(1u, 500000u, 0xFFFFFFFFu));
    EXPECT_EQ(std::tuple(stats.generatedFiles, stats.outputRecords), std::tuple(2, 2));
}

TEST(OrnPcapPcapRun, OutputThatCannotBeCreatedLeavesTheTraceAlone) {
    enum Prepare { Nothing, Directory, Symlink, Hardlink };
    struct Case {
        std::vector<std::string> args;
        Prepare prepare;
        std::string name;  // the name prepared, and the one reported
        int exitCode;
    };
    const Case cases[] = {
        {{"-f4", "-oTrace.pcap"}, Nothing, "Trace.pcap", 3},
        {{"-f4", "-oTrace.pcap", "-lALL"}, Nothing, "Trace.pcap", 3},
        {{"-f4", "-oLink.pcap"}, Symlink, "Link.pcap", 3},
        {{"-f4", "-oHard.pcap"}, Hardlink, "Hard.pcap", 3},
        {{"-f2", "-oOut.pcap", "-d0", "-l1"}, Directory, "Out_0001_In.pcap", 3},
        {{"-f2", "-oOut.pcap", "-d0", "-lALL"}, Directory, "Out_0001_In.pcap", 2},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name + " " + c.args.back());
        TempDir dir;
        const Bytes trace = traceOf({rec(kIn, kIp, 0), rec(kIn, kIp, 1)});
        dir.write("Trace.pcap", trace);
        if (c.prepare == Directory) dir.makeDir(c.name);
        const std::string other = dir / c.name;
        ASSERT_EQ(c.prepare == Symlink    ? ::symlink("Trace.pcap", other.c_str())
                  : c.prepare == Hardlink ? ::link((dir / "Trace.pcap").c_str(), other.c_str())
                                          : 0, 0);
        c.args.insert(c.args.end(), {"-iTrace.pcap", "-p3"});
        const ToolRun run = runOrnPcap(dir, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.out.ends_with(c.exitCode == 2 ? " \n ERROR 2: file Trace.pcap cannot be opened !!!\n"
                                                      : " \n ERROR 3: file " + c.name + " cannot be created !!!\n"))
            << run.out;
        EXPECT_EQ(dir.read("Trace.pcap"), trace);
    }
}

TEST(OrnPcapPcapRun, WriteFailureEndsWithSixAndLeavesWholeRecords) {
    std::vector<Rec> recs;
    for (int i = 0; i < 100; ++i) recs.push_back(rec(kIn, cat({0x45}, Bytes(999, uint8_t(i)))));
    for (long limit : {500L, 80000L}) {  // 24 + 100 x 1016 bytes would be written
        SCOPED_TRACE(limit);
        TempDir dir;
        dir.write("Trace.orn", traceOf(recs));
        RunOptions options;
        options.fileSizeLimit = limit;
        const ToolRun run = runOrnPcap(dir, {"-f4", "-p3"}, options);
        EXPECT_EQ(run.exitCode, 6);
        EXPECT_TRUE(run.out.ends_with(" \nUnable to WRITE Target file.\n")) << run.out;
        const PcapFile f = parsePcap(dir.read("Trace.pcap"));
        EXPECT_EQ(f.header, fileHeader(1600, 101));
        EXPECT_TRUE(f.whole);
        EXPECT_EQ(f.frames.size(), static_cast<size_t>(limit - 24) / 1016);  // every record that fitted
        for (size_t i = 0; i < f.frames.size(); ++i) EXPECT_EQ(f.frames[i], recs[i].payload) << i;
    }
}

}  // namespace
}  // namespace ornpcap::test
