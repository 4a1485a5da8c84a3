// Realistic traffic: the packets inside every format's frames hold together
// (lengths, checksums, TCP sequence numbers, LAPD counters), sizes, directions
// and times vary, the seed decides, the bytes compress like traffic rather
// than noise, and tshark finds nothing wrong in what OrnPcap makes of them;
// and the mktrace traffic line that puts it into traces.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "tests/support/sanitizer_sample.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "tests/support/trace_records.hpp"
#include "tests/support/tshark.hpp"
#include "tracebuild/scenario.hpp"
#include "tracebuild/traffic.hpp"
#include "base/file_io.hpp"
#include "base/byte_order.hpp"
#include "trace/fcs16.hpp"
#include "frames/pcap_framing.hpp"
#include "frames/ppp_async.hpp"

namespace ornpcap::test {
namespace {

using tracebuild::Record;
using tracebuild::TrafficFormat;
using tracebuild::TrafficSpec;

std::vector<Record> traffic(TrafficFormat format, unsigned long count, uint32_t seed = 11,
                            uint16_t lsns = 1, uint32_t stepMs = 10) {
    std::vector<Record> records;
    const TrafficSpec recipe{format, 1, 0, lsns, count, seed, 0, stepMs};
    tracebuild::generateTraffic(recipe, [&](const EventRecord& r, std::span<const uint8_t> p) {
        records.push_back({r, Bytes(p.begin(), p.end())});
    });
    return records;
}

uint16_t be16(const uint8_t* p) {
    const uint16_t v = loadLe16(p);
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}

uint32_t be32(const uint8_t* p) {
    return (uint32_t{be16(p)} << 16) | be16(p + 2);
}

// The one's complement sum of network-order words is all ones.
bool sumsToOnes(const uint8_t* p, size_t n, uint32_t sum = 0) {
    for (size_t i = 0; i + 1 < n; i += 2) {
        sum += be16(p + i);
    }
    sum += n % 2 == 1 ? uint32_t{p[n - 1]} << 8 : 0;
    while (sum >> 16) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum == 0xFFFF;
}

// What is wrong with an IPv4 packet of `length` bytes (more may follow as
// padding when `padded`): empty when nothing.
std::string ipv4Fault(const uint8_t* p, size_t length, bool padded) {
    if (length < 20 || p[0] != 0x45) {
        return "no IPv4 header";
    }
    const size_t total = be16(p + 2);
    if (total > length || (total < length && !padded)) {
        return "total length " + std::to_string(total) + " of " + std::to_string(length);
    }
    if (!sumsToOnes(p, 20)) {
        return "header checksum";
    }
    const uint8_t protocol = p[9];
    const uint8_t* t = p + 20;
    const size_t n = total - 20;
    const uint32_t pseudo = (be16(p + 12) + be16(p + 14) + be16(p + 16) + be16(p + 18)) + protocol + n;
    const bool good = protocol == 1 ? sumsToOnes(t, n) : sumsToOnes(t, n, pseudo);
    if (protocol == 17 && be16(t + 4) != n) {
        return "UDP length";
    }
    return good ? "" : "checksum of protocol " + std::to_string(protocol);
}

// Where a frame carries an IPv4 packet: offset, or -1 when it carries none.
long ipv4Offset(TrafficFormat format, const Record& r) {
    const Bytes& b = r.payload;
    const auto at = [&](size_t i, std::initializer_list<uint8_t> bytes) {
        return b.size() >= i + bytes.size() && std::equal(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(i));
    };
    switch (format) {
        case TrafficFormat::Ethernet:
            if (r.header.lsn == 1) return 12;
            if (r.header.lsn == 6 && at(18, {0x00, 0x21})) return 20;
            if (r.header.lsn == 7 && at(12, {0x08, 0x00})) return 14;
            if (r.header.lsn == 7 && at(12, {0x81, 0x00}) && at(16, {0x08, 0x00})) return 18;
            return -1;
        case TrafficFormat::PppSync: return at(0, {0xff, 0x03, 0x00, 0x21}) ? 4 : -1;
        case TrafficFormat::RawIp: {
            const auto first = std::find(b.begin(), b.end(), 0x45);
            return at(0, {0x8f}) || first == b.end() ? -1 : first - b.begin();
        }
        case TrafficFormat::InternalUdp: return 26;
        default: return -1;
    }
}

TEST(TracebuildTraffic, PacketsInsideEveryFormatHoldTogether) {
    // ETHERNET twice: a LAN port, and a PPPoE access port.
    const std::pair<TrafficFormat, uint32_t> cases[] = {
        {TrafficFormat::Ethernet, 11}, {TrafficFormat::Ethernet, 10}, {TrafficFormat::PppSync, 11},
        {TrafficFormat::RawIp, 11},    {TrafficFormat::InternalUdp, 11}};
    for (const auto& [format, seed] : cases) {
        size_t checked = 0;
        const std::vector<Record> records = traffic(format, 4000, seed);
        for (size_t i = 0; i < records.size(); ++i) {
            const long offset = ipv4Offset(format, records[i]);
            if (offset < 0) {
                continue;
            }
            const Bytes& b = records[i].payload;
            const bool padded = format == TrafficFormat::Ethernet && b.size() <= 60;
            const std::string fault = ipv4Fault(b.data() + offset, b.size() - offset, padded);
            ASSERT_EQ(fault, "") << "format " << static_cast<int>(format) << ", record " << i;
            ++checked;
        }
        EXPECT_GT(checked, 3000u) << "format " << static_cast<int>(format);
    }
}

// PPP-Async: the same packets behind the framing; about one frame in a
// hundred damaged (bad FCS) and one cut short.
TEST(TracebuildTraffic, PppAsyncFramesCarryTheirFcsSaveAFewDamagedOrCut) {
    const std::vector<Record> records = traffic(TrafficFormat::PppAsync, 4000, 12);
    size_t damaged = 0, cut = 0, checked = 0;
    Bytes frame(4000);
    for (const Record& r : records) {
        ASSERT_TRUE(r.payload.front() == 0x7e || r.header.dataLength < r.header.origLength);
        if (r.header.dataLength < r.header.origLength) {
            ++cut;
            continue;
        }
        ASSERT_EQ(r.payload.back(), 0x7e);
        const uint32_t n = unstuffAsyncFrame(r.payload.data(), r.header.dataLength, frame.data());
        if (!hasGoodFcs(frame.data(), n)) {
            ++damaged;
        } else if (frame[0] == 0xff && frame[1] == 0x03 && frame[2] == 0x00 && frame[3] == 0x21) {
            ASSERT_EQ(ipv4Fault(frame.data() + 4, n - 6, false), "");
            ++checked;
        }
    }
    EXPECT_GT(checked, 3000u);
    EXPECT_TRUE(damaged >= 10 && damaged <= 100) << damaged;
    EXPECT_TRUE(cut >= 10 && cut <= 100) << cut;
}

// Each conversation's segments follow on from one another, however the
// conversations interleave.
TEST(TracebuildTraffic, TcpSequenceNumbersRunOnInEveryConversation) {
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, uint32_t> next;  // src, dst, ports
    size_t followed = 0;
    for (const Record& r : traffic(TrafficFormat::RawIp, 6000, 13)) {
        const long offset = ipv4Offset(TrafficFormat::RawIp, r);
        const uint8_t* ip = r.payload.data() + offset;
        if (offset < 0 || ip[9] != 6) {
            continue;
        }
        const uint8_t* tcp = ip + 20;
        const auto key = std::make_tuple(be32(ip + 12), be32(ip + 16), be32(tcp));
        const uint32_t seq = be32(tcp + 4);
        const uint32_t length = be16(ip + 2) - 20u - (tcp[12] >> 4) * 4u + ((tcp[13] & 0x03) != 0);
        if (next.contains(key) && (tcp[13] & 0x02) == 0) {
            ASSERT_EQ(seq, next[key]);
            ++followed;
        }
        next[key] = seq + length;
    }
    EXPECT_GT(followed, 3000u);
}

// N(S) and N(R) of each terminal's I frames and RR count modulo 128 from the
// last SABME, in each direction.
TEST(TracebuildTraffic, LapdCountersFollowEachTerminal) {
    std::map<uint8_t, std::pair<uint8_t, uint8_t>> sent;  // TEI: by user, by network
    std::map<uint16_t, std::set<uint8_t>> teisOfLsn;
    size_t iFrames = 0;
    for (const Record& r : traffic(TrafficFormat::I4b, 4000, 14, 3)) {
        const Bytes& b = r.payload;
        const uint8_t tei = b[1] >> 1;
        if (tei == 127) {
            continue;
        }
        teisOfLsn[r.header.lsn].insert(tei);
        const bool byUser = r.header.eventType == kEventFrameSent;
        auto& [user, network] = sent[tei];
        if ((b[2] & 0xef) == 0x6f) {  // SABME
            user = network = 0;
        } else if ((b[2] & 1) == 0) {
            ASSERT_EQ(b[2] >> 1, byUser ? user : network);
            ASSERT_EQ(b[3] >> 1, byUser ? network : user);
            (byUser ? user : network) = static_cast<uint8_t>(((byUser ? user : network) + 1) % 128);
            ++iFrames;
        } else if (b[2] == 0x01) {
            ASSERT_EQ(b[3] >> 1, byUser ? network : user);
        }
    }
    EXPECT_GT(iFrames, 1000u);
    ASSERT_EQ(teisOfLsn.size(), 3u);
    for (const auto& [lsn, teis] : teisOfLsn) {
        EXPECT_EQ(teis.size(), 1u) << "lsn " << lsn;
    }
}

struct Spread {
    TrafficFormat format;
    size_t smallestAtMost, largestAtLeast, largestAtMost;
};

TEST(TracebuildTraffic, SizesDirectionsAndTimesVary) {
    const Spread spreads[] = {
        {TrafficFormat::Ethernet, 58, 1400, 1518},  {TrafficFormat::PppSync, 16, 1400, 1504},
        {TrafficFormat::PppAsync, 24, 1400, 3100},  {TrafficFormat::RawIp, 44, 1400, 1504},
        {TrafficFormat::I4b, 3, 30, 264},           {TrafficFormat::InternalUdp, 80, 500, 1526},
    };
    constexpr uint32_t kStep = 20;
    for (const Spread& s : spreads) {
        const std::vector<Record> records = traffic(s.format, 4000, 15, 2, kStep);
        size_t smallest = 65535, largest = 0, out = 0, bursts = 0, pauses = 0;
        for (size_t i = 0; i < records.size(); ++i) {
            const EventRecord& r = records[i].header;
            smallest = std::min<size_t>(smallest, r.dataLength);
            largest = std::max<size_t>(largest, r.dataLength);
            out += r.eventType == kEventFrameSent;
            const uint32_t gap = i == 0 ? kStep : r.timeMs - records[i - 1].header.timeMs;
            ASSERT_LT(gap, 20 * kStep) << "time runs backwards at record " << i;
            bursts += gap == 0;
            pauses += gap >= 2 * kStep;
        }
        const std::string name = "format " + std::to_string(static_cast<int>(s.format));
        EXPECT_LE(smallest, s.smallestAtMost) << name;
        EXPECT_GE(largest, s.largestAtLeast) << name;
        EXPECT_LE(largest, s.largestAtMost) << name;
        EXPECT_TRUE(out > 1000 && out < 3000) << name << ": " << out << " of 4000 sent";
        const double meanGap = double(records.back().header.timeMs) / (records.size() - 1);
        EXPECT_TRUE(meanGap > 0.8 * kStep && meanGap < 1.2 * kStep) << name << ": " << meanGap;
        EXPECT_GT(bursts, 200u) << name;
        EXPECT_GT(pauses, 200u) << name;
    }
}

TEST(TracebuildTraffic, TheSeedDecidesAndTheBytesCompressLikeTraffic) {
    for (int f = 1; f <= 6; ++f) {
        const auto format = static_cast<TrafficFormat>(f);
        const Bytes stream = tracebuild::recordStream(traffic(format, 2000, 16), 8);
        EXPECT_TRUE(stream == tracebuild::recordStream(traffic(format, 2000, 16), 8)) << f;
        EXPECT_FALSE(stream == tracebuild::recordStream(traffic(format, 2000, 17), 8)) << f;
        const double ratio = double(tracebuild::compressNrv2b(stream, 1).size()) / stream.size();
        std::printf("format %d: %zu bytes compress to %.2f\n", f, stream.size(), ratio);
        EXPECT_TRUE(ratio > 0.05 && ratio < 0.8) << "format " << f << ": " << ratio;
    }
}

// What OrnPcap writes of each format, dissected by tshark with checksums
// checked: nothing malformed, no error, but for the frames cut short on purpose.
TEST(TracebuildTraffic, TsharkFindsNothingWrongInTheConvertedFrames) {
    REQUIRE_TSHARK();
    TempDir dir;
    // Fewer frames of each under a sanitizer's runtime.
    const std::string count = " count=" + std::to_string(2500 / kSanitizerStride);
    const std::string scenario = "blocks 16384 compressed\n"
                                 "traffic format=ethernet" + count + " port=1 seed=11\n"  // a LAN
                                 "traffic format=ethernet" + count + " port=11 seed=13\n"  // PPPoE
                                 "traffic format=ppp-sync" + count + " port=2 lsns=2\n"
                                 "traffic format=ppp-async" + count + " port=3\n"
                                 "traffic format=raw-ip" + count + " port=4 lsns=3\n"
                                 "traffic format=i4b" + count + " port=5 lsns=2\n"
                                 "traffic format=internal-udp" + count + " port=6\n";
    dir.write("traffic.scn", Bytes(scenario.begin(), scenario.end()));
    ASSERT_EQ(runIn(dir, MKTRACE_BINARY, {"traffic.scn", "Trace.orn"}).exitCode, 0);
    const std::pair<std::vector<std::string>, std::string> conversions[] = {
        {{"-f1", "-p1", "-olan.pcap"}, "lan.pcap"},
        {{"-f1", "-p11", "-opppoe.pcap"}, "pppoe.pcap"},
        {{"-f2", "-p2", "-lANY", "-d0", "-osync.pcap"}, "sync_In.pcap"},
        {{"-f3", "-p3", "-lANY", "-d1", "-oasync.pcap"}, "async_Out.pcap"},
        {{"-f4", "-p4", "-oraw.pcap"}, "raw.pcap"},
        {{"-f5", "-p5", "-oisdn.pcap"}, "isdn.i4b"},
        {{"-f6", "-p6", "-oudp.pcap"}, "udp.pcap"},
    };
    for (const auto& [options, file] : conversions) {
        std::vector<std::string> args{"-iTrace.orn"};
        args.insert(args.end(), options.begin(), options.end());
        const ToolRun run = runOrnPcap(dir, args);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const TsharkRun t = tshark(dir / file, {"-o", "ip.check_checksum:TRUE", "-o",
                                                "tcp.check_checksum:TRUE", "-o", "udp.check_checksum:TRUE",
                                                "-Y", "(_ws.malformed || _ws.expert.severity == error) && !_ws.short"});
        EXPECT_EQ(t.exitCode, 0) << t.err;
        EXPECT_EQ(t.out, "") << file;
    }
}

// ---- The traffic line of mktrace

tracebuild::ScenarioResult build(const TempDir& dir, const std::string& name, const std::string& text) {
    FileHandle out(std::fopen((dir / name).c_str(), "wb"));
    return tracebuild::runScenario(text, out.get());
}

TEST(TracebuildScenario, TrafficLinesBuildATraceOfEachFormat) {
    const std::string text =
        "blocks 8192 compressed\n"
        "traffic format=ethernet count=300 port=1 lsn=9 seed=3 step=5\n"
        "traffic format=ppp-sync count=300 port=2 lsn=4 lsns=2 time=1000\n"
        "traffic format=ppp-async count=300 port=3 lsns=3\n"
        "traffic format=raw-ip count=300 port=4 lsn=1\n"
        "traffic format=i4b count=300 port=5 lsns=2\n"
        "traffic format=internal-udp count=300 port=6 seed=0x10\n";
    TempDir dir;
    const tracebuild::ScenarioResult result = build(dir, "Trace.orn", text);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.records, 1800u);
    ASSERT_TRUE(build(dir, "Again.orn", text).ok);
    EXPECT_TRUE(dir.read("Trace.orn") == dir.read("Again.orn")) << "the same scenario, another trace";

    const std::vector<Record> records = readTraceRecords(dir / "Trace.orn");
    ASSERT_EQ(records.size(), 1800u);
    std::map<uint16_t, std::set<uint16_t>> lsns;
    std::map<uint16_t, std::set<uint8_t>> types;
    for (size_t i = 0; i < records.size(); ++i) {
        const EventRecord& r = records[i].header;
        lsns[r.port].insert(r.lsn);
        types[r.port].insert(r.eventType);
        if (i % 300 != 0) {
            EXPECT_GE(r.timeMs, records[i - 1].header.timeMs) << "record " << i;
        }
    }
    EXPECT_EQ(records[300].header.timeMs, 1000u);
    EXPECT_EQ(lsns[2], (std::set<uint16_t>{4, 5}));
    EXPECT_EQ(lsns[3], (std::set<uint16_t>{0, 1, 2}));
    EXPECT_EQ(lsns[5], (std::set<uint16_t>{0, 1}));
    for (uint16_t code : lsns[1]) {
        EXPECT_TRUE(code == 1 || code == 2 || code == 5 || code == 6 || code == 7) << code;
    }
    for (uint16_t port = 1; port <= 6; ++port) {
        EXPECT_EQ(types[port], (std::set<uint8_t>{kEventFrameSent, kEventFrameReceived})) << port;
    }
}

TEST(TracebuildScenario, BadTrafficLinesAreNamed) {
    TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"traffic format=token-ring count=1 port=1", "line 1: traffic format is ethernet"},
        {"traffic format=i4b count=1", "line 1: traffic wants format=, port="},
        {"traffic format=i4b count=1 port=70000", "line 1: bad traffic value port=70000"},
        {"traffic format=i4b port=1 size=3", "line 1: unknown traffic word size"},
        {"traffic format=i4b port=1 lsns=0", "line 1: traffic wants format=, port= and lsns >= 1"},
    };
    for (const auto& [line, error] : cases) {
        const tracebuild::ScenarioResult result = build(dir, "Trace.orn", line + "\n");
        EXPECT_FALSE(result.ok) << line;
        EXPECT_TRUE(result.error.starts_with(error)) << line << ": " << result.error;
    }
}

}  // namespace
}  // namespace ornpcap::test
