#include "frames/frame_fits.hpp"

#include <algorithm>
#include <cstring>
#include <span>

#include "base/byte_order.hpp"
#include "frames/ppp_async.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap::fits {

namespace {




// Frame contents are in network order.
uint16_t be16(const uint8_t* p) {
    const uint16_t v = loadLe16(p);
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}

Fit both(bool a, bool b) {
    return a && b ? kGood : (a || b ? kPlausible : kNone);
}

Fit weaker(Fit fit) {
    return fit == kGood ? kPlausible : kNone;
}

template <size_t N>
bool oneOf(uint32_t value, const uint32_t (&values)[N]) {
    return std::find(std::begin(values), std::end(values), value) != std::end(values);
}

// A header whose one's complement sum, checksum included, is all ones. The
// sum of little-endian words is the byte-swapped sum of the network words, so
// the test holds in either order.
bool goodChecksum(const uint8_t* p, uint32_t length) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 1 < length; i += 2) {
        sum += loadLe16(p + i);
    }
    while (sum >> 16) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum == 0xFFFF;
}

// What a frame cut short in asynchronous framing carries has no known length
// on the line, as the escapes beyond the cut are not known: kLineUnknown
// stands for it, and stays above kLongestLine once the few bytes of the
// headers in front of a packet are taken off.
constexpr uint32_t kLineUnknown = 0xFFFFFFFF;
constexpr uint32_t kLongestLine = 0xFFFFFF;

// A packet of `stated` bytes in an area of `lineLength`: equal, or padded a
// little, or padded up to a short frame's minimum.
bool lengthAgrees(uint32_t stated, uint32_t lineLength) {
    return lineLength > kLongestLine ||
           (stated <= lineLength && (lineLength - stated <= 4 || lineLength <= 48));
}

// ICMP, IGMP, IP in IP, TCP, UDP, IPv6, GRE, ESP, AH, OSPF, PIM, VRRP, L2TP, SCTP.
constexpr uint32_t kIpProtocols[] = {1, 2, 4, 6, 17, 41, 47, 50, 51, 89, 103, 112, 115, 132};

// Options after the first 20 bytes: end of list, no-operation, or a type
// and a length of 2 or more, filling the header.
bool optionsFill(const uint8_t* p, uint32_t headerLength) {
    uint32_t at = 20;
    while (at < headerLength && p[at] != 0) {
        const uint32_t size = p[at] == 1 ? 1 : (at + 1 < headerLength ? p[at + 1] : 0);
        if (size == 0 || (size == 1 && p[at] != 1)) {
            return false;
        }
        at += size;
    }
    return at <= headerLength;
}

// A host that leaves its header checksums to the network card captures the
// packets it sends with a checksum of zero: a good header all the same where
// its protocol is known and its options hold together.
bool offloadedChecksum(const uint8_t* p, uint32_t headerLength) {
    return p[10] == 0 && p[11] == 0 && oneOf(p[9], kIpProtocols) && optionsFill(p, headerLength);
}

// Good: version, header length and total length hold together with the
// frame, and the checksum is right, or zero with a known protocol behind it.
Fit ipv4Fit(const uint8_t* p, uint32_t length, uint32_t lineLength) {
    if (length < 20 || (p[0] >> 4) != 4) {
        return kNone;
    }
    const uint32_t headerLength = (p[0] & 0x0Fu) * 4;
    if (headerLength < 20 || headerLength > length) {
        return kNone;
    }
    const uint32_t total = be16(p + 2);
    const bool lengthsAgree = total >= headerLength && lengthAgrees(total, lineLength);
    const bool checksum = goodChecksum(p, headerLength) ||
                          (lengthsAgree && offloadedChecksum(p, headerLength));
    return both(lengthsAgree, checksum);
}

Fit ipv6Fit(const uint8_t* p, uint32_t length, uint32_t lineLength) {
    if (length < 40 || (p[0] >> 4) != 6) {
        return kNone;
    }
    return lengthAgrees(40u + be16(p + 4), lineLength) ? kGood : kPlausible;
}

// The Configure packets (codes 1 to 4) of LCP and the network control
// protocols hold options, each a type and a length of 2 or more, that fill
// the packet exactly (as far as it was captured).
bool configureOptionsFill(const uint8_t* p, uint32_t stated, uint32_t length) {
    const uint32_t end = std::min(stated, length);
    uint32_t at = 4;
    while (at + 2 <= end) {
        if (p[at + 1] < 2) {
            return false;
        }
        at += p[at + 1];
    }
    return stated > length || at == stated;
}

enum class PppKind { Ipv4, Ipv6, Configured, Authentication, Other };
struct PppProtocol {
    uint16_t number;
    PppKind kind;
    uint8_t lastCode;  // of a control protocol
};
constexpr PppProtocol kPppProtocols[] = {
    {0x0021, PppKind::Ipv4, 0},
    {0x0057, PppKind::Ipv6, 0},
    {0xC021, PppKind::Configured, 14},     // LCP
    {0x8021, PppKind::Configured, 15},     // IPCP
    {0x8057, PppKind::Configured, 15},     // IPV6CP
    {0x80FD, PppKind::Configured, 15},     // CCP
    {0x8281, PppKind::Configured, 15},     // MPLSCP
    {0xC023, PppKind::Authentication, 3},  // PAP
    {0xC223, PppKind::Authentication, 4},  // CHAP
    {0x002D, PppKind::Other, 0},           // Van Jacobson compressed and uncompressed TCP
    {0x002F, PppKind::Other, 0},
    {0x003D, PppKind::Other, 0},           // multilink
    {0x00FD, PppKind::Other, 0},           // compressed datagram
    {0xC025, PppKind::Other, 0},           // link quality report
    {0x0281, PppKind::Other, 0},           // MPLS
};

// A control packet: code, identifier, length, data.
Fit controlFit(const PppProtocol& protocol, const uint8_t* p, uint32_t length,
               uint32_t lineLength) {
    if (length < 4 || p[0] == 0 || p[0] > protocol.lastCode) {
        return kNone;
    }
    const uint32_t stated = be16(p + 2);
    if (stated < 4 || !lengthAgrees(stated, lineLength)) {
        return kPlausible;
    }
    const bool configure = protocol.kind == PppKind::Configured && p[0] <= 4;
    return !configure || configureOptionsFill(p, stated, length) ? kGood : kPlausible;
}

// The protocol field: two bytes, or one where protocol field compression
// leaves out a high byte of zero. A number has an even high and an odd low byte.
struct ProtocolField {
    uint16_t number = 0;
    uint32_t size = 0;  // 0: none
};
ProtocolField protocolField(const uint8_t* p, uint32_t length) {
    if (length >= 1 && (p[0] & 1) != 0) {
        return {p[0], 1};
    }
    if (length >= 2 && (p[1] & 1) != 0) {
        return {be16(p), 2};
    }
    return {};
}

// A PPP protocol field and the packet behind it. Where the bytes in front
// already say PPP (framed: FF 03, or a PPPoE session header), a packet that
// does not fit well, or an unknown protocol, still fits plausibly; a frame
// that begins with the protocol field must fit well to fit at all.
Fit pppFit(const uint8_t* p, uint32_t length, uint32_t lineLength, bool framed) {
    const ProtocolField field = protocolField(p, length);
    if (field.size == 0) {
        return kNone;
    }
    const PppProtocol* known =
        std::find_if(std::begin(kPppProtocols), std::end(kPppProtocols),
                     [&](const PppProtocol& x) { return x.number == field.number; });
    if (known == std::end(kPppProtocols)) {
        return framed ? kPlausible : kNone;
    }
    const uint8_t* packet = p + field.size;
    const uint32_t n = length - field.size, line = lineLength - field.size;
    Fit fit = kNone;
    switch (known->kind) {
        case PppKind::Ipv4: fit = ipv4Fit(packet, n, line); break;
        case PppKind::Ipv6: fit = ipv6Fit(packet, n, line); break;
        case PppKind::Configured:
        case PppKind::Authentication: fit = controlFit(*known, packet, n, line); break;
        case PppKind::Other: break;
    }
    return fit == kGood ? kGood : (framed ? kPlausible : kNone);
}

bool startsPpp(const uint8_t* p, uint32_t length) {
    return length >= 4 && p[0] == 0xFF && p[1] == 0x03;
}

// A PPP frame: address and control field (FF 03), unless compressed away,
// then the protocol field and the packet.
Fit pppFrameFit(const uint8_t* p, uint32_t length, uint32_t lineLength) {
    return startsPpp(p, length) ? pppFit(p + 2, length - 2, lineLength - 2, true)
                                : pppFit(p, length, lineLength, false);
}

// ---- ETHERNET: the bodies behind the two addresses, by protocol code.

Fit arpFit(const uint8_t* p, uint32_t length, uint32_t) {
    static constexpr uint8_t kEthernetIpv4[] = {0x00, 0x01, 0x08, 0x00, 0x06, 0x04};
    if (length < 28 || std::memcmp(p, kEthernetIpv4, 4) != 0) {
        return kNone;
    }
    return both(std::memcmp(p, kEthernetIpv4, 6) == 0, p[6] == 0 && (p[7] == 1 || p[7] == 2));
}

Fit pppoeDiscoveryFit(const uint8_t* p, uint32_t length, uint32_t lineLength) {
    static constexpr uint32_t kCodes[] = {0x09, 0x07, 0x19, 0x65, 0xA7};
    if (length < 6 || p[0] != 0x11 || !oneOf(p[1], kCodes)) {
        return kNone;
    }
    return be16(p + 4) + 6u <= lineLength ? kGood : kPlausible;
}

Fit pppoeSessionFit(const uint8_t* p, uint32_t length, uint32_t lineLength) {
    if (length < 8 || p[0] != 0x11 || p[1] != 0x00) {
        return kNone;
    }
    const uint32_t stated = be16(p + 4);
    const Fit ppp = pppFit(p + 6, length - 6, lineLength - 6, true);
    return ppp == kGood && lengthAgrees(stated + 6, lineLength) ? kGood : kPlausible;
}

Fit wholeFrameFit(const uint8_t* p, uint32_t length, uint32_t lineLength);

using BodyCheck = Fit (*)(const uint8_t* p, uint32_t length, uint32_t lineLength);

struct EthernetBody {
    uint16_t key;  // protocol code, or EtherType of a whole frame
    BodyCheck check;
};
constexpr EthernetBody kProtocolCodes[] = {
    {1, ipv4Fit}, {2, arpFit}, {5, pppoeDiscoveryFit}, {6, pppoeSessionFit}, {7, wholeFrameFit},
};
constexpr EthernetBody kEtherTypes[] = {
    {0x0800, ipv4Fit},           {0x0806, arpFit},          {0x86DD, ipv6Fit},
    {0x8863, pppoeDiscoveryFit}, {0x8864, pppoeSessionFit},
};
// Seen on LANs, not looked into: LLDP, EAPOL, MPLS, Wake-on-LAN, SLARP.
constexpr uint32_t kOtherEtherTypes[] = {0x88CC, 0x888E, 0x8847, 0x0842, 0x8035};

BodyCheck bodyCheck(std::span<const EthernetBody> table, uint16_t key) {
    for (const EthernetBody& body : table) {
        if (body.key == key) {
            return body.check;
        }
    }
    return nullptr;
}

// A frame stored whole: EtherType (after a VLAN tag, the inner one), then the
// body; an 802.3 length field is followed by LLC with equal SAPs.
Fit wholeFrameFit(const uint8_t* p, uint32_t length, uint32_t lineLength) {
    if (length < 4) {
        return kNone;
    }
    const uint16_t type = be16(p);
    const BodyCheck check = bodyCheck(kEtherTypes, type);
    if (type == 0x8100 || type == 0x88A8) {  // a tag (802.1Q, 802.1ad), then the inner type
        return wholeFrameFit(p + 4, length - 4, lineLength - 4) == kGood ? kGood : kPlausible;
    }
    if (check != nullptr) {
        return check(p + 2, length - 2, lineLength - 2);
    }
    if (oneOf(type, kOtherEtherTypes)) {
        return kPlausible;
    }
    return type <= 1500 && p[2] == p[3] && p[2] != 0 ? kPlausible : kNone;
}

}  // namespace

Fit ethernetFit(const FrameView& f) {
    const BodyCheck check = bodyCheck(kProtocolCodes, f.lsn);
    if (check == nullptr || f.length < 14) {
        return kNone;
    }
    return check(f.p + 12, f.length - 12, f.lineLength - 12);
}

namespace {

// ---- PPP-Sync, PPP-Async

}  // namespace

// A frame that its asynchronous framing explains, FCS and flag included, is
// no synchronous frame: the sync framing would leave those bytes unexplained.
Fit pppSyncFit(const FrameView& f) {
    return f.asyncFramed ? kNone : pppFrameFit(f.p, f.length, f.lineLength);
}

namespace {

// Inside a frame no flag stands, and an escape is followed by a byte that an
// ACCM escapes (0x00 to 0x1F), a flag or an escape, each XOR 0x20.
bool escapesClean(const uint8_t* p, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        if (p[i] == 0x7E) {
            return false;
        }
        if (p[i] == 0x7D && i + 1 < length) {
            const uint8_t escaped = p[++i] ^ 0x20;
            if (escaped >= 0x20 && escaped != 0x7D && escaped != 0x7E) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

AsyncView asyncView(const uint8_t* p, uint32_t length, uint32_t lineLength, uint8_t* scratch) {
    if (length < 4) {
        return {};
    }
    const bool flagged = p[0] == 0x7E || p[length - 1] == 0x7E;
    const bool cut = length < lineLength;
    if (!flagged && !(cut && escapesClean(p, length))) {
        return {};
    }
    const uint32_t n = unstuffAsyncFrame(p, length, scratch);
    return {flagged && !cut && n >= 4 && hasGoodFcs(scratch, n), n};
}

Fit pppAsyncFit(const FrameView& f) {
    if (f.asyncFramed) {
        return kGood;
    }
    const uint32_t n = f.unstuffedLength;
    if (n < 4) {
        return kNone;
    }
    if (f.length < f.lineLength) {
        // Cut short: the FCS is lost; what it carries may still fit well.
        return pppFrameFit(f.unstuffed, n, kLineUnknown);
    }
    // Damaged: still PPP in its asynchronous framing.
    return pppFrameFit(f.unstuffed, n, n) != kNone ? kPlausible : kNone;
}

namespace {

// ---- Raw-IP, Internal-UDP

// Leading bytes seen before the packet: none, or a link header of a few bytes.
constexpr uint32_t kUsualLeadingBytes = 16;

}  // namespace

Fit rawIpFit(const FrameView& f) {
    const auto* at = static_cast<const uint8_t*>(std::memchr(f.p, 0x45, f.length));
    if (at == nullptr) {
        return kNone;
    }
    const uint32_t lead = static_cast<uint32_t>(at - f.p);
    const Fit fit = ipv4Fit(at, f.length - lead, f.lineLength - lead);
    return lead <= kUsualLeadingBytes ? fit : weaker(fit);
}

namespace {

constexpr uint32_t kInternalHeaderSize = 26;

}  // namespace

Fit internalUdpFit(const FrameView& f) {
    if (f.length < kInternalHeaderSize + 20) {
        return kNone;
    }
    return ipv4Fit(f.p + kInternalHeaderSize, f.length - kInternalHeaderSize,
                   f.lineLength - kInternalHeaderSize);
}

namespace {

// ---- I4B ISDN: LAPD frames of a D channel

constexpr uint32_t kSapiCallControl = 0, kSapiPacket = 1, kSapiX25 = 16, kSapiManagement = 63;
constexpr uint32_t kSapis[] = {kSapiCallControl, kSapiPacket, kSapiX25, kSapiManagement};
constexpr uint32_t kQ931Messages[] = {0x01, 0x02, 0x03, 0x05, 0x07, 0x0D, 0x0F, 0x20, 0x21,
                                      0x22, 0x25, 0x26, 0x2D, 0x2E, 0x45, 0x46, 0x4D, 0x4E,
                                      0x5A, 0x60, 0x62, 0x6E, 0x75, 0x79, 0x7B, 0x7D};
constexpr uint32_t kLapdMaxLength = 4 + 260;

// Protocol discriminator 08, call reference, message type.
Fit q931Fit(const uint8_t* p, uint32_t length) {
    if (length < 3 || p[0] != 0x08) {
        return kNone;
    }
    const uint32_t referenceLength = p[1] & 0x0Fu;
    if ((p[1] & 0xF0) != 0 || referenceLength > 2 || length < 3 + referenceLength) {
        return kPlausible;
    }
    return oneOf(p[2 + referenceLength], kQ931Messages) ? kGood : kPlausible;
}

Fit lapdInformationFit(const FrameView& f, uint32_t sapi) {
    if (f.length < 5) {
        return kNone;
    }
    if (sapi == kSapiX25) {
        return kPlausible;
    }
    return q931Fit(f.p + 4, f.length - 4);
}

Fit lapdUnnumberedFit(const FrameView& f, uint32_t sapi) {
    static constexpr uint32_t kNoInformation[] = {0x6F, 0x0F, 0x43, 0x63};  // SABME DM DISC UA
    const uint32_t command = f.p[2] & 0xEFu;
    if (oneOf(command, kNoInformation)) {
        return f.length == 3 ? kGood : kNone;
    }
    if (command == 0x87 || command == 0xAF) {  // FRMR, XID
        return kPlausible;
    }
    if (command != 0x03) {
        return kNone;
    }
    // UI: TEI management (entity 0F, message 1 to 7), or a broadcast Q.931 message.
    if (sapi == kSapiManagement) {
        return f.length == 8 && f.p[3] == 0x0F && f.p[6] >= 1 && f.p[6] <= 7 ? kGood : kPlausible;
    }
    return sapi == kSapiCallControl ? q931Fit(f.p + 3, f.length - 3) : kPlausible;
}

}  // namespace

Fit lapdFit(const FrameView& f) {
    const uint8_t* p = f.p;
    // Address: SAPI, C/R, EA 0; TEI, EA 1.
    if (f.length < 3 || f.length > kLapdMaxLength || (p[0] & 1) != 0 || (p[1] & 1) == 0 ||
        !oneOf(p[0] >> 2u, kSapis)) {
        return kNone;
    }
    const uint32_t sapi = p[0] >> 2u;
    if ((p[2] & 1) == 0) {
        return lapdInformationFit(f, sapi);
    }
    if ((p[2] & 3) == 1) {  // RR, RNR, REJ
        return f.length == 4 && (p[2] == 0x01 || p[2] == 0x05 || p[2] == 0x09) ? kGood : kNone;
    }
    return lapdUnnumberedFit(f, sapi);
}

}  // namespace ornpcap::fits
