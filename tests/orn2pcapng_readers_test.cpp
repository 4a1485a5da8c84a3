// orn2pcapng's output read by outside readers: tshark (direction, time,
// User/Network on the I4B interface), tcpdump (libpcap), scapy, and
// Wireshark's editcap and mergecap. Each test skips where its reader is not
// installed.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <unistd.h>

#include "tests/support/capture_files.hpp"
#include "tests/support/orn2pcapng_run.hpp"
#include "tests/support/trace_records.hpp"
#include "tests/support/tshark.hpp"

namespace ornpcap::test {
namespace {

constexpr const char* kTcpdump = "/usr/bin/tcpdump";
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kEditcap = "/usr/bin/editcap";
constexpr const char* kMergecap = "/usr/bin/mergecap";

bool installed(const char* tool) { return ::access(tool, X_OK) == 0; }

#define REQUIRE_TOOL(tool)                                                      \
    do {                                                                        \
        if (!installed(tool)) GTEST_SKIP() << tool << " is not installed: skipped"; \
    } while (0)

std::string sampleTrace() { return std::string(ORNPCAP_SOURCE_DIR) + "/examples/Trace.orn"; }

// The sample, exported whole into the folder as Trace.pcapng.
PcapngRead exportSample(const TempDir& dir, std::vector<std::string> args = {}) {
    args.insert(args.begin(), {sampleTrace(), dir / "Trace.pcapng"});
    const ToolRun run = runOrn2Pcapng(dir, args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return parsePcapng(dir.read("Trace.pcapng"));
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// Every record of the sample carries a frame that is exported: packet i is
// record i. tshark's direction, time and, on the I4B port, User/Network
// follow the record's event type and time.
TEST(Orn2PcapngReaders, TsharkShowsTheDirectionAndTimeOfEveryRecord) {
    REQUIRE_TSHARK();
    TempDir dir;
    exportSample(dir);
    const auto records = readTraceRecords(sampleTrace());
    const auto shown = tsharkFields(dir / "Trace.pcapng",
                                    {"frame.packet_flags_direction", "frame.time_epoch",
                                     "lapd.direction", "frame.packet_flags_crc_error"});
    ASSERT_EQ(shown.size(), records.size());
    int crcMarked = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const EventRecord& r = records[i].header;
        const bool sent = r.eventType == 20;
        char time[40];
        std::snprintf(time, sizeof time, "%llu.%03u000000",
                      static_cast<unsigned long long>(r.timeMs / 1000 + kDefaultTimeBase),
                      r.timeMs % 1000);
        const std::string lapd = r.port == 3 ? (sent ? "0" : "1") : "";
        SCOPED_TRACE(i);
        EXPECT_EQ(shown[i].substr(0, shown[i].rfind('|')),
                  std::string(sent ? "0x00000002" : "0x00000001") + "|" + time + "|" + lapd);
        crcMarked += shown[i].ends_with("|1") ? 1 : 0;
    }
    EXPECT_EQ(crcMarked, 1);  // the ping with a bad FCS on port 21
    const TsharkRun isdn = tshark(dir / "Trace.pcapng", {"-Y", "frame.interface_name == \"port3-lsn0000\""});
    const auto isdnLines = lines(isdn.out);
    ASSERT_EQ(isdnLines.size(), 12u);
    EXPECT_NE(isdnLines[0].find("User → Remote Network"), std::string::npos) << isdnLines[0];
    EXPECT_NE(isdnLines[1].find("Remote Network → Local User"), std::string::npos) << isdnLines[1];
    EXPECT_EQ(tshark(dir / "Trace.pcapng", {"-Y", "_ws.malformed || _ws.expert.severity >= error"}).out, "");
}

// libpcap reads a pcapng file while every interface has one link type and
// one snapLen: ETHERNET and Internal-UDP ports together, for one.
TEST(Orn2PcapngReaders, TcpdumpReadsAnExportOfOneLinkType) {
    REQUIRE_TOOL(kTcpdump);
    TempDir dir;
    const PcapngRead file = exportSample(dir, {"-p30", "-p50"});
    const ToolRun run = runIn(dir, kTcpdump, {"-n", "-r", "Trace.pcapng"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("link-type EN10MB (Ethernet), snapshot length 1616"), std::string::npos)
        << run.err;
    const auto shown = lines(run.out);
    ASSERT_EQ(shown.size(), file.packets.size());
    EXPECT_EQ(shown.front(), "11:00:01.000000 ARP, Request who-has 192.168.1.1 tell 192.168.1.10, "
                             "length 46");
    EXPECT_NE(shown.back().find("11:00:09.010000 IP 10.1.1.20.514 > 10.1.1.5.514: SYSLOG"),
              std::string::npos)
        << shown.back();
}

TEST(Orn2PcapngReaders, ScapyReadsEveryPacketWithItsLinkTypeTimeAndBytes) {
    REQUIRE_TOOL(kPython);
    TempDir dir;
    const PcapngRead file = exportSample(dir);
    const std::string script =
        "import sys\n"
        "from scapy.utils import RawPcapNgReader\n"
        "for data, meta in RawPcapNgReader(sys.argv[1]):\n"
        "    t = (meta.tshigh << 32) + meta.tslow\n"
        "    print(meta.linktype, meta.tsresol, t, meta.wirelen, data.hex())\n";
    const ToolRun run = runIn(dir, kPython, {"-c", script, "Trace.pcapng"});
    if (run.err.find("No module named 'scapy'") != std::string::npos) {
        GTEST_SKIP() << "scapy is not installed (python3-scapy): skipped";
    }
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> expected;
    for (const PcapngPacketRead& p : file.packets) {
        expected.push_back(std::to_string(file.interfaces[p.interfaceId].linkType) + " 1000 " +
                           std::to_string(p.timestamp) + " " + std::to_string(p.originalLength) +
                           " " + hex(p.data.data(), p.data.size()));
    }
    EXPECT_EQ(lines(run.out), expected);
}

// editcap's names of the link types.
const std::map<uint32_t, std::string> kEncapsulations = {
    {1, "ether"}, {9, "ppp"}, {101, "rawip"}, {177, "linux-lapd"}};

// editcap copies each interface's packets to a pcap file of its own, given
// the interface's link type (-T: editcap 4.0 writes pcap only from files of
// one link type otherwise): the same records, the same bytes.
TEST(Orn2PcapngReaders, EditcapWritesEachInterfaceAsPcap) {
    REQUIRE_TOOL(kEditcap);
    REQUIRE_TSHARK();
    TempDir dir;
    const PcapngRead file = exportSample(dir);
    const auto interfaceOfFrame = tsharkFields(dir / "Trace.pcapng", {"frame.interface_id"});
    ASSERT_EQ(interfaceOfFrame.size(), file.packets.size());
    for (uint32_t id = 0; id < file.interfaces.size(); ++id) {
        std::vector<std::string> args{"-r", "-F", "pcap", "-T",
                                      kEncapsulations.at(file.interfaces[id].linkType),
                                      "Trace.pcapng", "one.pcap"};
        std::vector<std::string> expected;
        for (size_t n = 0; n < file.packets.size(); ++n) {
            const PcapngPacketRead& p = file.packets[n];
            if (interfaceOfFrame[n] != std::to_string(id)) continue;
            args.push_back(std::to_string(n + 1));
            Bytes data = p.data;
            if (file.interfaces[id].linkType == 177) {
                // Wireshark writes the LAPD pseudo-header anew from its packet type and
                // address, with hardware type and address length 0.
                std::fill(data.begin() + 2, data.begin() + 6, 0);
            }
            expected.push_back(std::to_string(p.timestamp / 1000) + "." +
                               std::to_string(p.timestamp % 1000 * 1000) + " " +
                               std::to_string(p.originalLength) + " " + hex(data.data(), data.size()));
        }
        const ToolRun run = runIn(dir, kEditcap, args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const PcapFile pcap = parsePcap(dir.read("one.pcap"));
        std::vector<std::string> copied;
        for (size_t i = 0; i < pcap.records.size(); ++i) {
            const PcapRecordHeader& h = pcap.records[i];
            copied.push_back(std::to_string(h.tsSec) + "." + std::to_string(h.tsUsec) + " " +
                             std::to_string(h.origLen) + " " + hex(pcap.frames[i].data(), h.inclLen));
        }
        SCOPED_TRACE(file.interfaces[id].name);
        EXPECT_TRUE(pcap.whole);
        EXPECT_EQ(loadLe32(&pcap.header[20]), file.interfaces[id].linkType);
        EXPECT_EQ(copied, expected);
    }
}

TEST(Orn2PcapngReaders, MergecapMergesTheExportWithAnotherCapture) {
    REQUIRE_TOOL(kMergecap);
    REQUIRE_TSHARK();
    TempDir dir;
    const PcapngRead file = exportSample(dir);
    ASSERT_EQ(runOrnPcap(dir, {"-i" + sampleTrace(), "-oeth.pcap", "-f1", "-p30"}).exitCode, 0);
    const ToolRun merge = runIn(dir, kMergecap, {"-w", "merged.pcapng", "Trace.pcapng", "eth.pcap"});
    ASSERT_EQ(merge.exitCode, 0) << merge.err;
    const PcapngRead merged = parsePcapng(dir.read("merged.pcapng"));
    EXPECT_EQ(merged.fault, "");
    EXPECT_EQ(merged.packets.size(), file.packets.size() + 12);
    EXPECT_EQ(merged.interfaces.size(), file.interfaces.size() + 1);
    EXPECT_EQ(tshark(dir / "merged.pcapng", {"-Y", "frame.packet_flags_direction == 1"}).exitCode, 0);
}

}  // namespace
}  // namespace ornpcap::test
