// The commands orninfo prints for the ports of a trace run as printed, pasted
// into a shell: names with blanks, quotes and other characters the shell
// would take apart, a name that begins with a blank or a dash, and port 0,
// which OrnPcap refuses and orn2pcapng exports.

#include <gtest/gtest.h>

#include <sstream>

#include "orninfo/port_command.hpp"
#include "tests/support/published_traffic.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

TEST(OrnInfoCommand, PortZeroGetsOrn2PcapngsCommandAndNamesThatOrnPcapSkipsOverAreKept) {
    const orninfo::PortCommand zero = orninfo::portCommand("dir/x.orn", 0, 2, {1, 2});
    EXPECT_EQ(zero.command, "orn2pcapng -p0=ppp-sync dir/x.orn x_p0.pcapng");
    EXPECT_EQ(zero.note,
              "OrnPcap cannot extract port 0 (its ports are 1 to 65535): orn2pcapng exports it");
    EXPECT_EQ(orninfo::portCommand("x.orn", 0, 0, {0}).command, "");
    EXPECT_EQ(orninfo::portCommand("x.orn", 1, 4, {0}).note, "");
    const struct {
        const char* trace;
        uint16_t port;
        const char* command;
    } cases[] = {
        {" lead.orn", 3, "OrnPcap '-i./ lead.orn' '-o./ lead_p3.pcap' -f6 -p3"},
        {"-dash.orn", 3, "OrnPcap -i-dash.orn -o-dash_p3.pcap -f6 -p3"},
        {"-dash.orn", 0, "orn2pcapng -p0=internal-udp ./-dash.orn ./-dash_p0.pcapng"},
        {"/abs/ x.orn", 0, "orn2pcapng -p0=internal-udp '/abs/ x.orn' ' x_p0.pcapng'"},
        {"a b/c'd.orn", 0, R"(orn2pcapng -p0=internal-udp 'a b/c'\''d.orn' 'c'\''d_p0.pcapng')"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(orninfo::portCommand(c.trace, c.port, 6, {0}).command, c.command) << c.trace;
    }
}

// Five Raw-IP frames on port 0 and five on port 7.
Bytes rawIpTrace() {
    std::vector<tracebuild::Record> records;
    for (uint16_t port : {0, 7}) {
        for (uint32_t n = 0; n < 5; ++n) {
            const Bytes packet = ipv4UdpPacket(30 + n, false, n + port);
            EventRecord r;
            r.timeMs = static_cast<uint32_t>(records.size()) * 10;
            r.port = port;
            r.eventType = n % 2 == 0 ? kEventFrameSent : kEventFrameReceived;
            r.dataLength = r.origLength = static_cast<uint16_t>(packet.size());
            records.push_back({r, packet});
        }
    }
    return tracebuild::traceOfRecords(records);
}

// The commands of the Ports table: what follows the confidence.
std::vector<std::string> commandsOf(const std::string& report) {
    std::vector<std::string> commands;
    std::istringstream in(report.substr(report.find("\nPorts:\n")));
    for (std::string line; std::getline(in, line);) {
        for (const char* program : {"  OrnPcap ", "  orn2pcapng "}) {
            if (const size_t at = line.find(program); at != std::string::npos) {
                commands.push_back(line.substr(at + 2));
            }
        }
    }
    return commands;
}

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

TEST(OrnInfoCommand, EveryCommandRunsAsPrintedInAShell) {
    const struct {
        std::string trace;
        std::vector<std::string> outputs;  // of port 0, then of port 7
    } cases[] = {
        {"my trace.orn", {"my trace_p0.pcapng", "my trace_p7.pcap"}},
        {" lead.orn", {" lead_p0.pcapng", " lead_p7.pcap"}},
        {"-dash.orn", {"-dash_p0.pcapng", "-dash_p7.pcap"}},
        {"it's \"$HOME\" & *.orn", {"it's \"$HOME\" & *_p0.pcapng", "it's \"$HOME\" & *_p7.pcap"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.trace);
        TempDir dir;
        dir.write(c.trace, rawIpTrace());
        const ToolRun info = runIn(dir, ORNINFO_BINARY, {"--", c.trace});
        ASSERT_EQ(info.exitCode, 0) << info.err;
        EXPECT_NE(info.out.find("\n  (port 0: OrnPcap cannot extract port 0 (its ports are 1 to "
                                "65535): orn2pcapng exports it)\n"),
                  std::string::npos)
            << info.out;
        const std::vector<std::string> commands = commandsOf(info.out);
        ASSERT_EQ(commands.size(), 2u) << info.out;
        for (size_t i = 0; i < commands.size(); ++i) {
            // The programs are found where they were built, the rest is as printed.
            const ToolRun run = runIn(dir, "/bin/sh",
                                      {"-c", "PATH=\"$0:$PATH\"; eval \"$1\"",
                                       folderOf(ORNPCAP_BINARY), commands[i]});
            EXPECT_EQ(run.exitCode, 0) << commands[i] << "\n" << run.out << run.err;
            EXPECT_TRUE(dir.exists(c.outputs[i])) << commands[i];
        }
    }
}

}  // namespace
}  // namespace ornpcap::test
