// orn2pcapng into a pipe, where the snapLen cannot be raised at the end:
// every interface says the longest packet its link type can carry from a
// record, no packet exceeds it, and tcpdump reads every packet from the pipe.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <unistd.h>

#include "tests/support/orn2pcapng_run.hpp"
#include "tests/support/published_traffic.hpp"

namespace ornpcap::test {
namespace {

// Records on ports 1 to 6, one per frame format, of the payload lengths given.
Bytes traceOfLengths(const std::vector<uint32_t>& lengths, uint16_t snapLength) {
    std::vector<tracebuild::Record> records;
    for (uint16_t port = 1; port <= 6; ++port) {
        for (const uint32_t length : lengths) {
            EventRecord r;
            r.timeMs = static_cast<uint32_t>(records.size());
            r.port = port;
            r.lsn = port == 1 ? 1 : 0;  // ETHERNET: IPv4, its EtherType inserted
            r.eventType = records.size() % 2 == 0 ? kEventFrameSent : kEventFrameReceived;
            r.dataLength = r.origLength = static_cast<uint16_t>(length);
            Bytes payload(length, 0x5A);
            if (port == 3) {  // PPP-Async: the record as it came, kept with a CRC error
                payload.front() = payload.back() = 0x7E;
            }
            payload.front() = port == 4 ? 0x45 : payload.front();  // Raw-IP from the first byte
            records.push_back({r, payload});
        }
    }
    tracebuild::HeaderSpec header;
    header.snapLength = snapLength;
    return tracebuild::traceOfRecords(records, header, 60000);
}

std::vector<std::string> everyPortNamed() {
    std::vector<std::string> args;
    for (int port = 1; port <= 6; ++port) {
        args.push_back("-p" + std::to_string(port) + "=" + std::to_string(port));
    }
    return args;
}

TEST(Orn2PcapngPipe, NoPacketExceedsItsInterfacesSnapLength) {
    TempDir dir;
    dir.write("Trace.orn", traceOfLengths({30, 64, 1500, 65535}, 64));
    std::vector<std::string> args = everyPortNamed();
    args.insert(args.end(), {"Trace.orn", "-"});
    const ToolRun run = runOrn2Pcapng(dir, args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const PcapngRead file = parsePcapng(Bytes(run.out.begin(), run.out.end()));
    ASSERT_EQ(file.fault, "");
    ASSERT_EQ(file.interfaces.size(), 6u);
    const std::map<uint16_t, uint32_t> longest = {{1, 65537}, {9, 65535}, {101, 65535},
                                                  {177, 65551}};
    for (const PcapngInterfaceRead& i : file.interfaces) {
        EXPECT_EQ(i.snapLength, longest.at(i.linkType)) << i.name;
    }
    std::map<uint32_t, uint32_t> longestPacket;  // by interface
    for (const PcapngPacketRead& p : file.packets) {
        EXPECT_LE(p.data.size(), file.interfaces[p.interfaceId].snapLength);
        longestPacket[p.interfaceId] = std::max<uint32_t>(longestPacket[p.interfaceId],
                                                          static_cast<uint32_t>(p.data.size()));
    }
    // The bound is the longest packet there is: ETHERNET's and LAPD's reach it.
    for (const auto& [id, packet] : longestPacket) {
        const PcapngInterfaceRead& i = file.interfaces[id];
        if (i.name == "port1" || i.name == "port5-lsn0000") {
            EXPECT_EQ(packet, i.snapLength) << i.name;
        }
    }
    // Into a file the snapLen is raised to the longest packet instead, alike everywhere.
    args.back() = "Trace.pcapng";
    ASSERT_EQ(runOrn2Pcapng(dir, args).exitCode, 0);
    for (const PcapngInterfaceRead& i : parsePcapng(dir.read("Trace.pcapng")).interfaces) {
        EXPECT_EQ(i.snapLength, 65551u) << i.name;
    }
}

// The trace's snapLength is 64, its frames longer: tcpdump read up to the
// first of them (a snapLen of 80) and stopped.
TEST(Orn2PcapngPipe, TcpdumpReadsEveryPacketFromThePipe) {
    if (::access("/usr/bin/tcpdump", X_OK) != 0) {
        GTEST_SKIP() << "tcpdump is not installed: skipped";
    }
    std::vector<tracebuild::Record> records;
    for (uint32_t n = 0; n < 50; ++n) {
        const PortTraffic ethernet = publishedTraffic({FrameFormat::Ethernet, 1, n + 1, false});
        EventRecord r;
        r.timeMs = n * 10;
        r.port = n % 2 == 0 ? 30 : 50;
        r.lsn = ethernet.frames[0].lsn;
        r.eventType = kEventFrameReceived;
        Bytes payload = ethernet.frames[0].bytes;
        if (r.port == 50) {  // Internal-UDP: the device's header, then IPv4
            payload = Bytes(26, 0x01);
            const Bytes ip = ipv4UdpPacket(40 + 20 * n, false, n);
            payload.insert(payload.end(), ip.begin(), ip.end());
        }
        r.dataLength = r.origLength = static_cast<uint16_t>(payload.size());
        records.push_back({r, payload});
    }
    tracebuild::HeaderSpec header;
    header.snapLength = 64;
    TempDir dir;
    dir.write("Trace.orn", tracebuild::traceOfRecords(records, header));
    const ToolRun run = runIn(dir, "/bin/sh",
                              {"-c",
                               "\"$0\" -p30=ethernet -p50=internal-udp Trace.orn - 2>/dev/null | "
                               "/usr/bin/tcpdump -n -r - >packets 2>tcpdump.err",
                               ORN2PCAPNG_BINARY});
    const Bytes err = dir.read("tcpdump.err"), packets = dir.read("packets");
    const std::string said(err.begin(), err.end());
    EXPECT_EQ(run.exitCode, 0) << said;
    EXPECT_NE(said.find("snapshot length 65537"), std::string::npos) << said;
    EXPECT_EQ(std::count(packets.begin(), packets.end(), '\n'), 50) << said;
}

}  // namespace
}  // namespace ornpcap::test
