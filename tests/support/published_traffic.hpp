#pragma once
// The traffic of one port of every frame format, built from the published
// layouts of the protocols it carries and stored as the device stores it:
//
//   ETHERNET      IEEE 802.3 frames of ARP (RFC 826), IPv4 (RFC 791 with
//                 UDP 768, TCP 793, ICMP 792) and PPPoE (RFC 2516) under
//                 their protocol codes, the EtherType left out; IPv6 (RFC
//                 8200) and IEEE 802.1Q tagged frames whole (code 7); every
//                 frame padded to 60 bytes
//   PPP-Sync      PPP sessions (RFC 1661 LCP, RFC 1334 PAP, RFC 1332 IPCP,
//                 LCP echoes) with address/control and protocol field
//                 compression as negotiated; from their start or joined
//                 midway
//   PPP-Async     the same sessions in RFC 1662 framing: FCS-16, escapes by
//                 the ACCM in force, a flag on both ends of every frame or
//                 one flag shared between two frames
//   Raw-IP        IPv4 behind nothing, behind a link header (Cisco HDLC,
//                 RFC 2427 Frame Relay, RFC 2684 LLC/SNAP, BSD loopback,
//                 two zero bytes), or behind junk of another length each time
//   I4B ISDN      ITU-T Q.921 LAPD: TEI assignment, SABME and UA, Q.931
//                 calls in I frames, RR, DISC
//   Internal-UDP  the device's 26-byte header, then IPv4 and UDP
//
// A quarter of the ports are captured with a snap length of 64 to 256 bytes,
// so that their longer frames are cut. With offload, every IPv4 packet the
// port sends carries a header checksum of zero and the pseudo-header sum as
// its UDP or TCP checksum, as captures taken on a host whose network card
// computes them show.
//
// None of this comes from the recogniser or from tools/tracebuild's traffic
// generator: the recogniser is tested against the layouts, not against itself.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap::test {

struct PortFrame {
    Bytes bytes;            // the record's payload
    uint32_t lineLength = 0;  // the frame's bytes on the line, bytes.size() or more
    uint16_t lsn = 0;       // ETHERNET: the protocol code; else the link
    bool sent = false;      // event type 20, else 21
};

struct PortRecipe {
    FrameFormat format = FrameFormat::Ethernet;
    uint32_t frames = 1;
    uint32_t seed = 0;
    bool offload = false;
};

struct PortTraffic {
    std::string variant;  // what the seed chose, e.g. "ACFC and PFC, joined midway"
    std::vector<PortFrame> frames;
};

PortTraffic publishedTraffic(const PortRecipe& recipe);

// Single packets and frames for tests that build a port by hand.
//
// An IPv4 packet of UDP with `payload` bytes; with offload its header
// checksum is zero.
Bytes ipv4UdpPacket(uint32_t payload, bool offload = false, uint32_t seed = 1);
// The frame in RFC 1662 framing: FCS-16, escapes by the ACCM, the flags asked for.
Bytes rfc1662Frame(Bytes frame, uint32_t accm, bool openingFlag, bool closingFlag);

}  // namespace ornpcap::test
