#include "tests/support/published_traffic.hpp"

#include <algorithm>
#include <array>

namespace ornpcap::test {

namespace {

// splitmix64: every port its own reproducible stream.
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 16);
    }
    uint32_t below(uint32_t n) { return next() % n; }
    bool percent(uint32_t p) { return below(100) < p; }
    uint8_t byte() { return static_cast<uint8_t>(next()); }
    Bytes bytes(size_t n) {
        Bytes b(n);
        for (uint8_t& x : b) x = byte();
        return b;
    }
    // A payload length: mostly small, some mid-sized, a few up to `most`.
    uint32_t length(uint32_t most) {
        const uint32_t kind = below(10);
        const uint32_t n = kind < 5 ? below(64) : kind < 8 ? 64 + below(448) : below(most + 1);
        return std::min(n, most);
    }

private:
    uint64_t state_;
};

// ---- Bytes in network order

void put8(Bytes& b, uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
void put16(Bytes& b, uint32_t v) {
    put8(b, v >> 8);
    put8(b, v);
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v >> 16);
    put16(b, v);
}
void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
void set16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

// RFC 1071: the sum of 16-bit words, an odd byte padded with zero.
uint32_t wordSum(const uint8_t* p, size_t n, uint32_t sum = 0) {
    for (size_t i = 0; i + 1 < n; i += 2) sum += uint32_t{p[i]} << 8 | p[i + 1];
    if (n % 2 == 1) sum += uint32_t{p[n - 1]} << 8;
    return sum;
}
uint16_t folded(uint32_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

// ---- IPv4 (RFC 791) with UDP (RFC 768), TCP (RFC 793), ICMP (RFC 792)

constexpr uint8_t kIcmp = 1, kTcp = 6, kUdp = 17;

struct Ipv4Path {
    uint32_t local = 0, remote = 0;
    uint16_t id = 0;
    uint32_t tcpSeq = 0, tcpAck = 0;
    bool offload = false;
};

Bytes udpSegment(Random& r, uint16_t port, uint32_t length) {
    Bytes s;
    const bool toService = r.percent(50);
    const uint16_t ephemeral = static_cast<uint16_t>(32768 + r.below(28000));
    put16(s, toService ? ephemeral : port);
    put16(s, toService ? port : ephemeral);
    put16(s, 8 + length);
    put16(s, 0);  // checksum, filled in with the pseudo-header
    append(s, r.bytes(length));
    return s;
}

Bytes tcpSegment(Random& r, Ipv4Path& path, uint32_t length) {
    static constexpr uint16_t kPorts[] = {80, 443, 22, 25, 3389};
    Bytes s;
    const uint16_t service = kPorts[r.below(5)];
    put16(s, 49152 + r.below(16000));
    put16(s, service);
    put32(s, path.tcpSeq += length);
    put32(s, path.tcpAck += r.below(1400));
    const bool options = r.percent(30);
    put8(s, (options ? 8 : 5) << 4);
    put8(s, length == 0 ? (r.percent(50) ? 0x12 : 0x10) : 0x18);  // SYN-ACK or ACK, PSH-ACK
    put16(s, 64240 - r.below(2000));
    put32(s, 0);  // checksum, urgent pointer
    if (options) {  // MSS 1460, NOP, window scale 7, NOP, NOP, SACK permitted
        append(s, {0x02, 0x04, 0x05, 0xb4, 0x01, 0x03, 0x03, 0x07, 0x01, 0x01, 0x04, 0x02});
    }
    append(s, r.bytes(length));
    return s;
}

Bytes icmpEcho(Random& r, uint32_t length) {
    Bytes s;
    put8(s, r.percent(50) ? 8 : 0);
    put8(s, 0);
    put16(s, 0);
    put16(s, 1 + r.below(4));
    put16(s, r.below(65536));
    append(s, r.bytes(length));
    set16(s, 2, static_cast<uint16_t>(~folded(wordSum(s.data(), s.size()))));
    return s;
}

// The header in front of a segment, and the checksums of both.
Bytes ipv4Of(Random& r, Ipv4Path& path, bool sent, uint8_t protocol, Bytes segment) {
    const bool offloaded = sent && path.offload;
    Bytes packet;
    put8(packet, 0x45);
    put8(packet, r.percent(80) ? 0 : 0xb8);  // DSCP
    put16(packet, 20 + segment.size());
    put16(packet, ++path.id);
    put16(packet, protocol == kTcp ? 0x4000 : 0);  // don't fragment
    put8(packet, sent ? 64 : 40 + r.below(88));
    put8(packet, protocol);
    put16(packet, 0);
    put32(packet, sent ? path.local : path.remote);
    put32(packet, sent ? path.remote : path.local);
    if (!offloaded) {
        set16(packet, 10, static_cast<uint16_t>(~folded(wordSum(packet.data(), 20))));
    }
    if (protocol != kIcmp) {
        // The pseudo-header: addresses, protocol, segment length.
        const uint32_t pseudo = wordSum(packet.data() + 12, 8, protocol + uint32_t(segment.size()));
        const size_t at = protocol == kTcp ? 16 : 6;
        const uint16_t sum = offloaded ? folded(pseudo)
                                       : static_cast<uint16_t>(~folded(
                                             wordSum(segment.data(), segment.size(), pseudo)));
        set16(segment, at, sum == 0 && protocol == kUdp ? 0xFFFF : sum);
    }
    append(packet, segment);
    return packet;
}

// An IPv4 packet of at most mtu bytes, sent by the port or received.
Bytes ipv4Packet(Random& r, Ipv4Path& path, bool sent, uint32_t mtu, uint8_t protocol = 0) {
    if (protocol == 0) {
        const uint32_t k = r.below(20);
        protocol = k < 10 ? kTcp : k < 17 ? kUdp : kIcmp;
    }
    const uint32_t room = mtu - 20 - (protocol == kTcp ? 40 : 8);
    Bytes segment;
    if (protocol == kTcp) {
        segment = tcpSegment(r, path, r.percent(30) ? 0 : r.length(room));
    } else if (protocol == kUdp) {
        static constexpr uint16_t kServices[] = {53, 123, 514, 161, 5060, 1812};
        segment = udpSegment(r, kServices[r.below(6)], r.length(room));
    } else {
        segment = icmpEcho(r, r.length(room));
    }
    return ipv4Of(r, path, sent, protocol, std::move(segment));
}

// ---- IPv6 (RFC 8200) with ICMPv6 (RFC 4443) or UDP

Bytes ipv6Packet(Random& r, const Bytes& local, const Bytes& remote, bool sent, uint32_t mtu) {
    const bool udp = r.percent(60);
    Bytes segment;
    if (udp) {
        segment = udpSegment(r, r.percent(50) ? 547 : 53, r.length(mtu - 48));
    } else if (r.percent(50)) {  // echo request: identifier, sequence number, data
        append(segment, {128, 0, 0, 0});
        append(segment, r.bytes(4 + r.length(mtu - 56)));
    } else {  // neighbour solicitation (RFC 4861): target, source link-layer address
        append(segment, {135, 0, 0, 0, 0, 0, 0, 0});
        append(segment, sent ? remote : local);
        append(segment, {1, 1});
        append(segment, r.bytes(6));
    }
    Bytes packet;
    put32(packet, 0x60000000u | r.below(1u << 20));
    put16(packet, segment.size());
    put8(packet, udp ? kUdp : 58);
    put8(packet, sent ? 64 : 255);
    append(packet, sent ? local : remote);
    append(packet, sent ? remote : local);
    uint32_t pseudo = wordSum(packet.data() + 8, 32, uint32_t(segment.size()) + packet[6]);
    set16(segment, udp ? 6 : 2,
          static_cast<uint16_t>(~folded(wordSum(segment.data(), segment.size(), pseudo))));
    append(packet, segment);
    return packet;
}

// ---- PPP (RFC 1661): LCP, PAP (RFC 1334), IPCP (RFC 1332)

constexpr uint16_t kPppIpv4 = 0x0021, kLcp = 0xC021, kPap = 0xC023, kIpcp = 0x8021;

struct PppPacket {
    uint16_t protocol;
    Bytes info;
    bool sent;
};

Bytes controlPacket(uint8_t code, uint8_t id, const Bytes& data) {
    Bytes p;
    put8(p, code);
    put8(p, id);
    put16(p, 4 + data.size());
    append(p, data);
    return p;
}

Bytes option(uint8_t type, const Bytes& value) {
    Bytes o = {type, static_cast<uint8_t>(2 + value.size())};
    append(o, value);
    return o;
}

Bytes be32(uint32_t v) {
    Bytes b;
    put32(b, v);
    return b;
}

struct PppLink {
    bool acfc = false, pfc = false;
    bool async = false;  // negotiates an ACCM
    bool pap = false;
    uint32_t accm = 0;
    uint32_t mtu = 1500;
};

// The LCP options one side asks for.
Bytes lcpOptions(Random& r, const PppLink& link, bool authenticator) {
    Bytes o = option(1, {static_cast<uint8_t>(link.mtu >> 8), static_cast<uint8_t>(link.mtu)});
    if (link.async) append(o, option(2, be32(link.accm)));
    if (authenticator && link.pap) append(o, option(3, {0xc0, 0x23}));
    append(o, option(5, be32(r.next())));
    if (link.pfc) append(o, option(7, {}));
    if (link.acfc) append(o, option(8, {}));
    return o;
}

// The packets of a session: LCP both ways, PAP, IPCP with a Nak, then IPv4
// with an LCP echo now and then.
std::vector<PppPacket> pppSession(Random& r, const PppLink& link, uint32_t count, bool offload) {
    std::vector<PppPacket> s;
    const Bytes ours = lcpOptions(r, link, false), theirs = lcpOptions(r, link, true);
    s.push_back({kLcp, controlPacket(1, 1, ours), true});
    s.push_back({kLcp, controlPacket(1, 0x21, theirs), false});
    s.push_back({kLcp, controlPacket(2, 0x21, theirs), true});
    s.push_back({kLcp, controlPacket(2, 1, ours), false});
    if (link.pap) {
        const Bytes user = {5, 'a', 'l', 'i', 'c', 'e', 6, 's', 'e', 'c', 'r', 'e', 't'};
        s.push_back({kPap, controlPacket(1, 1, user), true});
        s.push_back({kPap, controlPacket(2, 1, {0}), false});
    }
    const uint32_t address = 0x0A400000u | r.below(65536);
    const Bytes zero = option(3, be32(0));
    const Bytes dns = option(0x81, be32(0));
    Bytes asked = zero, given = option(3, be32(address));
    append(asked, dns);
    append(given, option(0x81, be32(0x08080808)));
    s.push_back({kIpcp, controlPacket(1, 1, asked), true});
    s.push_back({kIpcp, controlPacket(1, 7, option(3, be32(0x0A3F0001))), false});
    s.push_back({kIpcp, controlPacket(3, 1, given), false});
    s.push_back({kIpcp, controlPacket(2, 7, option(3, be32(0x0A3F0001))), true});
    s.push_back({kIpcp, controlPacket(1, 2, given), true});
    s.push_back({kIpcp, controlPacket(2, 2, given), false});
    Ipv4Path path{address, 0x5DB80000u | r.below(65536), 0, r.next(), r.next(), offload};
    uint8_t echo = 0;
    while (s.size() < count) {
        if (r.percent(4)) {
            s.push_back({kLcp, controlPacket(9, ++echo, be32(r.next())), true});
            s.push_back({kLcp, controlPacket(10, echo, be32(r.next())), false});
        } else {
            const bool sent = r.percent(50);
            s.push_back({kPppIpv4, ipv4Packet(r, path, sent, link.mtu), sent});
        }
    }
    return s;
}

// Address and control fields, protocol and information, as compressed on the
// link once LCP is up; LCP itself is never compressed.
Bytes pppFrame(const PppPacket& p, bool acfc, bool pfc) {
    Bytes f;
    if (!acfc || p.protocol == kLcp) f = {0xff, 0x03};
    if (pfc && p.protocol < 0x100 && p.protocol != kLcp) {
        put8(f, p.protocol);
    } else {
        put16(f, p.protocol);
    }
    append(f, p.info);
    return f;
}

// In a PPPoE session (RFC 2516): the protocol field, uncompressed, and the information.
Bytes pppPayload(const PppPacket& p) {
    Bytes f;
    put16(f, p.protocol);
    append(f, p.info);
    return f;
}

// ---- RFC 1662 asynchronous HDLC-like framing

uint16_t fcs16(const Bytes& b) {
    uint16_t fcs = 0xFFFF;
    for (uint8_t byte : b) {
        fcs ^= byte;
        for (int i = 0; i < 8; ++i) fcs = fcs & 1 ? (fcs >> 1) ^ 0x8408 : fcs >> 1;
    }
    return static_cast<uint16_t>(~fcs);
}

enum class Flags { BothEnds, SharedOpening, OpeningOnly };

Bytes hdlcFrame(Bytes frame, uint32_t accm, bool openingFlag, bool closingFlag) {
    const uint16_t fcs = fcs16(frame);
    put8(frame, fcs & 0xFF);  // least significant octet first
    put8(frame, fcs >> 8);
    Bytes out;
    if (openingFlag) put8(out, 0x7e);
    for (uint8_t b : frame) {
        if (b == 0x7e || b == 0x7d || (b < 0x20 && ((accm >> b) & 1) != 0)) {
            put8(out, 0x7d);
            put8(out, b ^ 0x20);
        } else {
            put8(out, b);
        }
    }
    if (closingFlag) put8(out, 0x7e);
    return out;
}

Bytes asyncFrame(const Bytes& frame, uint32_t accm, Flags flags, bool first) {
    return hdlcFrame(frame, accm, flags != Flags::SharedOpening || first,
                     flags != Flags::OpeningOnly);
}

// ---- The ports

using Maker = PortTraffic (*)(Random&, const PortRecipe&);

PppLink randomLink(Random& r, bool async, std::string& variant) {
    PppLink link;
    const uint32_t compression = r.below(4);
    link.acfc = compression & 1;
    link.pfc = compression & 2;
    link.async = async;
    link.pap = r.percent(50);
    link.accm = r.percent(70) ? 0 : 0x000A0000;
    static const char* kNames[] = {"no compression", "ACFC", "PFC", "ACFC and PFC"};
    variant = kNames[compression];
    return link;
}

// The session from its start, or joined after its negotiation.
std::vector<PppPacket> sessionWindow(Random& r, const PppLink& link, const PortRecipe& recipe,
                                     std::string& variant) {
    const bool midway = r.percent(25);
    const uint32_t skip = midway ? 12 + r.below(40) : 0;
    std::vector<PppPacket> s = pppSession(r, link, skip + recipe.frames, recipe.offload);
    variant += midway ? ", joined midway" : ", from its start";
    return {s.begin() + skip, s.begin() + skip + recipe.frames};
}

PortTraffic pppSyncPort(Random& r, const PortRecipe& recipe) {
    PortTraffic t;
    const PppLink link = randomLink(r, false, t.variant);
    const std::vector<PppPacket> s = sessionWindow(r, link, recipe, t.variant);
    const uint16_t lsn = static_cast<uint16_t>(r.below(8));
    for (const PppPacket& p : s) {
        t.frames.push_back({pppFrame(p, link.acfc, link.pfc), 0, lsn, p.sent});
    }
    return t;
}

PortTraffic pppAsyncPort(Random& r, const PortRecipe& recipe) {
    PortTraffic t;
    const PppLink link = randomLink(r, true, t.variant);
    const Flags flags = static_cast<Flags>(r.below(3));
    static const char* kFlags[] = {", flags on both ends", ", shared flags", ", opening flags"};
    t.variant += kFlags[static_cast<int>(flags)];
    const std::vector<PppPacket> s = sessionWindow(r, link, recipe, t.variant);
    for (size_t i = 0; i < s.size(); ++i) {
        // LCP packets go with every control character escaped.
        const uint32_t accm = s[i].protocol == kLcp ? 0xFFFFFFFF : link.accm;
        const Bytes frame = pppFrame(s[i], link.acfc, link.pfc);
        t.frames.push_back({asyncFrame(frame, accm, flags, i == 0), 0, 0, s[i].sent});
    }
    return t;
}

// ---- ETHERNET: IEEE 802.3, stored without the EtherType under a protocol code

constexpr uint16_t kCodeIpv4 = 1, kCodeArp = 2, kCodeDiscovery = 5, kCodeSession = 6,
                   kCodeWhole = 7;

struct Lan {
    Bytes host, gateway;
    Ipv4Path path;
    Bytes host6, remote6;
};

Bytes macOf(Random& r) {
    Bytes m = r.bytes(6);
    m[0] &= 0xFC;  // unicast, globally administered
    return m;
}

// The frame padded to 60 bytes, then stored as the protocol code has it.
PortFrame ethernetFrame(const Bytes& dst, const Bytes& src, uint16_t type, const Bytes& body,
                        uint16_t code, bool sent) {
    Bytes frame = dst;
    append(frame, src);
    put16(frame, type);
    append(frame, body);
    frame.resize(std::max<size_t>(frame.size(), 60), 0);
    if (code != kCodeWhole) {
        frame.erase(frame.begin() + 12, frame.begin() + 14);
    }
    return {frame, 0, code, sent};
}

Bytes arpPacket(const Lan& lan, bool request, bool sent) {
    Bytes p;
    put16(p, 1);
    put16(p, 0x0800);
    put8(p, 6);
    put8(p, 4);
    put16(p, request ? 1 : 2);
    append(p, sent ? lan.host : lan.gateway);
    put32(p, sent ? lan.path.local : lan.path.remote);
    append(p, request ? Bytes(6, 0) : (sent ? lan.gateway : lan.host));
    put32(p, sent ? lan.path.remote : lan.path.local);
    return p;
}

const Bytes kBroadcast(6, 0xff);

// The frame check sequence of IEEE 802.3 (CRC-32, least significant byte
// first), over the frame as it went on the line, its EtherType included.
void appendFcs32(Bytes& stored, uint16_t code) {
    static constexpr uint16_t kTypes[] = {0, 0x0800, 0x0806, 0, 0, 0x8863, 0x8864};
    Bytes line = stored;
    if (code != kCodeWhole) {
        line.insert(line.begin() + 12, {static_cast<uint8_t>(kTypes[code] >> 8),
                                        static_cast<uint8_t>(kTypes[code])});
    }
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t b : line) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i) put8(stored, crc >> (8 * i));
}

// IGMPv2 (RFC 2236) Membership Report, behind the Router Alert option (RFC 2113).
Bytes igmpReport(Random& r, const Lan& lan) {
    const uint32_t group = 0xEF000000u | r.below(1u << 16);
    Bytes p = {0x46, 0xc0, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00};
    put32(p, lan.path.local);
    put32(p, group);
    append(p, {0x94, 0x04, 0x00, 0x00});
    set16(p, 10, static_cast<uint16_t>(~folded(wordSum(p.data(), 24))));
    Bytes igmp = {0x16, 0x00, 0x00, 0x00};
    put32(igmp, group);
    set16(igmp, 2, static_cast<uint16_t>(~folded(wordSum(igmp.data(), 8))));
    append(p, igmp);
    return p;
}

PortFrame officeFrame(Random& r, Lan& lan) {
    const bool sent = r.percent(50);
    const Bytes& src = sent ? lan.host : lan.gateway;
    const Bytes& dst = sent ? lan.gateway : lan.host;
    const uint32_t k = r.below(20);
    if (k == 19) {
        const Bytes multicast = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x16};
        return ethernetFrame(multicast, lan.host, 0x0800, igmpReport(r, lan), kCodeIpv4, true);
    }
    if (k < 2) {
        const bool request = r.percent(50);
        return ethernetFrame(request ? kBroadcast : dst, src, 0x0806,
                             arpPacket(lan, request, sent), kCodeArp, sent);
    }
    if (k < 6) {
        return ethernetFrame(dst, src, 0x86dd, ipv6Packet(r, lan.host6, lan.remote6, sent, 1500),
                             kCodeWhole, sent);
    }
    return ethernetFrame(dst, src, 0x0800, ipv4Packet(r, lan.path, sent, 1500), kCodeIpv4, sent);
}

// IEEE 802.1Q: every frame whole, behind its tag.
PortFrame trunkFrame(Random& r, Lan& lan) {
    const bool sent = r.percent(50);
    const uint32_t k = r.below(10);
    Bytes body;
    put16(body, (r.below(8) << 13) | (10 + r.below(4) * 10));  // priority, VLAN id
    if (k == 0) {
        put16(body, 0x0806);
        append(body, arpPacket(lan, true, sent));
    } else if (k <= 2) {
        put16(body, 0x86dd);
        append(body, ipv6Packet(r, lan.host6, lan.remote6, sent, 1500));
    } else {
        put16(body, 0x0800);
        append(body, ipv4Packet(r, lan.path, sent, 1500));
    }
    return ethernetFrame(sent ? lan.gateway : lan.host, sent ? lan.host : lan.gateway, 0x8100,
                         body, kCodeWhole, sent);
}

Bytes pppoeHeader(uint8_t code, uint16_t session, const Bytes& payload) {
    Bytes h = {0x11, code};
    put16(h, session);
    put16(h, payload.size());
    append(h, payload);
    return h;
}

Bytes tag(uint16_t type, const Bytes& value) {
    Bytes t;
    put16(t, type);
    put16(t, value.size());
    append(t, value);
    return t;
}

// PPPoE: PADI, PADO, PADR, PADS, then the PPP session; a PADT at the end.
std::vector<PortFrame> pppoeFrames(Random& r, Lan& lan, const PortRecipe& recipe) {
    std::vector<PortFrame> frames;
    const uint16_t session = static_cast<uint16_t>(1 + r.below(65534));
    Bytes tags = tag(0x0101, {});
    append(tags, tag(0x0103, r.bytes(4)));
    Bytes offer = tags;
    append(offer, tag(0x0102, {'b', 'r', 'a', 's', '1'}));
    append(offer, tag(0x0104, r.bytes(16)));
    const auto discovery = [&](uint8_t code, uint16_t id, const Bytes& t, bool sent) {
        const Bytes& dst = code == 0x09 ? kBroadcast : (sent ? lan.gateway : lan.host);
        frames.push_back(ethernetFrame(dst, sent ? lan.host : lan.gateway, 0x8863,
                                       pppoeHeader(code, id, t), kCodeDiscovery, sent));
    };
    discovery(0x09, 0, tags, true);
    discovery(0x07, 0, offer, false);
    discovery(0x19, 0, offer, true);
    discovery(0x65, session, tags, false);
    PppLink link;
    link.mtu = 1492;
    link.pap = r.percent(50);
    for (const PppPacket& p : pppSession(r, link, recipe.frames, recipe.offload)) {
        frames.push_back(ethernetFrame(p.sent ? lan.gateway : lan.host,
                                       p.sent ? lan.host : lan.gateway, 0x8864,
                                       pppoeHeader(0, session, pppPayload(p)),
                                       kCodeSession, p.sent));
    }
    const bool terminated = recipe.frames > 30 && r.percent(50);
    frames.resize(recipe.frames - (terminated ? 1 : 0));
    if (terminated) {
        discovery(0xa7, session, {}, true);
    }
    return frames;
}

PortTraffic ethernetPort(Random& r, const PortRecipe& recipe) {
    Lan lan{macOf(r), macOf(r), {0xC0A80000u | r.below(65536), 0xC0A80001u, 0, r.next(),
                                 r.next(), recipe.offload},
            {}, {}};
    lan.host6 = {0xfe, 0x80, 0, 0, 0, 0, 0, 0};
    append(lan.host6, r.bytes(8));
    lan.remote6 = {0x20, 0x01, 0x0d, 0xb8};
    append(lan.remote6, r.bytes(12));
    PortTraffic t;
    const uint32_t profile = r.below(3);
    const bool withFcs = r.percent(20);
    static const char* kProfiles[] = {"office LAN", "802.1Q trunk", "PPPoE"};
    t.variant = std::string(kProfiles[profile]) + (withFcs ? ", with FCS" : "");
    if (profile == 2) {
        t.frames = pppoeFrames(r, lan, recipe);
    }
    while (t.frames.size() < recipe.frames) {
        t.frames.push_back(profile == 0 ? officeFrame(r, lan) : trunkFrame(r, lan));
    }
    for (PortFrame& f : t.frames) {
        if (withFcs) {
            appendFcs32(f.bytes, f.lsn);
        }
    }
    return t;
}

// ---- Raw-IP: IPv4 behind a link header, or behind junk

struct LinkHeader {
    const char* name;
    Bytes bytes;
};

// Junk of its own length each time, without the 0x45 the framing looks for.
Bytes junk(Random& r) {
    Bytes b = r.bytes(1 + r.below(16));
    for (uint8_t& x : b) x = x == 0x45 ? 0x44 : x;
    return b;
}

PortTraffic rawIpPort(Random& r, const PortRecipe& recipe) {
    const LinkHeader kHeaders[] = {
        {"no header", {}},
        {"two zero bytes", {0x00, 0x00}},
        {"BSD loopback", {0x02, 0x00, 0x00, 0x00}},               // AF_INET, host order
        {"Cisco HDLC", {0x0f, 0x00, 0x08, 0x00}},                  // unicast, IPv4
        {"Frame Relay", {0x18, 0x41, 0x03, 0xcc}},                 // DLCI 100, UI, NLPID IP
        {"LLC/SNAP", {0xaa, 0xaa, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00}},
        {"junk", {}},
    };
    const size_t style = r.below(std::size(kHeaders));
    PortTraffic t{std::string("Raw-IP, ") + kHeaders[style].name, {}};
    Ipv4Path path{0x0A000000u | r.below(1u << 24), 0xAC100000u | r.below(1u << 20), 0,
                  r.next(), r.next(), recipe.offload};
    while (t.frames.size() < recipe.frames) {
        const bool sent = r.percent(50);
        Bytes frame = style + 1 == std::size(kHeaders) ? junk(r) : kHeaders[style].bytes;
        append(frame, ipv4Packet(r, path, sent, 1500));
        t.frames.push_back({frame, 0, 0, sent});
    }
    return t;
}

// ---- Internal-UDP: 18 bytes of the device, a MAC address, 2 bytes, IPv4 and UDP

PortTraffic internalUdpPort(Random& r, const PortRecipe& recipe) {
    PortTraffic t{"Internal-UDP", {}};
    const Bytes device = r.bytes(6), peer = macOf(r);
    Ipv4Path path{0x0A010100u | r.below(256), 0x0A010200u | r.below(256), 0, 0, 0,
                  recipe.offload};
    uint32_t sequence = r.next();
    while (t.frames.size() < recipe.frames) {
        const bool sent = r.percent(50);
        Bytes frame = device;
        put32(frame, ++sequence);
        put32(frame, r.next());
        put16(frame, 0);
        put16(frame, sent ? 1 : 2);
        append(frame, peer);
        put16(frame, 0x0800);
        append(frame, ipv4Packet(r, path, sent, 1500, kUdp));
        t.frames.push_back({frame, 0, static_cast<uint16_t>(r.below(4)), sent});
    }
    return t;
}

// ---- I4B ISDN: ITU-T Q.921 LAPD frames, Q.931 in the I frames

struct Lapd {
    uint8_t tei = 0x40;
    uint8_t vsUser = 0, vsNetwork = 0;  // send sequence numbers
    uint8_t callReference = 1;
};

// The address: SAPI and C/R (a command is 0 from the user, 1 from the network), TEI.
Bytes lapdAddress(uint8_t sapi, bool fromUser, bool command, uint8_t tei) {
    const uint8_t cr = fromUser == command ? 0 : 1;
    return {static_cast<uint8_t>(sapi << 2 | cr << 1), static_cast<uint8_t>(tei << 1 | 1)};
}

Bytes q931(uint8_t reference, bool fromOriginator, uint8_t type, Random& r) {
    Bytes m = {0x08, 0x01, static_cast<uint8_t>(reference | (fromOriginator ? 0 : 0x80)), type};
    if (type == 0x05) {  // SETUP: bearer capability, channel, calling and called number
        append(m, {0xa1, 0x04, 0x03, 0x80, 0x90, 0xa3, 0x18, 0x01, 0x83});
        Bytes calling = {0x6c, 0x06, 0x21, 0x83};
        for (int i = 0; i < 4; ++i) calling.push_back('0' + r.below(10));
        append(m, calling);
        Bytes called = {0x70, 0x08, 0x81};
        for (int i = 0; i < 7; ++i) called.push_back('0' + r.below(10));
        append(m, called);
    } else if (type == 0x02 || type == 0x07) {
        append(m, {0x18, 0x01, 0x89});  // channel B1
    } else if (type == 0x45 || type == 0x5a) {
        append(m, {0x08, 0x02, 0x80, 0x90});  // cause: normal clearing
    }
    return m;
}

PortTraffic i4bPort(Random& r, const PortRecipe& recipe) {
    PortTraffic t{"LAPD and Q.931", {}};
    Lapd l;
    l.tei = static_cast<uint8_t>(64 + r.below(63));
    const auto add = [&](Bytes frame, bool fromUser) {
        t.frames.push_back({std::move(frame), 0, 0, fromUser});
    };
    const auto unnumbered = [&](bool fromUser, bool command, uint8_t control) {
        Bytes f = lapdAddress(0, fromUser, command, l.tei);
        put8(f, control);
        add(f, fromUser);
    };
    const auto information = [&](bool fromUser, const Bytes& message) {
        uint8_t& vs = fromUser ? l.vsUser : l.vsNetwork;
        const uint8_t vr = fromUser ? l.vsNetwork : l.vsUser;
        Bytes f = lapdAddress(0, fromUser, true, l.tei);
        put8(f, vs << 1);
        put8(f, vr << 1);
        vs = (vs + 1) % 128;
        append(f, message);
        add(f, fromUser);
        Bytes rr = lapdAddress(0, !fromUser, false, l.tei);  // the other side's RR
        put8(rr, 0x01);
        put8(rr, (fromUser ? l.vsUser : l.vsNetwork) << 1);
        add(rr, !fromUser);
    };
    // TEI assignment (Q.921 5.3): UI frames on SAPI 63, broadcast TEI 127.
    const uint16_t ri = static_cast<uint16_t>(r.below(65536));
    Bytes request = {0xfc, 0xff, 0x03, 0x0f};
    put16(request, ri);
    append(request, {0x01, 0xff});
    add(request, true);
    Bytes assigned = {0xfe, 0xff, 0x03, 0x0f};
    put16(assigned, ri);
    append(assigned, {0x02, static_cast<uint8_t>(l.tei << 1 | 1)});
    add(assigned, false);
    unnumbered(true, true, 0x7f);    // SABME, P
    unnumbered(false, false, 0x73);  // UA, F
    static constexpr uint8_t kOutgoing[] = {0x05, 0x02, 0x01, 0x07, 0x0f, 0x45, 0x4d, 0x5a};
    static constexpr bool kFromUser[] = {true, false, false, false, true, true, false, true};
    while (t.frames.size() < recipe.frames) {
        const uint8_t reference = l.callReference++ & 0x7f;
        for (size_t m = 0; m < std::size(kOutgoing); ++m) {
            information(kFromUser[m], q931(reference, kFromUser[m], kOutgoing[m], r));
        }
        if (r.percent(30)) {
            unnumbered(true, true, 0x53);   // DISC, P
            unnumbered(false, false, 0x73); // UA, F
            unnumbered(true, true, 0x7f);
            unnumbered(false, false, 0x73);
        }
    }
    t.frames.resize(recipe.frames);
    return t;
}

Maker makerOf(FrameFormat format) {
    switch (format) {
        case FrameFormat::Ethernet: return ethernetPort;
        case FrameFormat::PppSync: return pppSyncPort;
        case FrameFormat::PppAsync: return pppAsyncPort;
        case FrameFormat::RawIp: return rawIpPort;
        case FrameFormat::I4bIsdn: return i4bPort;
        case FrameFormat::InternalUdp: return internalUdpPort;
    }
    return nullptr;
}

}  // namespace

Bytes ipv4UdpPacket(uint32_t payload, bool offload, uint32_t seed) {
    Random r(seed);
    Ipv4Path path{0x0A000001, 0x0A000002, 0, 0, 0, offload};
    return ipv4Of(r, path, true, kUdp, udpSegment(r, 514, payload));
}

Bytes rfc1662Frame(Bytes frame, uint32_t accm, bool openingFlag, bool closingFlag) {
    return hdlcFrame(std::move(frame), accm, openingFlag, closingFlag);
}

PortTraffic publishedTraffic(const PortRecipe& recipe) {
    Random r(recipe.seed * 7919u + static_cast<uint32_t>(recipe.format));
    static constexpr uint32_t kSnapLengths[] = {64, 96, 128, 256};
    const uint32_t snap = r.percent(25) ? kSnapLengths[r.below(4)] : 65535;
    PortTraffic t = makerOf(recipe.format)(r, recipe);
    t.frames.resize(recipe.frames);
    for (PortFrame& f : t.frames) {
        f.lineLength = static_cast<uint32_t>(f.bytes.size());
        f.bytes.resize(std::min(f.bytes.size(), size_t{snap}));
    }
    if (snap != 65535) {
        t.variant += ", snap length " + std::to_string(snap);
    }
    return t;
}

}  // namespace ornpcap::test
