// The bundled sample: examples/sample.scn rebuilds examples/Trace.orn, and
// tshark reads every file OrnPcap makes from it and dissects what it holds.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "tests/support/tshark.hpp"

namespace ornpcap::test {
namespace {

const std::string kExamples = std::string(ORNPCAP_SOURCE_DIR) + "/examples/";

TEST(OrnPcapSample, ScenarioRebuildsTheBundledTrace) {
    TempDir dir;
    const ToolRun run = runIn(dir, MKTRACE_BINARY, {kExamples + "sample.scn", "Trace.orn"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Bytes bundled = tracebuild::readFile(kExamples + "Trace.orn");
    ASSERT_FALSE(bundled.empty());
    EXPECT_TRUE(dir.read("Trace.orn") == bundled)
        << "examples/Trace.orn is out of date: mktrace examples/sample.scn examples/Trace.orn";
}

// tshark's frame.encap_type values.
constexpr int kEthernet = 1, kPpp = 4, kRawIp = 7, kIsdn = 17, kPppWithDirection = 19;

// One packet of the output, by number, with its fields as tshark prints them.
struct Probe {
    size_t packet;
    std::string fields;
};

struct ReaderCase {
    std::string name;
    std::vector<std::string> args;   // OrnPcap options after -iTrace.orn
    std::vector<std::string> files;  // every output file; tshark reads the first
    size_t packets;
    int encapType;
    std::vector<std::string> fields;
    std::vector<Probe> probes;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

class OrnPcapSampleReaders : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(OrnPcapSampleReaders, TsharkReadsAndDissectsTheOutput) {
    REQUIRE_TSHARK();
    const ReaderCase& c = GetParam();
    TempDir dir;
    dir.write("Trace.orn", tracebuild::readFile(kExamples + "Trace.orn"));
    std::vector<std::string> args{"-iTrace.orn"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun run = runOrnPcap(dir, args);
    ASSERT_EQ(run.exitCode, 0) << run.out;

    std::vector<std::string> expectedFiles = c.files;
    expectedFiles.push_back("Trace.orn");
    std::sort(expectedFiles.begin(), expectedFiles.end());
    ASSERT_EQ(dir.list(), expectedFiles);

    // Packets that tshark finds malformed are filtered out, so they fail the count.
    std::vector<std::string> targs{"-Y", "!_ws.malformed", "-T", "fields", "-E",
                                   "separator=|", "-e", "frame.encap_type"};
    for (const std::string& f : c.fields) {
        targs.insert(targs.end(), {"-e", f});
    }
    const TsharkRun t = tshark(dir / c.files.front(), targs);
    EXPECT_EQ(t.exitCode, 0) << t.err;
    EXPECT_EQ(t.err.find("tshark:"), std::string::npos) << t.err;
    const std::vector<std::string> packets = lines(t.out);
    ASSERT_EQ(packets.size(), c.packets) << t.out;
    for (const std::string& p : packets) {
        EXPECT_EQ(p.substr(0, p.find('|')), std::to_string(c.encapType)) << p;
    }
    for (const Probe& probe : c.probes) {
        const std::string& p = packets.at(probe.packet - 1);
        EXPECT_EQ(p.substr(p.find('|') + 1), probe.fields) << "packet " << probe.packet;
    }
}

// pcap time stamps: 12:00:00 local, UTC+1, on 9 December 2009 is 1260356400.
// The .vn and .i4b files keep the trace's own clock, seconds since its start.
const std::vector<std::string> kPppFields{"frame.time_epoch", "frame.len", "frame.cap_len",
                                          "frame.protocols", "ip.src"};
const std::vector<std::string> kVnFields{"frame.time_epoch", "frame.p2p_dir", "frame.cap_len",
                                         "frame.protocols", "icmp.seq"};

INSTANTIATE_TEST_SUITE_P(
    Sample, OrnPcapSampleReaders,
    ::testing::Values(
        // The EtherType goes in after the addresses (2 bytes more); code 7 is left whole.
        ReaderCase{.name = "Ethernet", .args = {"-f1", "-p30"}, .files = {"Trace.pcap"},
                   .packets = 12, .encapType = kEthernet,
                   .fields = {"frame.time_epoch", "frame.len", "eth.src", "frame.protocols"},
                   .probes = {{1, "1260356401.000000000|60|00:1b:21:3a:4f:10|eth:ethertype:arp"},
                    {2, "1260356401.001000000|60|00:0e:8e:5a:10:01|eth:ethertype:arp"},
                    {4, "1260356401.011000000|74|00:0e:8e:5a:10:01|eth:ethertype:ip:icmp:data"},
                    {6, "1260356401.530000000|91|00:0e:8e:5a:10:01|eth:ethertype:ip:udp:dns"},
                    {8, "1260356401.662000000|66|00:0e:8e:5a:10:01|eth:ethertype:ip:tcp"},
                    {10, "1260356401.665000000|114|00:1b:21:3a:4f:10|eth:ethertype:ip:tcp:http"},
                    {12, "1260356402.000000000|70|00:1b:21:3a:4f:10|eth:ethertype:ipv6:icmpv6"}}},
        ReaderCase{.name = "PppSyncInAnyLsn", .args = {"-f2", "-p20", "-lANY", "-d0"},
                   .files = {"Trace_In.pcap"}, .packets = 10, .encapType = kPpp,
                   .fields = kPppFields, .probes = {{1, "1260356403.007000000|18|18|ppp:lcp|"},
                    {7, "1260356403.535000000|14|14|ppp:ipcp|"},
                    {9, "1260356404.005000000|66|66|ppp:ip:udp:dns|10.0.2.2"},
                    {10, "1260356404.021000000|64|64|ppp:ip:icmp:data|10.0.1.2"}}},
        ReaderCase{.name = "PppSyncOutLsn1", .args = {"-f2", "-p20", "-l1", "-d1"},
                   .files = {"Trace_0001_Out.pcap"}, .packets = 5, .encapType = kPpp,
                   .fields = kPppFields, .probes = {{3, "1260356403.028000000|14|14|ppp:ipcp|"},
                    {5, "1260356404.000000000|64|64|ppp:ip:icmp:data|10.0.1.1"}}},
        // Unstuffed, FCS removed; the frame with the bad FCS is dropped.
        ReaderCase{.name = "PppAsyncIn", .args = {"-f3", "-p21", "-l0", "-d0"},
                   .files = {"Trace_In.pcap"}, .packets = 5, .encapType = kPpp,
                   .fields = kPppFields, .probes = {{1, "1260356406.007000000|20|20|ppp:lcp|"},
                    {5, "1260356407.156000000|64|64|ppp:ip:icmp:data|192.168.100.2"}}},
        // The frame captured cut short keeps its length on the line.
        ReaderCase{.name = "PppAsyncOut", .args = {"-f3", "-p21", "-lANY", "-d1"},
                   .files = {"Trace_Out.pcap"}, .packets = 6, .encapType = kPpp,
                   .fields = kPppFields, .probes = {{4, "1260356406.042000000|14|14|ppp:ipcp|"},
                    {5, "1260356407.157000000|64|64|ppp:ip:icmp:data|192.168.100.1"},
                    {6, "1260356407.556000000|292|59|ppp:ip:tcp:http|93.184.216.34"}}},
        // The 4-byte HDLC header in front of each packet is gone.
        ReaderCase{.name = "RawIp", .args = {"-f4", "-p40"}, .files = {"Trace.pcap"}, .packets = 4,
                   .encapType = kRawIp,
                   .fields = {"frame.len", "ip.len", "ip.src", "frame.protocols"},
                   .probes = {{1, "60|60|172.16.0.1|raw:ip:icmp:data"},
                    {3, "60|60|172.16.0.2|raw:ip:tcp"}}},
        // A received frame carries the header's address both ways, a sent one zeros.
        ReaderCase{.name = "InternalUdp", .args = {"-f6", "-p50"}, .files = {"Trace.pcap"},
                   .packets = 3, .encapType = kEthernet,
                   .fields = {"frame.len", "eth.dst", "eth.src", "eth.type", "frame.protocols"},
                   .probes = {{1, "90|00:00:00:00:00:00|00:00:00:00:00:00|0x0800|eth:ethertype:ip:udp:ntp"},
                    {2, "90|00:19:b9:0c:21:7e|00:19:b9:0c:21:7e|0x0800|eth:ethertype:ip:udp:ntp"},
                    {3, "107|00:00:00:00:00:00|00:00:00:00:00:00|0x0800|"
                        "eth:ethertype:ip:udp:syslog"}}},
        // frame.p2p_dir: 0 sent, 1 received.
        ReaderCase{.name = "VnPppSyncAnyLsn", .args = {"-f2", "-p20", "-lANY"},
                   .files = {"Trace.vn"}, .packets = 20, .encapType = kPppWithDirection,
                   .fields = kVnFields, .probes = {{1, "3.000000000|0|18|ppp:lcp|"},
                    {2, "3.007000000|1|18|ppp:lcp|"},
                    {14, "3.535000000|1|14|ppp:ipcp|"},
                    {18, "4.005000000|1|66|ppp:ip:udp:dns|"},
                    {20, "4.030000000|0|82|ppp:ip:udp:dns|"}}},
        ReaderCase{.name = "VnPppSyncAllLsn1", .args = {"-f2", "-p20", "-lALL"},
                   .files = {"Trace_0001.vn", "Trace_0002.vn"}, .packets = 10,
                   .encapType = kPppWithDirection, .fields = kVnFields,
                   .probes = {{1, "3.000000000|0|18|ppp:lcp|"},
                    {9, "4.000000000|0|64|ppp:ip:icmp:data|1"},
                    {10, "4.021000000|1|64|ppp:ip:icmp:data|1"}}},
        ReaderCase{.name = "VnPppSyncAllLsn2", .args = {"-f2", "-p20", "-lALL"},
                   .files = {"Trace_0002.vn", "Trace_0001.vn"}, .packets = 10,
                   .encapType = kPppWithDirection, .fields = kVnFields,
                   .probes = {{1, "3.500000000|0|18|ppp:lcp|"},
                    {9, "4.005000000|1|66|ppp:ip:udp:dns|"},
                    {10, "4.030000000|0|82|ppp:ip:udp:dns|"}}},
        // Unlike pcap, .vn keeps the frame with the bad FCS (ping seq 1).
        ReaderCase{.name = "VnPppAsync", .args = {"-f3", "-p21", "-l0"}, .files = {"Trace.vn"},
                   .packets = 12, .encapType = kPppWithDirection, .fields = kVnFields,
                   .probes = {{1, "6.000000000|0|20|ppp:lcp|"},
                    {8, "6.049000000|1|14|ppp:ipcp|"},
                    {9, "6.156000000|1|64|ppp:ip:icmp:data|1"},
                    {11, "7.157000000|0|64|ppp:ip:icmp:data|2"},
                    {12, "7.556000000|0|59|ppp:ip:tcp:http|"}}},
        ReaderCase{.name = "VnPppAsyncAllLsn0", .args = {"-f3", "-p21", "-lALL"},
                   .files = {"Trace.vn"}, .packets = 12, .encapType = kPppWithDirection,
                   .fields = kVnFields, .probes = {{10, "7.156000000|1|64|ppp:ip:icmp:data|2"}}},
        // lapd.direction: 0 user to network (sent), 1 network to user.
        ReaderCase{.name = "I4b", .args = {"-f5", "-p3"}, .files = {"Trace.i4b"}, .packets = 12,
                   .encapType = kIsdn,
                   .fields = {"frame.time_epoch", "lapd.direction", "lapd.sapi", "lapd.tei",
                    "frame.protocols", "q931.message_type"}, .probes = {{1, "10.000000000|0|63|127|isdn:lapd:tei_management|"},
                    {2, "10.030000000|1|63|127|isdn:lapd:tei_management|"},
                    {5, "10.100000000|0|0|64|isdn:lapd:q931|0x05"},
                    {6, "10.130000000|1|0|64|isdn:lapd:q931|0x02"},
                    {7, "10.131000000|0|0|64|isdn:lapd|"},
                    {8, "11.200000000|1|0|64|isdn:lapd:q931|0x01"},
                    {10, "14.600000000|1|0|64|isdn:lapd:q931|0x07"},
                    {11, "14.610000000|0|0|64|isdn:lapd:q931|0x0f"}}}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return info.param.name; });

// The .vn media type carries a 2-byte FCS on the line, which readers take
// off each length on the line: a whole frame reads with its captured length,
// and no packet draws an expert error.
TEST(OrnPcapVnReaders, NoExpertErrorAndWholeFramesKeepTheirLength) {
    REQUIRE_TSHARK();
    const std::vector<std::vector<std::string>> conversions = {
        {"-f2", "-p20", "-lANY"}, {"-f2", "-p20", "-l1"}, {"-f3", "-p21", "-lANY"}};
    for (const std::vector<std::string>& args : conversions) {
        SCOPED_TRACE(args[0] + " " + args[2]);
        TempDir dir;
        dir.write("Trace.orn", tracebuild::readFile(kExamples + "Trace.orn"));
        const ToolRun run = runOrnPcap(dir, args);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const std::string vn = dir / (args[2] == "-l1" ? "Trace_0001.vn" : "Trace.vn");
        const TsharkRun expert = tshark(vn, {"-q", "-z", "expert,error"});
        EXPECT_EQ(expert.exitCode, 0) << expert.err;
        EXPECT_EQ(expert.out.find("Error"), std::string::npos) << expert.out;
        size_t cut = 0;
        for (const std::string& p : tsharkFields(vn, {"frame.len", "frame.cap_len"})) {
            const std::string len = p.substr(0, p.find('|')), cap = p.substr(p.find('|') + 1);
            cut += len != cap;
            EXPECT_GE(std::stoul(len), std::stoul(cap)) << p;
        }
        // The one frame captured cut short is PPP-Async's HTTP response (292 on the line).
        EXPECT_EQ(cut, args[0] == "-f3" ? 1u : 0u);
    }
}

}  // namespace
}  // namespace ornpcap::test
