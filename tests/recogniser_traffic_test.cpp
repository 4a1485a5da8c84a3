// The frame-format recogniser on traffic built from the published layouts of
// every format's protocols (tests/support/published_traffic.hpp), with and
// without checksum offload: no port is ever named as another format, and
// from 5 frames on at least 98% of the ports of each format are named right.

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/sanitizer_sample.hpp"
#include "tests/support/orn2pcapng_run.hpp"
#include "tests/support/published_traffic.hpp"
#include "tests/support/tshark.hpp"
#include "frames/format_recogniser.hpp"

namespace ornpcap::test {
namespace {

FormatGuess recognise(const std::vector<PortFrame>& frames) {
    FormatRecogniser recogniser;
    EventRecord r;
    for (const PortFrame& f : frames) {
        r.lsn = f.lsn;
        r.eventType = f.sent ? kEventFrameSent : kEventFrameReceived;
        r.dataLength = static_cast<uint16_t>(f.bytes.size());
        r.origLength = static_cast<uint16_t>(f.lineLength);
        recogniser.add(r, f.bytes.data());
    }
    return recogniser.best();
}

struct Tally {
    uint32_t ports = 0, right = 0, unknown = 0, wrong = 0;
    double rate() const { return ports == 0 ? 0 : 100.0 * right / ports; }
};

constexpr FrameFormat kFormats[] = {FrameFormat::Ethernet, FrameFormat::PppSync,
                                    FrameFormat::PppAsync, FrameFormat::RawIp,
                                    FrameFormat::I4bIsdn,  FrameFormat::InternalUdp};

// Per format and offload: 80 ports of 1 to 4 frames, 320 of 5 to 124.
constexpr uint32_t kFewPorts = 80, kManyPorts = 320;

uint32_t framesOfPort(uint32_t n) {
    return n < kFewPorts ? 1 + n % 4 : 5 + (n * 37) % 120;
}

TEST(FramesRecogniserOnPublishedTraffic, NamesEveryPortRightOrNotAtAll) {
    for (const FrameFormat format : kFormats) {
        for (const bool offload : {false, true}) {
            Tally few, many;
            for (uint32_t n = 0; n < kFewPorts + kManyPorts; ++n) {
                if (!sampled(n)) {
                    continue;
                }
                const PortRecipe recipe{format, framesOfPort(n), n + 1, offload};
                const PortTraffic traffic = publishedTraffic(recipe);
                const FormatGuess guess = recognise(traffic.frames);
                Tally& tally = recipe.frames < 5 ? few : many;
                ++tally.ports;
                tally.right += guess.format == static_cast<int32_t>(format);
                tally.unknown += guess.format == 0;
                if (guess.format != 0 && guess.format != static_cast<int32_t>(format)) {
                    ++tally.wrong;
                    ADD_FAILURE() << frameFormatName(format) << " port named " << guess.format
                                  << " (" << guess.confidence << "): " << traffic.variant << ", "
                                  << recipe.frames << " frames, seed " << recipe.seed
                                  << (offload ? ", offload" : "");
                }
            }
            const std::string name(frameFormatName(format));
            std::printf("%-12s %-9s 1-4 frames: %5.1f%% right, %2u unknown, %u wrong; "
                        "5 frames on: %5.1f%% right, %2u unknown, %u wrong\n",
                        name.c_str(), offload ? "offload" : "checksums", few.rate(),
                        few.unknown, few.wrong, many.rate(), many.unknown, many.wrong);
            ::testing::Test::RecordProperty(name + (offload ? " offload" : ""),
                                            std::to_string(many.rate()));
            // The rate of a sample says little; the plain build runs every port.
            if (kSanitizerStride == 1) {
                EXPECT_GE(many.rate(), 98.0) << name << (offload ? ", offload" : "");
            }
        }
    }
}

// The traffic itself, of every format, as tshark dissects it once orn2pcapng
// has written it (with the checksums checked): nothing malformed, no error,
// no FCS-16 wrong. Ports cut by a snap length and ports of checksum offload
// are left out, as tshark rightly complains of those; so are the payloads of
// the services, which are random bytes.
TEST(FramesRecogniserOnPublishedTraffic, TsharkFindsTheTrafficWellFormed) {
    REQUIRE_TSHARK();
    std::vector<tracebuild::Record> records;
    std::vector<std::string> ports;
    uint16_t port = 100;
    for (const FrameFormat format : kFormats) {
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            const PortTraffic traffic = publishedTraffic({format, 60, seed, false});
            if (traffic.variant.find("snap length") != std::string::npos) {
                continue;
            }
            ports.push_back("-p" + std::to_string(++port) + "=" +
                            std::to_string(static_cast<int32_t>(format)));
            for (const PortFrame& f : traffic.frames) {
                EventRecord r;
                r.timeMs = static_cast<uint32_t>(records.size());
                r.port = port;
                r.lsn = f.lsn;
                r.eventType = f.sent ? kEventFrameSent : kEventFrameReceived;
                r.dataLength = r.origLength = static_cast<uint16_t>(f.bytes.size());
                records.push_back({r, f.bytes});
            }
        }
    }
    TempDir dir;
    dir.write("Trace.orn", tracebuild::traceOfRecords(records));
    std::vector<std::string> args = ports;
    args.insert(args.end(), {"Trace.orn", "Trace.pcapng"});
    const ToolRun run = runOrn2Pcapng(dir, args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const PcapngRead file = parsePcapng(dir.read("Trace.pcapng"));
    EXPECT_EQ(file.packets.size(), records.size()) << run.out;
    std::vector<std::string> checks = {"-o", "ip.check_checksum:TRUE", "-o",
                                       "tcp.check_checksum:TRUE", "-o", "udp.check_checksum:TRUE"};
    for (const char* service : {"dns", "ntp", "syslog", "snmp", "sip", "radius", "http", "tls",
                                "ssh", "smtp", "rdp", "dhcpv6", "rtp", "rtcp", "hcrt", "cotp"}) {
        checks.insert(checks.end(), {"--disable-protocol", service});
    }
    checks.insert(checks.end(),
                  {"-Y", "_ws.malformed || _ws.expert.severity == error || "
                         "frame.packet_flags_crc_error == 1 || (ppp && !(lcp || pap || ipcp || "
                         "ip)) || (lapd && lapd.sapi == 0 && lapd.control.ftype == 0 && !q931) || "
                         "(eth && !(ip || ipv6 || arp || pppoed || pppoes || vlan))"});
    const TsharkRun t = tshark(dir / "Trace.pcapng", checks);
    EXPECT_EQ(t.exitCode, 0) << t.err;
    EXPECT_EQ(t.out, "");
}

}  // namespace
}  // namespace ornpcap::test
