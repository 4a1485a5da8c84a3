// The pcapng writer's parts: block layouts byte for byte, the packets of the
// formats the pcap framing does not cover, the queue of records waiting for
// their port's format and the one-pass choice of formats in bounded memory,
// and the command line's names.

#include <gtest/gtest.h>

#include <algorithm>

#include "orn2pcapng/format_choice.hpp"
#include "orn2pcapng/held_records.hpp"
#include "orn2pcapng/options.hpp"
#include "tests/support/capture_files.hpp"
#include "tests/support/orn2pcapng_run.hpp"
#include "tracebuild/traffic.hpp"
#include "frames/pcap_framing.hpp"
#include "writers/pcapng_blocks.hpp"
#include "frames/pcapng_framing.hpp"

using namespace ornpcap::orn2pcapng;

namespace ornpcap::test {
namespace {

std::string hexOf(const Bytes& b) { return hex(b.data(), b.size()); }

TEST(WritersPcapngBlocks, InterfaceAndPacketBlocksByteForByte) {
    EXPECT_EQ(hexOf(interfaceDescriptionBlock({9, 1616, "p", ""})),
              "01000000280000000900000050060000020001007000000009000100030000000000000028000000");
    Bytes block(kEpbDataOffset + 5 + kEpbTailRoom, 0xAA);
    for (uint8_t i = 0; i < 5; ++i) block[kEpbDataOffset + i] = uint8_t(i + 1);
    const uint32_t length = completePacketBlock(
        block.data(), {2, 0x0000012345678ABCull, 5, 7, kPacketInbound | kPacketCrcError});
    block.resize(length);
    EXPECT_EQ(hexOf(block), "06000000" "34000000" "02000000" "23010000" "bc8a6745" "05000000"
                            "07000000" "0102030405000000" "0200040001000001" "00000000"
                            "34000000");
}

TEST(WritersPcapngBlocks, SectionAndStatisticsBlocksReadBack) {
    const PcapngBlock section = sectionHeaderBlock({"tool 1.0", "a comment of 21 bytes"});
    const PcapngBlock interface = interfaceDescriptionBlock({1, 0, "port30", "ORN port 30"});
    const PcapngBlock statistics =
        interfaceStatisticsBlock({0, 5000, true, 1000, 5000, 0x100000002ull, 7, 6, "counts"});
    Bytes file(section);
    file.insert(file.end(), interface.begin(), interface.end());
    file.insert(file.end(), statistics.begin(), statistics.end());
    const PcapngRead read = parsePcapng(file);
    ASSERT_EQ(read.fault, "");
    EXPECT_EQ(hexOf(Bytes(section.begin() + 8, section.begin() + 24)),
              "4d3c2b1a01000000ffffffffffffffff");
    EXPECT_EQ(read.application, "tool 1.0");
    EXPECT_EQ(read.comment, "a comment of 21 bytes");
    ASSERT_EQ(read.interfaces.size(), 1u);
    EXPECT_EQ(read.interfaces[0].name, "port30");
    EXPECT_EQ(read.interfaces[0].description, "ORN port 30");
    ASSERT_EQ(read.statistics.size(), 1u);
    const PcapngStatisticsRead& s = read.statistics[0];
    EXPECT_EQ(s.timestamp, 5000u);
    EXPECT_EQ(s.timestampOf(2), 1000u);
    EXPECT_EQ(s.timestampOf(3), 5000u);
    EXPECT_EQ(s.u64(4), 0x100000002ull);
    EXPECT_EQ(s.u64(6), 7u);
    EXPECT_EQ(s.u64(8), 6u);
}

struct Framed {
    bool accepted;
    std::string bytes;
    uint32_t captured, original, flags;
};

Framed frame(FrameFormat format, uint8_t eventType, const Bytes& payload, uint16_t origLength) {
    EventRecord r{};
    r.eventType = eventType;
    r.dataLength = static_cast<uint16_t>(payload.size());
    r.origLength = origLength;
    Bytes out(kPcapngFrameRoom);
    PcapngFrame f;
    const bool accepted = framePcapngRecord(r, payload.data(), format, out.data(), f);
    return {accepted, accepted ? hex(out.data(), f.capturedLength) : "", f.capturedLength,
            f.originalLength, f.errorFlags};
}

TEST(FramesPcapng, LapdFramesGetAPseudoHeaderSayingWhichWayTheyWent) {
    const Framed sent = frame(FrameFormat::I4bIsdn, 20, {0x02, 0x81, 0x7F}, 3);
    EXPECT_EQ(sent.bytes, "000420fd00010000000000000000003002817f");
    EXPECT_EQ(sent.captured, 19u);
    EXPECT_EQ(sent.original, 19u);
    const Framed received = frame(FrameFormat::I4bIsdn, 21, {0x02, 0x81, 0x73}, 40);
    EXPECT_EQ(received.bytes, "000020fd000100000000000000000030028173");
    EXPECT_EQ(received.original, 56u);
    EXPECT_EQ(pcapngLinkOf(FrameFormat::I4bIsdn).linkType, 177);
}

Bytes async(Bytes frame, bool badFcs) {
    tracebuild::appendFcs(frame);
    if (badFcs) frame.back() ^= 1;
    return tracebuild::stuffAsync(frame);
}

// What pcap keeps is written as pcap writes it; what it refuses and the .vn
// output keeps is written as .vn keeps it, flagged.
TEST(FramesPcapng, PppAsyncKeepsWhatTheVnOutputKeepsWithItsFlags) {
    const Bytes lcp = {0xFF, 0x03, 0xC0, 0x21, 0x09, 0x01, 0x00, 0x04};
    const Framed good = frame(FrameFormat::PppAsync, 21, async(lcp, false), 20);
    const Bytes goodPayload = async(lcp, false);
    const Framed good2 = frame(FrameFormat::PppAsync, 21, goodPayload, uint16_t(goodPayload.size()));
    EXPECT_EQ(good2.bytes, "ff03c02109010004");
    EXPECT_EQ(good2.flags, 0u);
    EXPECT_TRUE(good.accepted);  // cut short when captured: kept, no FCS check
    EXPECT_EQ(good.original, 20u);
    const Bytes badPayload = async(lcp, true);
    const Framed bad = frame(FrameFormat::PppAsync, 20, badPayload, uint16_t(badPayload.size()));
    EXPECT_EQ(bad.bytes, "ff03c02109010004");
    EXPECT_EQ(bad.original, 8u);
    EXPECT_EQ(bad.flags, kPacketCrcError);
    const Framed three = frame(FrameFormat::PppAsync, 20, {0x7E, 0xFF, 0x03, 0xC0, 0x7E}, 9);
    EXPECT_EQ(three.bytes, "ff03c0");
    EXPECT_EQ(three.flags, kPacketTooShort);
    EXPECT_FALSE(frame(FrameFormat::PppAsync, 20, {0x7E, 0xFF, 0x7D, 0x7E}, 4).accepted);
}

TEST(Orn2PcapngHeldRecords, GiveBackEveryRecordInOrderAcrossCompaction) {
    HeldRecords held;
    uint32_t pushed = 0, popped = 0;
    auto payloadOf = [](uint32_t n) { return Bytes(100 + n % 7, uint8_t(n)); };
    auto push = [&] {
        EventRecord r{};
        r.timeMs = pushed;
        const Bytes p = payloadOf(pushed++);
        r.dataLength = uint16_t(p.size());
        held.push(r, p.data());
    };
    auto pop = [&] {
        ASSERT_EQ(held.front().timeMs, popped);
        const Bytes expected = payloadOf(popped++);
        ASSERT_EQ(Bytes(held.frontPayload(), held.frontPayload() + expected.size()), expected);
        held.pop();
    };
    for (int i = 0; i < 3000; ++i) push();
    for (int i = 0; i < 2500; ++i) pop();
    for (int i = 0; i < 1000; ++i) push();  // compacts the payloads of the records passed on
    EXPECT_EQ(held.count(), 1500u);
    EXPECT_LT(held.bytes(), 1500 * (107 + HeldRecords::kRecordCost));
    while (!held.empty()) pop();
    EXPECT_EQ(popped, pushed);
}

// A port whose frames are sparse keeps records waiting: over the limit, its
// format is chosen on the frames judged so far; the writer still gets every
// record in trace order.
TEST(Orn2PcapngFormatChoice, DecidesEarlyToBoundTheQueueAndKeepsTraceOrder) {
    std::vector<tracebuild::Record> records;
    tracebuild::generateTraffic({tracebuild::TrafficFormat::Ethernet, 30, 0, 1, 3000, 3, 0, 10},
                                [&](const EventRecord& r, std::span<const uint8_t> p) {
                                    records.push_back({r, Bytes(p.begin(), p.end())});
                                });
    std::vector<tracebuild::Record> lapd;
    tracebuild::generateTraffic({tracebuild::TrafficFormat::I4b, 3, 0, 1, 60, 4, 5, 500},
                                [&](const EventRecord& r, std::span<const uint8_t> p) {
                                    lapd.push_back({r, Bytes(p.begin(), p.end())});
                                });
    records.insert(records.end(), lapd.begin(), lapd.end());
    std::stable_sort(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return a.header.timeMs < b.header.timeMs; });
    TempDir dir;
    dir.write("Trace.orn", tracebuild::traceOfRecords(records));
    PcapngSink writer({dir / "out.pcapng", "Trace.orn", "test"});
    const HoldLimit limit{256 * 1024};
    FormatChoice choice(writer, {}, limit);
    ASSERT_EQ(readTrace({dir / "Trace.orn", 8, 0, nullptr, 1}, choice), ResultCode::Ok);
    const std::vector<PortChoice> ports = choice.ports();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].port, 3);
    EXPECT_EQ(ports[0].format, 5);
    EXPECT_TRUE(ports[0].early);
    EXPECT_LT(ports[0].judged, 60u);
    EXPECT_FALSE(ports[1].early);  // port 30: its first 256 frames came soon
    EXPECT_LE(choice.peakHeld(), limit.bytes + 2048 + HeldRecords::kRecordCost);
    const PcapngRead file = parsePcapng(dir.read("out.pcapng"));
    ASSERT_EQ(file.packets.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        ASSERT_EQ(file.packets[i].timestamp, kDefaultTimeBase * 1000 + records[i].header.timeMs) << i;
    }
}

TEST(Orn2PcapngOptions, NamesOfOutputsAndFormats) {
    EXPECT_EQ(defaultOutputName("Trace.orn"), "Trace.pcapng");
    EXPECT_EQ(defaultOutputName("runs.d/monday"), "runs.d/monday.pcapng");
    EXPECT_EQ(defaultOutputName("a/.orn"), "a/.orn.pcapng");
    EXPECT_EQ(formatByName("PPP-Async"), 3);
    EXPECT_EQ(formatByName("6"), 6);
    EXPECT_EQ(formatByName("7"), 0);
    EXPECT_EQ(formatByName("isdn"), 0);
    Orn2PcapngSettings s;
    EXPECT_EQ(parseCommandLine({"t.orn", "-p", "20=2", "out", "-p21", "--", "-odd"}, s).outcome,
              CommandLine::Usage);  // three names
    s = {};
    ASSERT_EQ(parseCommandLine({"t.orn", "-p", "20=2", "-p21", "--", "-odd"}, s).outcome,
              CommandLine::Run);
    EXPECT_EQ(s.output, "-odd");
    ASSERT_EQ(s.ports.size(), 2u);
    EXPECT_EQ(s.ports[0].format, 2);
    EXPECT_EQ(s.ports[1].port, 21);
    EXPECT_EQ(s.ports[1].format, 0);
}

}  // namespace
}  // namespace ornpcap::test
