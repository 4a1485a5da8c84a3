// The frame-format recogniser on ports built by hand, frame by frame, after
// the published layouts: PPP with address/control and protocol field
// compression, link headers in front of Raw-IP, LCP and its kin told by
// their structure, RFC 1662 frames that share a flag, zero IPv4 header
// checksums of checksum offload.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "tests/support/capture_files.hpp"
#include "tests/support/published_traffic.hpp"
#include "frames/format_recogniser.hpp"

namespace ornpcap::test {
namespace {

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// The frames as one port's records, sent and received in turn, each cut to
// `snap` bytes.
FormatGuess recogniseFrames(const std::vector<Bytes>& frames, uint16_t lsn = 0,
                            size_t snap = 65535) {
    FormatRecogniser recogniser;
    EventRecord r;
    r.lsn = lsn;
    for (const Bytes& f : frames) {
        r.eventType = r.eventType == kEventFrameSent ? kEventFrameReceived : kEventFrameSent;
        r.dataLength = static_cast<uint16_t>(std::min(snap, f.size()));
        r.origLength = static_cast<uint16_t>(f.size());
        recogniser.add(r, f.data());
    }
    return recogniser.best();
}

std::vector<Bytes> times(const Bytes& frame, size_t n) { return std::vector<Bytes>(n, frame); }

std::string text(const Bytes& b) { return hex(b.data(), b.size()); }

// What n good fits and nothing else give.
double onlyGoodFits(int n) { return 1 - std::exp2(-n); }

// After LCP has negotiated address/control and protocol field compression
// (RFC 1661 6.5, 6.6) frames begin with the protocol field, one byte where
// its high byte is zero; LCP itself keeps FF 03 and both bytes.
TEST(FramesRecogniserFits, CompressedPppFramesArePppSync) {
    const Bytes ip = ipv4UdpPacket(40);
    const Bytes lcp = {0xff, 0x03, 0xc0, 0x21, 0x01, 0x01, 0x00, 0x0e, 0x07, 0x02,
                       0x08, 0x02, 0x05, 0x06, 0x12, 0x34, 0x56, 0x78};  // PFC, ACFC, magic
    const Bytes ipcp = {0x80, 0x21, 0x01, 0x01, 0x00, 0x0a, 0x03, 0x06, 0x0a, 0x00, 0x00, 0x01};
    const Bytes pap = {0xc0, 0x23, 0x01, 0x01, 0x00, 0x0c,
                       0x03, 'b',  'o',  'b',  0x03, 'p', 'w', 'd'};
    const struct {
        const char* what;
        std::vector<Bytes> frames;
    } cases[] = {
        {"PFC and ACFC", times(cat({{0x21}, ip}), 6)},
        {"ACFC", times(cat({{0x00, 0x21}, ip}), 6)},
        {"PFC", times(cat({{0xff, 0x03, 0x21}, ip}), 6)},
        {"IPCP without FF 03", times(ipcp, 6)},
        {"PAP without FF 03", times(pap, 6)},
        {"LCP, then compressed frames",
         {lcp, cat({{0x21}, ip}), cat({{0x21}, ip}), ipcp, pap, cat({{0x00, 0x21}, ip})}},
    };
    for (const auto& c : cases) {
        const FormatGuess guess = recogniseFrames(c.frames);
        EXPECT_EQ(guess.format, 2) << c.what;
        EXPECT_NEAR(guess.confidence, onlyGoodFits(6), 1e-9) << c.what;
    }
}

// Link headers of other kinds in front of IPv4 are no PPP protocol field.
TEST(FramesRecogniserFits, LinkHeadersInFrontOfIpv4StayRawIp) {
    const Bytes ip = ipv4UdpPacket(40);
    const Bytes headers[] = {
        {},
        {0x00, 0x00},
        {0x02, 0x00, 0x00, 0x00},                          // BSD loopback
        {0x0f, 0x00, 0x08, 0x00},                          // Cisco HDLC
        {0x18, 0x41, 0x03, 0xcc},                          // Frame Relay, NLPID IP
        {0xaa, 0xaa, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00},  // LLC/SNAP
        {0x23},                                            // odd, but no protocol
    };
    for (const Bytes& header : headers) {
        EXPECT_EQ(recogniseFrames(times(cat({header, ip}), 6)).format, 4) << text(header);
    }
}

// LCP and its kin are told by their structure: a code the protocol has, a
// length that matches the frame, options that fill a Configure packet.
TEST(FramesRecogniserFits, ControlPacketsMustHoldTogether) {
    const Bytes overrun = {0xc0, 0x21, 0x01, 0x01, 0x00, 0x0a, 0x01, 0x04, 0x05, 0xdc, 0x05, 0x06};
    const Bytes stray = {0xc0, 0x21, 0x02, 0x01, 0x00, 0x09, 0x01, 0x04, 0x05, 0xdc, 0x00};
    const Bytes longer = {0x80, 0x21, 0x01, 0x01, 0x00, 0x20, 0x03, 0x06, 0x0a, 0x00, 0x00, 0x01};
    const Bytes noCode = {0x80, 0x21, 0x11, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00};
    const Bytes papCode = {0xc0, 0x23, 0x05, 0x01, 0x00, 0x04};
    for (const Bytes& packet : {overrun, stray, longer, noCode, papCode}) {
        EXPECT_EQ(recogniseFrames(times(packet, 10)).format, 0) << text(packet);
        // Behind FF 03 they are PPP all the same, but no good fit.
        const FormatGuess framed = recogniseFrames(times(cat({{0xff, 0x03}, packet}), 10));
        EXPECT_LT(framed.confidence, 0.5) << text(packet);
    }
}

// RFC 1662: a flag may close one frame and open the next, so that a record
// holds it at one end only. Such frames are PPP-Async from the first frame,
// with ACCM 0 and compression too, and frames cut short without a flag
// count for it where they unstuff cleanly.
TEST(FramesRecogniserFits, Rfc1662FramesWithASharedFlagArePppAsync) {
    const Bytes ppp = cat({{0xff, 0x03, 0x00, 0x21}, ipv4UdpPacket(40)});
    const Bytes compressed = cat({{0x21}, ipv4UdpPacket(60, false, 2)});
    for (const Bytes& frame : {ppp, compressed}) {
        for (const bool opening : {false, true}) {
            std::vector<Bytes> frames;
            for (int n = 1; n <= 3; ++n) {
                frames.push_back(rfc1662Frame(frame, 0, opening || n == 1, !opening || n == 1));
                const FormatGuess guess = recogniseFrames(frames);
                EXPECT_EQ(guess.format, 3) << n << " frames, " << text(frame);
                EXPECT_NEAR(guess.confidence, onlyGoodFits(n), 1e-9) << n << " frames";
            }
        }
    }
    std::vector<Bytes> cut;
    for (int n = 0; n < 10; ++n) {
        cut.push_back(rfc1662Frame(cat({{0x21}, ipv4UdpPacket(200, false, n)}), 0, n == 0, true));
    }
    cut.push_back(rfc1662Frame(ppp, 0, false, true));
    EXPECT_EQ(recogniseFrames(cut, 0, 64).format, 3);
}

// Sent from a host that leaves header checksums to its network card, IPv4
// carries a checksum of zero: as good as a right one where every other field
// holds together, in every format that carries IPv4.
TEST(FramesRecogniserFits, ZeroHeaderChecksumsOfOffloadFitWell) {
    const Bytes mac = {0x00, 0x1b, 0x21, 0x3a, 0x4f, 0x10, 0x00, 0x0e, 0x8e, 0x5a, 0x10, 0x01};
    const auto ports = [&](const Bytes& ip) {
        const Bytes pppoe = cat({mac, {0x11, 0x00, 0x12, 0x34}, {0, 0}, {0x00, 0x21}, ip});
        Bytes session = pppoe;
        session[17] = static_cast<uint8_t>(ip.size() + 2);
        session[16] = static_cast<uint8_t>((ip.size() + 2) >> 8);
        return std::vector<std::tuple<int32_t, uint16_t, Bytes>>{
            {1, 1, cat({mac, ip})},
            {1, 6, session},
            {2, 0, cat({{0xff, 0x03, 0x00, 0x21}, ip})},
            {4, 0, ip},
            {6, 0, cat({Bytes(18, 0x11), Bytes(mac.begin(), mac.begin() + 6), {0x08, 0x00}, ip})},
        };
    };
    for (const bool offload : {false, true}) {
        for (const auto& [format, lsn, frame] : ports(ipv4UdpPacket(100, offload))) {
            const FormatGuess guess = recogniseFrames(times(frame, 10), lsn);
            EXPECT_EQ(guess.format, format) << (offload ? "offload, " : "") << text(frame);
            EXPECT_NEAR(guess.confidence, onlyGoodFits(10), 1e-9) << text(frame);
        }
    }
    // A zero checksum is no good fit where another field is off.
    Bytes unknownProtocol = ipv4UdpPacket(100, true);
    unknownProtocol[9] = 253;
    Bytes tooLong = ipv4UdpPacket(100, true);
    tooLong[3] += 10;
    Bytes options = ipv4UdpPacket(100, true);
    options[0] = 0x47;  // a header of 28 bytes: the rest is no option
    Bytes version = ipv4UdpPacket(100, true);
    version[0] = 0x55;
    for (const Bytes& ip : {unknownProtocol, tooLong, options, version}) {
        EXPECT_EQ(recogniseFrames(times(ip, 10)).format, 0) << text(ip);
        EXPECT_EQ(recogniseFrames(times(cat({mac, ip}), 10), 1).format, 0) << text(ip);
    }
}

}  // namespace
}  // namespace ornpcap::test
