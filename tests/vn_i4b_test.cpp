// The .vn and .i4b outputs byte by byte: traces built in code, converted by the
// built tool, the files read back field by field.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <unistd.h>

#include "ornpcap/naming.hpp"
#include "tests/support/capture_files.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "base/byte_order.hpp"
#include "writers/vn_writer.hpp"

using namespace ornpcap::converter;

namespace ornpcap::test {
namespace {

using Lines = std::vector<std::string>;
constexpr uint8_t kIn = kEventFrameReceived;
constexpr uint8_t kOut = kEventFrameSent;

using Frame = tracebuild::Record;

// A record of port 20; origLength defaults to the payload's length.
Frame frame(uint8_t type, uint32_t timeMs, Bytes payload, uint16_t lsn = 0, int orig = -1) {
    const auto origLength = static_cast<uint16_t>(orig < 0 ? payload.size() : orig);
    return {{.timeMs = timeMs, .port = 20, .lsn = lsn, .eventType = type, .origLength = origLength},
            std::move(payload)};
}

// Records every filter passes over: another port, a bad status, another event type, no payload.
std::vector<Frame> ignoredFrames() {
    std::vector<Frame> frames(4, frame(kIn, 5, {1, 2, 3, 4, 5}, 1));
    frames[0].header.port = 21;
    frames[1].header.eventStatus = 1;
    frames[2].header.eventType = 22;
    frames[3].payload.clear();
    return frames;
}

Bytes traceOf(const std::vector<Frame>& frames, uint16_t snapLength = 2048) {
    tracebuild::HeaderSpec header;
    header.snapLength = snapLength;
    return tracebuild::traceOfRecords(frames, header, 4000);
}

// Writes Trace.orn with the frames and runs the tool on it.
ToolRun convert(const TempDir& dir, const std::vector<Frame>& frames, const Lines& args,
                uint16_t snapLength = 2048, long fileSizeLimit = -1) {
    dir.write("Trace.orn", traceOf(frames, snapLength));
    RunOptions options;
    options.fileSizeLimit = fileSizeLimit;
    return runOrnPcap(dir, args, options);
}


TEST(OrnPcapVnOutput, PacketsFollowTheHeaderBackToBackWithTheIndexLast) {
    TempDir dir;
    ToolRun run =
        convert(dir, {frame(kOut, 123456, {0xFF, 3, 0, 0x21}, 0, 300)}, {"-f2", "-p20", "-lANY"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const Bytes one = dir.read("Trace.vn");
    EXPECT_EQ(one.size(), 192u + 20 + 4 + 4);
    EXPECT_EQ(readVn(one).fault + readVn(one).header, "1 123 2048: 192");
    EXPECT_EQ(readVn(one).packets, Lines{"456 302/4 64 ff030021"});

    // The largest frame a record holds (its actualLength stays at the 65535 a
    // u16 holds), then an earlier record: its timeDelta wraps.
    Bytes big(65535);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    run = convert(dir, {frame(kIn, 7500, big), frame(kOut, 6999, {1, 2, 3})},
                  {"-f2", "-p20", "-l0"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const VnFile two = readVn(dir.read("Trace.vn"));
    EXPECT_EQ(two.fault + two.header, "2 7 2048: 192 65747");
    ASSERT_EQ(two.packets.size(), 2u);
    EXPECT_TRUE(two.packets[0] == "500 65535/65535 0 " + hex(big.data(), big.size()));
    EXPECT_EQ(two.packets[1], "4294967295 5/3 64 010203");
}

TEST(OrnPcapVnOutput, AllModeAppendsAlternatelyToOneFilePerLsn) {
    TempDir dir;
    const ToolRun run = convert(
        dir,
        {frame(kIn, 1000, {0x10}, 0), frame(kOut, 2000, {0x20, 0x21}, 0x1A),
         frame(kOut, 3500, {0x11, 0x12, 0x13}, 0), frame(kIn, 4250, {0x22}, 0x1A)},
        {"-f2", "-p20", "-lALL"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(dir.list(), (Lines{"Trace.orn", "Trace.vn", "Trace_001A.vn"}));
    const VnFile zero = readVn(dir.read("Trace.vn")), other = readVn(dir.read("Trace_001A.vn"));
    EXPECT_EQ(zero.fault + zero.header, "2 1 2048: 192 213");
    EXPECT_EQ(zero.packets, (Lines{"0 3/1 0 10", "2500 5/3 64 111213"}));
    EXPECT_EQ(other.fault + other.header, "2 2 2048: 192 214");
    EXPECT_EQ(other.packets, (Lines{"0 4/2 64 2021", "2250 3/1 0 22"}));
}

TEST(OrnPcapVnOutput, NamesFollowTheLsnModeAndOldOutputsGoFirst) {
    std::vector<Frame> frames = ignoredFrames();
    for (uint8_t lsn : {0, 1, 2}) frames.push_back(frame(kIn, 1000 * lsn, {0x7F, lsn}, lsn));
    const Bytes stale = {'o', 'l', 'd'};  // not a .vn file: a run that reopened it would fail
    const std::vector<std::pair<Lines, std::map<std::string, int>>> cases = {
        {{"-lANY"}, {{"Trace.vn", 3}}},
        {{"-l1"}, {{"Trace_0001.vn", 1}}},
        {{"-lALL"}, {{"Trace.vn", 1}, {"Trace_0001.vn", 1}, {"Trace_0002.vn", 1}}},
        {{"-l1", "-ocapture.PCAP"},
         {{"capture_0001.vn", 1}, {"Trace.vn", -1}, {"Trace_0002.vn", -1}}},
        {{"-lANY", "-ocapture.PCAP"},
         {{"capture.vn", 3}, {"Trace.vn", -1}, {"Trace_0002.vn", -1}}},
    };
    for (const auto& [extra, expected] : cases) {
        SCOPED_TRACE(extra.back());
        TempDir dir;
        for (const char* name : {"Trace.vn", "Trace_0002.vn", "Trace.pcap"}) dir.write(name, stale);
        Lines args = {"-f2", "-p20"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ToolRun run = convert(dir, frames, args);
        EXPECT_EQ(run.exitCode, 0) << run.out;
        EXPECT_NE(run.out.find(" ORN trace records        :          7\r\n"), std::string::npos);
        EXPECT_TRUE(dir.exists("Trace.pcap")) << "only .vn outputs are cleared";
        std::map<std::string, int> found;  // packets per .vn file, -1 for an old one, -2 broken
        for (const std::string& name : dir.list()) {
            if (!name.ends_with(".vn")) continue;
            const VnFile vn = readVn(dir.read(name));
            const int packets = vn.fault.empty() ? static_cast<int>(vn.packets.size()) : -2;
            found[name] = dir.read(name) == stale ? -1 : packets;
        }
        EXPECT_EQ(found, expected);
    }
}

TEST(OrnPcapVnOutput, PppAsyncKeepsShortAndDamagedFramesMarked) {
    TempDir dir;
    // An empty frame alone: discarded, yet its file is made, with no packet.
    ToolRun run = convert(dir, {frame(kIn, 1000, {0x7E, 0x7E})}, {"-f3", "-p20", "-lANY"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(readVn(dir.read("Trace.vn")).fault + readVn(dir.read("Trace.vn")).header, "0 0 0:");

    const Bytes cut = {0x7E, 0x01, 0x7D, 0x22, 0x03};  // three bytes, captured short
    Bytes bad = {0xFF, 0x03, 0xC0, 0x21, 0x01}, good = bad, escaped = {0xFF, 0x61, 0x62};
    for (Bytes* f : {&bad, &good, &escaped}) tracebuild::appendFcs(*f);
    bad.back() ^= 1;
    escaped = tracebuild::stuffAsync(escaped);
    // 7D 7E 41 in place of 61: the escape outlives the dropped flag.
    const auto at = escaped.erase(std::find(escaped.begin() + 1, escaped.end(), 0x61));
    escaped.insert(at, {0x7D, 0x7E, 0x41});
    run = convert(dir,
                  {frame(kIn, 1000, {0x7E, 0x7E}), frame(kIn, 2000, cut, 0, 40),
                   frame(kOut, 3000, cut, 0, 40), frame(kOut, 4000, tracebuild::stuffAsync(bad)),
                   frame(kIn, 5000, tracebuild::stuffAsync(good)), frame(kOut, 6000, escaped)},
                  {"-f3", "-p20", "-lANY"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find(" Output trace records     :          5 ( 2 In, 3 Out)\r\n"
                           " Bad disacarded records   :          1\r\n"),
              std::string::npos) << run.out;
    const VnFile vn = readVn(dir.read("Trace.vn"));
    // startTime comes from the first packet written, not from the discarded record.
    EXPECT_EQ(vn.fault + vn.header, "5 2 2048: 192 215 238 263 288");
    EXPECT_EQ(vn.packets, (Lines{"0 42/3 2 010203", "1000 42/3 66 010203", "2000 7/5 68 ff03c02101",
                                 "3000 7/5 0 ff03c02101", "4000 5/3 64 ff6162"}));
}

// A .vn index holds 32-bit offsets: a file takes no packet that would start
// beyond them. Here the last start is lowered to 192 + 2 packets of 30
// bytes, so that the third packet of LSN 1 has no offset: that file is
// completed with two, header and index agreeing, and LSN 2 goes on.
TEST(OrnPcapVnOutput, AFileTakesNoPacketBeyondWhatItsIndexAddresses) {
    TempDir dir;
    const OutputNaming names(dir / "Trace.pcap", ".vn", Direction::InOut);
    ConversionStats stats;
    const ConverterOptions options{FrameFormat::PppSync, {20, Direction::InOut, LsnMode::All, 0},
                                   {true, 0}, &names};
    VnSink sink(options, stats, 192 + 2 * 30);
    const Bytes headerBytes = tracebuild::buildHeader({});
    TraceHeader header;
    std::copy(headerBytes.begin(), headerBytes.end(), header.bytes.begin());
    const TraceTrailer trailer;
    ASSERT_EQ(sink.start({header, trailer, 8, FileIdentity{}}), ResultCode::Ok);
    for (uint32_t n = 0; n < 6; ++n) {
        for (uint16_t lsn : {1, 2}) {
            if (lsn == 2 && n >= 2) continue;
            Frame f = frame(kIn, 1000 * n, Bytes(10, static_cast<uint8_t>(n)), lsn);
            f.header.dataLength = 10;
            ASSERT_EQ(sink.record(f.header, f.payload.data()), ResultCode::Ok);
        }
    }
    EXPECT_EQ(sink.finish(ResultCode::Ok), ResultCode::CannotWriteTarget);
    ASSERT_EQ(sink.limits().size(), 1u);
    EXPECT_EQ(sink.limits()[0].name, dir / "Trace_0001.vn");
    EXPECT_EQ(std::pair(sink.limits()[0].kept, sink.limits()[0].leftOut), std::pair(uint64_t{3}, uint64_t{3}))
        << "a packet may start at the last offset, none after it";
    const VnFile full = readVn(dir.read("Trace_0001.vn"));
    EXPECT_EQ(full.fault + full.header, "3 0 1600: 192 222 252");
    const VnFile other = readVn(dir.read("Trace_0002.vn"));
    EXPECT_EQ(other.fault + other.header, "2 0 1600: 192 222");
    EXPECT_EQ(stats.outputRecords, 5);
}

// What the clean-up leaves at a derived name is not the run's: it is neither
// taken over nor written through, and the run ends before writing anything.
TEST(OrnPcapVnOutput, NeverTakesOverAFileItDidNotCreate) {
    TempDir dir;
    ASSERT_EQ(convert(dir, {frame(kIn, 100500, {0xAA}, 2)}, {"-f2", "-p20", "-l2"}).exitCode, 0);
    ASSERT_EQ(::rename((dir / "Trace_0002.vn").c_str(), (dir / "kept.vn").c_str()), 0);
    ASSERT_EQ(::symlink("kept.vn", (dir / "Trace_0002.vn").c_str()), 0);
    const Bytes kept = dir.read("kept.vn");
    const ToolRun run = convert(dir, {frame(kIn, 99000, {0xBB}, 2), frame(kOut, 101000, {0xCC}, 3)},
                                {"-f2", "-p20", "-lALL"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.out.ends_with(" \n ERROR 3: file Trace_0002.vn cannot be created !!!\n"))
        << run.out;
    EXPECT_EQ(run.err, "OrnPcap: Trace_0002.vn: is a symbolic link, not a file this run created: "
                       "nothing is written to it (exit 3)\n");
    EXPECT_EQ(dir.read("kept.vn"), kept);
    EXPECT_EQ(dir.list(), (Lines{"Trace.orn", "Trace_0002.vn", "kept.vn"}));
}

TEST(OrnPcapOutputs, WriteFailureEndsWithSixAndLeavesWholeFiles) {
    std::vector<Frame> small, large;
    for (uint8_t i = 0; i < 3; ++i) small.push_back(frame(kIn, i, Bytes(100, i)));
    for (uint8_t i = 0; i < 100; ++i) large.push_back(frame(kOut, i, Bytes(1000, i)));
    // A complete small file is 564 bytes: the limits cut a packet, the index, its last byte.
    const std::vector<std::pair<const std::vector<Frame>*, long>> cases = {
        {&small, 192}, {&small, 400}, {&small, 552}, {&small, 556}, {&small, 563}, {&large, 80000}};
    for (const auto& [frames, limit] : cases) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        TempDir dir;
        const ToolRun run = convert(dir, *frames, {"-f2", "-p20", "-lANY"}, 2048, limit);
        EXPECT_EQ(run.exitCode, 6);
        EXPECT_TRUE(run.out.ends_with(" \nUnable to WRITE Target file.\n")) << run.out;
        EXPECT_EQ(readVn(dir.read("Trace.vn")).fault, "");
    }
    TempDir dir;
    EXPECT_EQ(convert(dir, large, {"-f5", "-p20"}, 2048, 80000).exitCode, 6);
    const size_t size = dir.read("Trace.i4b").size();
    EXPECT_TRUE(size > 0 && size % 1032 == 0) << size << " bytes: not whole records";
}

TEST(OrnPcapOutputs, AreNeverTheTrace) {
    const std::vector<std::pair<Lines, std::string>> runs = {
        {{"-iTrace.vn", "-f2", "-p20", "-lANY"}, "Trace.vn"},
        {{"-iTrace_001A.vn", "-f2", "-p20", "-lALL"}, "Trace_001A.vn"},
        {{"-iTrace.i4b", "-f5", "-p20"}, "Trace.i4b"},
    };
    for (const auto& [args, traceName] : runs) {
        TempDir dir;
        const Bytes trace = traceOf({frame(kIn, 1, {1}), frame(kIn, 2, {2}, 0x1A)});
        dir.write(traceName, trace);
        const ToolRun run = runOrnPcap(dir, args);
        EXPECT_EQ(run.exitCode, 3) << traceName;
        const std::string message = " \n ERROR 3: file " + traceName + " cannot be created !!!\n";
        EXPECT_TRUE(run.out.ends_with(message)) << run.out;
        EXPECT_EQ(dir.read(traceName), trace);
    }
}

// Appends an I4B record: the eight header fields, then the payload.
void addI4b(Bytes& out, std::initializer_list<uint32_t> fields, const Bytes& payload) {
    for (uint32_t field : fields) {
        for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(field >> shift));
    }
    out.insert(out.end(), payload.begin(), payload.end());
}

TEST(OrnPcapI4bOutput, EveryRecordOfThePortGoesIntoANewFile) {
    TempDir dir;
    dir.write("Trace.i4b", Bytes(1000, 0xEE));
    std::vector<Frame> frames = ignoredFrames();
    frames.insert(frames.begin() + 1, frame(kIn, 12345, Bytes(20, 0x11), 0));
    frames.insert(frames.begin() + 3, frame(kOut, 999, Bytes(10, 0x22), 5, 300));
    frames.push_back(frame(kIn, 1000, Bytes(8, 0x33), 0x1A, 256));
    frames.push_back(frame(kOut, 70000, Bytes(4, 0x44), 1, 255));
    const ToolRun run = convert(dir, frames, {"-f5", "-p20", "-l1", "-d0"}, 256);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find(" WARNING: Parameter -l is useless in I4B ISDN conversion.\n"
                           "          The specified value will be ignored.\n"
                           " \n WARNING: Parameter -d is useless in I4B ISDN conversion.\n"),
              std::string::npos) << run.out;
    Bytes expected;
    addI4b(expected, {52, 0, 1, 1, 0, 1, 12, 345000}, Bytes(20, 0x11));
    addI4b(expected, {42, 0, 1, 0, 44, 2, 0, 999000}, Bytes(10, 0x22));
    addI4b(expected, {40, 0, 1, 1, 0, 3, 1, 0}, Bytes(8, 0x33));
    addI4b(expected, {36, 0, 1, 0, 0, 4, 70, 0}, Bytes(4, 0x44));
    EXPECT_EQ(dir.read("Trace.i4b"), expected);
    EXPECT_EQ(dir.list(), (Lines{"Trace.i4b", "Trace.orn"}));
}

TEST(OrnPcapI4bOutput, NoAcceptedRecordLeavesNoFile) {
    TempDir dir;
    dir.write("Trace.i4b", {1});
    dir.write("Trace_0001.i4b", {1});
    const ToolRun run = convert(dir, ignoredFrames(), {"-f5", "-p20"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.ends_with(" \nNO EVENTS WERE FOUND. Target file(s) deleted.\n")) << run.out;
    EXPECT_EQ(dir.list(), Lines{"Trace.orn"});
}

}  // namespace
}  // namespace ornpcap::test
