#include "tracebuild/traffic.hpp"

#include <algorithm>
#include <deque>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>

#include "tracebuild/traffic_ip.hpp"
#include "base/byte_order.hpp"

namespace ornpcap::tracebuild {

using namespace traffic;

namespace {

// One frame as the port captured it.
struct TrafficFrame {
    Bytes bytes;
    uint16_t lsn = 0;
    bool out = false;
    uint32_t lineLength = 0;  // bytes on the line when more than were captured
};

class FormatTraffic {
public:
    virtual ~FormatTraffic() = default;
    virtual void next(TrafficFrame& frame) = 0;
};

constexpr App kUserApps[] = {App::Web, App::Web,  App::Web,  App::Web,    App::Tls,
                             App::Tls, App::Dns,  App::Dns,  App::Dns,    App::Ping,
                             App::Ntp, App::Syslog, App::Snmp, App::Tftp};
constexpr App kDeviceApps[] = {App::Ntp,  App::Ntp,  App::Syslog, App::Syslog, App::Syslog,
                               App::Dns,  App::Dns,  App::Snmp,   App::Snmp,   App::Tftp};

std::vector<uint32_t> internetHosts() {
    return {ipv4(93, 184, 216, 34),  ipv4(198, 51, 100, 25), ipv4(198, 51, 100, 80),
            ipv4(203, 0, 113, 7),    ipv4(203, 0, 113, 53),  ipv4(192, 0, 2, 123),
            ipv4(151, 101, 1, 69),   ipv4(104, 16, 132, 229), ipv4(140, 82, 121, 4),
            ipv4(185, 199, 108, 153)};
}

std::vector<uint32_t> lanHosts(uint8_t subnet, uint32_t count) {
    std::vector<uint32_t> hosts;
    for (uint32_t i = 0; i < count; ++i) {
        hosts.push_back(ipv4(192, 168, subnet, static_cast<uint8_t>(10 + 7 * i)));
    }
    return hosts;
}

IpTrafficSpec userTraffic(Rng& rng, std::vector<uint32_t> nearHosts, uint16_t mtu) {
    return {std::move(nearHosts), internetHosts(), kUserApps, rng.between(70, 95), mtu};
}

// ---- ETHERNET: the lsn is the protocol code; frames have no EtherType but
// those stored whole (code 7), and short frames are padded to 60 bytes.

constexpr uint16_t kCodeIpv4 = 1, kCodeArp = 2, kCodeDiscovery = 5, kCodeSession = 6,
                   kCodeWhole = 7;

using Mac = std::array<uint8_t, 6>;
constexpr Mac kBroadcast = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

// Type and length in 7 and 9 bits, then the value (its subtype first, if any).
void putLldpTlv(Bytes& b, uint8_t type, std::string_view text, int subtype = -1) {
    const size_t length = text.size() + (subtype >= 0 ? 1 : 0);
    putBe16(b, static_cast<uint16_t>((type << 9) | length));
    if (subtype >= 0) {
        b.push_back(static_cast<uint8_t>(subtype));
    }
    putText(b, text);
}

class EthernetTraffic : public FormatTraffic {
public:
    explicit EthernetTraffic(Rng& rng)
        : rng_(rng), pppoe_(rng.percent(35)), subnet_(static_cast<uint8_t>(rng.below(100))),
          device_{0x00, 0x0e, 0x8e, 0x5a, static_cast<uint8_t>(rng.next()), 0x01},
          hosts_(lanHosts(subnet_, rng.between(1, 8))),
          ip_(rng, userTraffic(rng, hosts_, pppoe_ ? 1492 : 1500)),
          session_(static_cast<uint16_t>(rng.between(1, 0xFFFE))) {}

    void next(TrafficFrame& f) override {
        const uint32_t roll = rng_.below(100);
        if (roll < 3) {
            arp(f);
        } else if (roll < 7) {
            whole(f);
        } else if (pppoe_ && roll < 9) {
            discovery(f);
        } else if (pppoe_ && roll < 11) {
            sessionEcho(f);
        } else {
            packet(f);
        }
        const size_t minimum = f.lsn == kCodeWhole ? 60 : 58;
        f.bytes.resize(std::max(f.bytes.size(), minimum), 0);
    }

private:
    void addresses(TrafficFrame& f, const Mac& host, const Mac& to) {
        putMac(f.bytes, f.out ? to : device_);
        putMac(f.bytes, f.out ? device_ : host);
    }

    Mac pickHost() { return macOf(rng_.pick(std::span<const uint32_t>(hosts_))); }

    void packet(TrafficFrame& f) {
        IpPacket p = ip_.next();
        f.out = p.out;
        const Mac host = macOf(p.farIp);
        addresses(f, host, host);
        f.lsn = pppoe_ ? kCodeSession : kCodeIpv4;
        if (pppoe_) {
            putBytes(f.bytes, {0x11, 0x00});
            putBe16(f.bytes, session_);
            putBe16(f.bytes, static_cast<uint16_t>(p.bytes.size() + 2));
            putBytes(f.bytes, {0x00, 0x21});
        }
        f.bytes.insert(f.bytes.end(), p.bytes.begin(), p.bytes.end());
    }

    // Who-has and is-at, between the device and a host, either way round.
    void arp(TrafficFrame& f) {
        const uint32_t hostIp = rng_.pick(std::span<const uint32_t>(hosts_));
        const Mac host = macOf(hostIp);
        const uint32_t deviceIp = ipv4(192, 168, subnet_, 1);
        const bool request = arpStep_ % 2 == 0;
        f.out = (arpStep_++ / 2) % 2 == 0 ? !request : request;
        f.lsn = kCodeArp;
        addresses(f, host, request ? kBroadcast : host);
        putBytes(f.bytes, {0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00,
                           static_cast<uint8_t>(request ? 1 : 2)});
        putMac(f.bytes, f.out ? device_ : host);
        putBe32(f.bytes, f.out ? deviceIp : hostIp);
        putMac(f.bytes, request ? Mac{} : (f.out ? host : device_));
        putBe32(f.bytes, f.out ? hostIp : deviceIp);
    }

    void whole(TrafficFrame& f) {
        f.lsn = kCodeWhole;
        const uint32_t kind = rng_.below(20);
        if (kind < 10) {
            f.out = false;  // from a host, to the all-routers group
            const Mac host = pickHost();
            putMac(f.bytes, {0x33, 0x33, 0x00, 0x00, 0x00, 0x02});
            putMac(f.bytes, host);
            putBytes(f.bytes, {0x86, 0xdd});
            putIpv6Packet(f.bytes, rng_, host);
        } else if (kind < 13) {
            lldp(f);
        } else if (kind < 16) {
            stp(f);
        } else {
            vlanPacket(f);
        }
    }

    void lldp(TrafficFrame& f) {
        f.out = rng_.percent(50);
        const Mac host = pickHost();
        addresses(f, host, {0x01, 0x80, 0xc2, 0x00, 0x00, 0x0e});
        putBytes(f.bytes, {0x88, 0xcc, 0x02, 0x07, 0x04});
        putMac(f.bytes, f.out ? device_ : host);
        putLldpTlv(f.bytes, 2, f.out ? "lan1" : "eth0", 5);  // port id: interface name
        putBytes(f.bytes, {0x06, 0x02, 0x00, 0x78});
        putLldpTlv(f.bytes, 5, f.out ? "orn-access-1" : "switch-floor2");
        putLldpTlv(f.bytes, 6, f.out ? "ORN access device, firmware 6.5" : "Managed switch 24 ports");
        putBytes(f.bytes, {0x00, 0x00});
    }

    // A configuration BPDU from the switch the port hangs on: 802.3 length, LLC.
    void stp(TrafficFrame& f) {
        f.out = false;
        const Mac bridge = {0x00, 0x1c, 0x0e, 0x11, 0x22, subnet_};
        putMac(f.bytes, {0x01, 0x80, 0xc2, 0x00, 0x00, 0x00});
        putMac(f.bytes, bridge);
        putBytes(f.bytes, {0x00, 0x26, 0x42, 0x42, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00});
        putMac(f.bytes, bridge);
        putBytes(f.bytes, {0x00, 0x00, 0x00, 0x00, 0x80, 0x00});
        putMac(f.bytes, bridge);
        putBytes(f.bytes, {0x80, 0x01, 0x00, 0x00, 0x14, 0x00, 0x02, 0x00, 0x0f, 0x00});
    }

    void vlanPacket(TrafficFrame& f) {
        IpPacket p = ip_.next();
        f.out = p.out;
        const Mac host = macOf(p.farIp);
        addresses(f, host, host);
        putBytes(f.bytes, {0x81, 0x00});
        putBe16(f.bytes, static_cast<uint16_t>(100 + subnet_ % 8));
        putBytes(f.bytes, {0x08, 0x00});
        f.bytes.insert(f.bytes.end(), p.bytes.begin(), p.bytes.end());
    }

    // PADI, PADO, PADR, PADS in turn, and now and then a PADT.
    void discovery(TrafficFrame& f) {
        static constexpr uint8_t kCodes[] = {0x09, 0x07, 0x19, 0x65, 0xa7};
        const uint32_t step = discoveryStep_++ % 5;
        const uint8_t code = kCodes[step];
        f.lsn = kCodeDiscovery;
        f.out = step % 2 == 1;
        const Mac host = pickHost();
        addresses(f, host, step == 0 ? kBroadcast : host);
        putBytes(f.bytes, {0x11, code});
        putBe16(f.bytes, code == 0x65 || code == 0xa7 ? session_ : 0);
        const size_t length = f.bytes.size();
        putBytes(f.bytes, {0x00, 0x00, 0x01, 0x01, 0x00, 0x08});
        putText(f.bytes, "internet");
        putBytes(f.bytes, {0x01, 0x03, 0x00, 0x04, 0x5a, 0x17, 0x00, static_cast<uint8_t>(step)});
        if (code == 0x07) {
            putBytes(f.bytes, {0x01, 0x02, 0x00, 0x0a});
            putText(f.bytes, "ORN-BRAS-1");
        }
        storeBe16(&f.bytes[length], static_cast<uint16_t>(f.bytes.size() - length - 2));
    }

    void sessionEcho(TrafficFrame& f) {
        f.lsn = kCodeSession;
        f.out = echoStep_++ % 2 == 0;
        const Mac host = pickHost();
        addresses(f, host, host);
        putBytes(f.bytes, {0x11, 0x00});
        putBe16(f.bytes, session_);
        putBytes(f.bytes, {0x00, 0x0a, 0xc0, 0x21, static_cast<uint8_t>(f.out ? 9 : 10),
                           static_cast<uint8_t>(echoStep_ / 2), 0x00, 0x08});
        putBe32(f.bytes, f.out ? 0x3c1d9e01 : 0x5a7730c4);
    }

    Rng& rng_;
    bool pppoe_;
    uint8_t subnet_;
    Mac device_;
    std::vector<uint32_t> hosts_;
    IpTraffic ip_;
    uint16_t session_;
    uint32_t arpStep_ = 0, discoveryStep_ = 0, echoStep_ = 0;
};

// ---- PPP-Sync and PPP-Async: one link per LSN, each set up with LCP, PAP
// and IPCP, then carrying IPv4 and LCP echoes, now and then taken down and
// set up again.

enum class Options { LocalLcp, PeerLcp, PapRequest, PapAck, IpcpZero, IpcpAssigned, IpcpPeer };

struct NegotiationStep {
    bool out;
    uint16_t protocol;
    uint8_t code;
    Options options;
};
constexpr uint16_t kLcp = 0xc021, kPap = 0xc023, kIpcp = 0x8021;
constexpr NegotiationStep kNegotiation[] = {
    {true, kLcp, 1, Options::LocalLcp},      {false, kLcp, 1, Options::PeerLcp},
    {true, kLcp, 2, Options::PeerLcp},       {false, kLcp, 2, Options::LocalLcp},
    {true, kPap, 1, Options::PapRequest},    {false, kPap, 2, Options::PapAck},
    {true, kIpcp, 1, Options::IpcpZero},     {false, kIpcp, 3, Options::IpcpAssigned},
    {true, kIpcp, 1, Options::IpcpAssigned}, {false, kIpcp, 2, Options::IpcpAssigned},
    {false, kIpcp, 1, Options::IpcpPeer},    {true, kIpcp, 2, Options::IpcpPeer},
};
constexpr size_t kNegotiationSteps = std::size(kNegotiation);

// FF 03, protocol, code, identifier; the length follows once the packet is whole.
void putControl(Bytes& b, uint16_t protocol, uint8_t code, uint8_t id) {
    putBytes(b, {0xff, 0x03});
    putBe16(b, protocol);
    putBytes(b, {code, id, 0x00, 0x00});
}

void finishControl(Bytes& b) {
    storeBe16(&b[6], static_cast<uint16_t>(b.size() - 4));
}

void putIpOption(Bytes& b, uint8_t type, uint32_t address) {
    putBytes(b, {type, 0x06});
    putBe32(b, address);
}

class PppLink {
public:
    PppLink(Rng& rng, uint16_t lsn, bool async)
        : rng_(&rng), lsn_(lsn), async_(async),
          localIp_(ipv4(10, 64, static_cast<uint8_t>(rng.below(256)), static_cast<uint8_t>(rng.between(2, 254)))),
          peerIp_(ipv4(10, 0, 0, 1)),
          ip_(rng, userTraffic(rng, {localIp_}, 1500)) {
        restart();
    }

    void next(TrafficFrame& f) {
        f.lsn = lsn_;
        if (step_ < kNegotiationSteps) {
            negotiation(f, kNegotiation[step_++]);
        } else if (framesUp_++ >= lifetime_) {
            terminate(f);
        } else {
            data(f);
        }
    }

private:
    void restart() {
        step_ = 0;
        framesUp_ = 0;
        lifetime_ = rng_->between(500, 6000);
        localMagic_ = rng_->next();
        peerMagic_ = rng_->next();
    }

    void negotiation(TrafficFrame& f, const NegotiationStep& step) {
        f.out = step.out;
        putControl(f.bytes, step.protocol, step.code, static_cast<uint8_t>(step.code == 1 ? ++id_ : id_));
        putOptions(f.bytes, step.options);
        finishControl(f.bytes);
    }

    void putOptions(Bytes& b, Options options) {
        const bool local = options == Options::LocalLcp;
        switch (options) {
            case Options::LocalLcp:
            case Options::PeerLcp:
                putBytes(b, {0x01, 0x04, 0x05, 0xdc});
                if (async_) putBytes(b, {0x02, 0x06, 0x00, 0x00, 0x00, 0x00});
                if (!local) putBytes(b, {0x03, 0x04, 0xc0, 0x23});
                putIpOption(b, 0x05, local ? localMagic_ : peerMagic_);
                break;
            case Options::PapRequest:
                putBytes(b, {16});
                putText(b, "orn@isp.example.");
                putBytes(b, {8});
                putText(b, "s3cr3t!!");
                break;
            case Options::PapAck:
                putBytes(b, {8});
                putText(b, "Login ok");
                break;
            case Options::IpcpZero:
            case Options::IpcpAssigned: {
                const bool zero = options == Options::IpcpZero;
                putIpOption(b, 0x03, zero ? 0 : localIp_);
                putIpOption(b, 0x81, zero ? 0 : ipv4(10, 0, 0, 53));
                putIpOption(b, 0x83, zero ? 0 : ipv4(10, 0, 1, 53));
                break;
            }
            case Options::IpcpPeer: putIpOption(b, 0x03, peerIp_); break;
        }
    }

    // Terminate-Request out, Terminate-Ack in, then set up anew.
    void terminate(TrafficFrame& f) {
        const bool request = !terminating_;
        f.out = request;
        putControl(f.bytes, kLcp, request ? 5 : 6, id_);
        putText(f.bytes, request ? "User request" : "");
        finishControl(f.bytes);
        terminating_ = request;
        if (!request) {
            restart();
        }
    }

    void data(TrafficFrame& f) {
        if (echoPending_ || rng_->percent(2)) {
            f.out = !echoPending_;
            putControl(f.bytes, kLcp, echoPending_ ? 10 : 9, echoPending_ ? id_ : ++id_);
            putBe32(f.bytes, echoPending_ ? peerMagic_ : localMagic_);
            finishControl(f.bytes);
            echoPending_ = !echoPending_;
            return;
        }
        IpPacket p = ip_.next();
        f.out = p.out;
        putBytes(f.bytes, {0xff, 0x03, 0x00, 0x21});
        f.bytes.insert(f.bytes.end(), p.bytes.begin(), p.bytes.end());
    }

    Rng* rng_;
    uint16_t lsn_;
    bool async_;
    uint32_t localIp_, peerIp_;
    IpTraffic ip_;
    size_t step_ = 0;
    uint32_t framesUp_ = 0, lifetime_ = 0;
    uint32_t localMagic_ = 0, peerMagic_ = 0;
    uint8_t id_ = 0;
    bool echoPending_ = false, terminating_ = false;
};

class PppTraffic : public FormatTraffic {
public:
    PppTraffic(Rng& rng, const TrafficSpec& recipe, bool async) : rng_(rng), async_(async) {
        for (uint16_t i = 0; i < recipe.lsns; ++i) {
            links_.emplace_back(rng, static_cast<uint16_t>(recipe.lsn + i), async);
        }
    }

    void next(TrafficFrame& f) override {
        links_[rng_.below(static_cast<uint32_t>(links_.size()))].next(f);
        if (async_) {
            frameAsync(f);
        }
    }

private:
    // FCS, flags and escapes; one frame in a hundred is damaged on the line,
    // one in a hundred captured cut short.
    void frameAsync(TrafficFrame& f) {
        appendFcs(f.bytes);
        if (rng_.percent(1)) {
            f.bytes[rng_.between(2, static_cast<uint32_t>(f.bytes.size() - 1))] ^= 0x04;
        }
        f.bytes = stuffAsync(f.bytes);
        if (rng_.percent(1) && f.bytes.size() > 16) {
            f.lineLength = static_cast<uint32_t>(f.bytes.size());
            f.bytes.resize(rng_.between(12, static_cast<uint32_t>(f.bytes.size() - 1)));
        }
    }

    Rng& rng_;
    bool async_;
    std::vector<PppLink> links_;
};

// ---- Raw-IP: IPv4 packets, on some links behind a Cisco HDLC header (with
// the odd SLARP keepalive) or a Frame Relay header (Q.922 address, UI, NLPID
// IPv4); none of these bytes is 0x45.

enum class LinkHeader { None, CiscoHdlc, FrameRelay };

struct RawIpLink {
    uint16_t lsn;
    LinkHeader header;
    uint16_t dlci;
    uint32_t keepalives = 0;
};

class RawIpTraffic : public FormatTraffic {
public:
    RawIpTraffic(Rng& rng, const TrafficSpec& recipe)
        : rng_(rng), ip_(rng, userTraffic(rng, lanHosts(static_cast<uint8_t>(rng.below(100)), 6), 1500)) {
        static constexpr LinkHeader kHeaders[] = {LinkHeader::None, LinkHeader::None,
                                                  LinkHeader::CiscoHdlc, LinkHeader::CiscoHdlc,
                                                  LinkHeader::FrameRelay};
        static constexpr uint16_t kDlcis[] = {16, 17, 100, 101, 102, 200, 300, 500};
        for (uint16_t i = 0; i < recipe.lsns; ++i) {
            links_.push_back({static_cast<uint16_t>(recipe.lsn + i),
                              rng.pick(std::span<const LinkHeader>(kHeaders)),
                              rng.pick(std::span<const uint16_t>(kDlcis))});
        }
    }

    void next(TrafficFrame& f) override {
        RawIpLink& link = links_[rng_.below(static_cast<uint32_t>(links_.size()))];
        f.lsn = link.lsn;
        if (link.header == LinkHeader::CiscoHdlc && rng_.percent(1)) {
            slarp(f, link);
            return;
        }
        IpPacket p = ip_.next();
        f.out = p.out;
        if (link.header == LinkHeader::CiscoHdlc) {
            putBytes(f.bytes, {0x0f, 0x00, 0x08, 0x00});
        } else if (link.header == LinkHeader::FrameRelay) {
            putBe16(f.bytes, static_cast<uint16_t>(((link.dlci >> 4) << 10) | ((link.dlci & 0xF) << 4) | 1));
            putBytes(f.bytes, {0x03, 0xcc});
        }
        f.bytes.insert(f.bytes.end(), p.bytes.begin(), p.bytes.end());
    }

private:
    void slarp(TrafficFrame& f, RawIpLink& link) {
        f.out = link.keepalives % 2 == 0;
        const uint32_t mine = ++link.keepalives;
        putBytes(f.bytes, {0x8f, 0x00, 0x80, 0x35, 0x00, 0x00, 0x00, 0x02});
        putBe32(f.bytes, mine);
        putBe32(f.bytes, mine - 1);
        putBytes(f.bytes, {0xff, 0xff});
    }

    Rng& rng_;
    IpTraffic ip_;
    std::vector<RawIpLink> links_;
};

// ---- Internal-UDP: the device's own traffic, behind an 18-byte internal
// header, the peer's Ethernet address and two more bytes.

class InternalUdpTraffic : public FormatTraffic {
public:
    InternalUdpTraffic(Rng& rng, const TrafficSpec& recipe)
        : rng_(rng), lsn_(recipe.lsn), lsns_(recipe.lsns),
          ip_(rng, {{ipv4(10, 1, 1, static_cast<uint8_t>(rng.between(10, 250)))},
                    {ipv4(10, 1, 1, 5), ipv4(10, 1, 1, 6), ipv4(10, 1, 2, 53), ipv4(192, 0, 2, 123)},
                    kDeviceApps, 85, 1500}) {}

    void next(TrafficFrame& f) override {
        IpPacket p = ip_.next();
        f.out = p.out;
        f.lsn = static_cast<uint16_t>(lsn_ + rng_.below(lsns_));
        putBytes(f.bytes, {0x4f, 0x52, 0x4e, 0x01, 0x00, 0x32});
        putBe16(f.bytes, ++sequence_);
        f.bytes.resize(f.bytes.size() + 4);
        storeLe32(&f.bytes[f.bytes.size() - 4], sequence_ * 37u);
        f.bytes.resize(18, 0);
        putMac(f.bytes, macOf(p.farIp));
        putBytes(f.bytes, {0x00, 0x00});
        f.bytes.insert(f.bytes.end(), p.bytes.begin(), p.bytes.end());
    }

private:
    Rng& rng_;
    uint16_t lsn_;
    uint32_t lsns_;
    IpTraffic ip_;
    uint16_t sequence_ = 0;
};

// ---- I4B ISDN: the D channel of a basic rate interface, user side. One
// terminal per LSN gets its TEI, sets up its data link and makes and takes
// calls; between calls the link is polled with RR. Out is user to network.

struct Terminal {
    uint16_t lsn = 0;
    uint8_t tei = 0;
    bool assigned = false, established = false;
    uint8_t userSent = 0, networkSent = 0;  // I frames sent, modulo 128
    uint8_t callReference = 0;
    Bytes number;  // the terminal's own number, as digits
};

// Q.931: discriminator, call reference (flagged when sent by the side that did
// not originate the call), message type.
Bytes q931(uint8_t callReference, bool byOriginator, uint8_t type) {
    return {0x08, 0x01, static_cast<uint8_t>(callReference | (byOriginator ? 0 : 0x80)), type};
}

void putNumber(Bytes& b, uint8_t element, uint8_t typeAndPlan, const Bytes& digits) {
    putBytes(b, {element, static_cast<uint8_t>(digits.size() + 1), typeAndPlan});
    b.insert(b.end(), digits.begin(), digits.end());
}

Bytes randomNumber(Rng& rng) {
    Bytes digits;
    putDigits(digits, rng, rng.between(7, 11));
    return digits;
}

constexpr uint8_t kSetup = 0x05, kCallProceeding = 0x02, kAlerting = 0x01, kConnect = 0x07,
                  kConnectAck = 0x0f, kDisconnect = 0x45, kRelease = 0x4d,
                  kReleaseComplete = 0x5a, kInformation = 0x7b;

class I4bTraffic : public FormatTraffic {
public:
    I4bTraffic(Rng& rng, const TrafficSpec& recipe) : rng_(rng) {
        for (uint16_t i = 0; i < recipe.lsns; ++i) {
            Terminal t;
            t.lsn = static_cast<uint16_t>(recipe.lsn + i);
            t.tei = static_cast<uint8_t>(64 + rng.below(63));
            t.number = {'3', '0', '1', '2'};
            putDigits(t.number, rng, 4);
            terminals_.push_back(std::move(t));
        }
    }

    void next(TrafficFrame& f) override {
        while (pending_.empty()) {
            episode(terminals_[rng_.below(static_cast<uint32_t>(terminals_.size()))]);
        }
        f = std::move(pending_.front());
        pending_.pop_front();
    }

private:
    void episode(Terminal& t) {
        if (!t.assigned) {
            assignTei(t);
        } else if (!t.established) {
            establish(t);
        } else {
            const uint32_t roll = rng_.below(100);
            if (roll < 45) poll(t);
            else if (roll < 75) outgoingCall(t);
            else if (roll < 97) incomingCall(t);
            else release(t);
        }
    }

    void push(const Terminal& t, bool fromUser, Bytes bytes) {
        pending_.push_back({std::move(bytes), t.lsn, fromUser, 0});
    }

    // Address: SAPI and C/R (set on commands from the network and responses
    // from the user), then TEI.
    Bytes address(const Terminal& t, uint8_t sapi, bool fromUser, bool command, bool broadcast = false) {
        return {static_cast<uint8_t>((sapi << 2) | (fromUser != command ? 2 : 0)),
                static_cast<uint8_t>(((broadcast ? 127 : t.tei) << 1) | 1)};
    }

    void unnumbered(const Terminal& t, bool fromUser, bool command, uint8_t control) {
        Bytes b = address(t, 0, fromUser, command);
        b.push_back(control);
        push(t, fromUser, std::move(b));
    }

    void receiverReady(const Terminal& t, bool fromUser, bool command, bool pollFinal) {
        Bytes b = address(t, 0, fromUser, command);
        const uint8_t received = fromUser ? t.networkSent : t.userSent;
        putBytes(b, {0x01, static_cast<uint8_t>((received << 1) | (pollFinal ? 1 : 0))});
        push(t, fromUser, std::move(b));
    }

    // An I frame with the message, mostly answered by RR.
    void information(Terminal& t, bool fromUser, const Bytes& message) {
        Bytes b = address(t, 0, fromUser, true);
        uint8_t& sent = fromUser ? t.userSent : t.networkSent;
        const uint8_t received = fromUser ? t.networkSent : t.userSent;
        putBytes(b, {static_cast<uint8_t>(sent << 1), static_cast<uint8_t>(received << 1)});
        sent = static_cast<uint8_t>((sent + 1) % 128);
        b.insert(b.end(), message.begin(), message.end());
        push(t, fromUser, std::move(b));
        if (rng_.percent(75)) {
            receiverReady(t, !fromUser, false, false);
        }
    }

    // Identity request and assignment on SAPI 63, TEI 127.
    void assignTei(Terminal& t) {
        const uint16_t ri = static_cast<uint16_t>(rng_.next());
        for (const bool fromUser : {true, false}) {
            Bytes b = address(t, 63, fromUser, true, true);
            putBytes(b, {0x03, 0x0f});
            putBe16(b, ri);
            putBytes(b, {static_cast<uint8_t>(fromUser ? 1 : 2),
                         static_cast<uint8_t>(fromUser ? 0xff : (t.tei << 1) | 1)});
            push(t, fromUser, std::move(b));
        }
        t.assigned = true;
    }

    void establish(Terminal& t) {
        unnumbered(t, true, true, 0x7f);    // SABME, P
        unnumbered(t, false, false, 0x73);  // UA, F
        t.userSent = t.networkSent = 0;
        t.established = true;
    }

    void release(Terminal& t) {
        unnumbered(t, true, true, 0x53);    // DISC, P
        unnumbered(t, false, false, 0x73);  // UA, F
        t.established = false;
    }

    void poll(Terminal& t) {
        const bool byUser = rng_.percent(50);
        receiverReady(t, byUser, true, true);
        receiverReady(t, !byUser, false, true);
    }

    Bytes setup(Terminal& t, bool fromUser, const Bytes& calling, const Bytes& called) {
        Bytes m = q931(t.callReference, true, kSetup);
        if (fromUser) m.push_back(0xa1);  // sending complete
        if (rng_.percent(70)) putBytes(m, {0x04, 0x03, 0x80, 0x90, 0xa3});  // speech, A-law
        else putBytes(m, {0x04, 0x02, 0x88, 0x90});                        // 64 kbit/s data
        putBytes(m, {0x18, 0x01, static_cast<uint8_t>(fromUser ? 0x83 : 0x89 + rng_.below(2))});
        putNumber(m, 0x6c, 0xa1, calling);
        putNumber(m, 0x70, fromUser ? 0x81 : 0xc1, called);
        return m;
    }

    // Disconnect, release, release complete, started by either side.
    void clearCall(Terminal& t, bool userOriginated, bool byUser, uint8_t cause) {
        Bytes disconnect = q931(t.callReference, byUser == userOriginated, kDisconnect);
        putBytes(disconnect, {0x08, 0x02, static_cast<uint8_t>(byUser ? 0x80 : 0x82), cause});
        information(t, byUser, disconnect);
        information(t, !byUser, q931(t.callReference, byUser != userOriginated, kRelease));
        information(t, byUser, q931(t.callReference, byUser == userOriginated, kReleaseComplete));
    }

    void charging(Terminal& t, bool userOriginated) {
        for (uint32_t units = rng_.below(4); units > 0; --units) {
            Bytes m = q931(t.callReference, !userOriginated, kInformation);
            putBytes(m, {0x28, 0x0f});
            putText(m, "Charge units: ");
            putDigits(m, rng_, 1);
            information(t, false, m);
        }
    }

    void outgoingCall(Terminal& t) {
        t.callReference = static_cast<uint8_t>(1 + rng_.below(127));
        information(t, true, setup(t, true, t.number, randomNumber(rng_)));
        Bytes proceeding = q931(t.callReference, false, kCallProceeding);
        putBytes(proceeding, {0x18, 0x01, static_cast<uint8_t>(0x89 + rng_.below(2))});
        information(t, false, proceeding);
        if (rng_.percent(20)) {  // busy
            clearCall(t, true, false, 0x91);
            return;
        }
        information(t, false, q931(t.callReference, false, kAlerting));
        Bytes connect = q931(t.callReference, false, kConnect);
        putBytes(connect, {0x29, 0x05, 0x09, 0x0c, 0x09, 0x0c, static_cast<uint8_t>(rng_.below(60))});
        information(t, false, connect);
        information(t, true, q931(t.callReference, true, kConnectAck));
        charging(t, true);
        clearCall(t, true, rng_.percent(60), 0x90);
    }

    // The network offers the call to every terminal in a UI frame; this one
    // alerts and, mostly, answers.
    void incomingCall(Terminal& t) {
        t.callReference = static_cast<uint8_t>(1 + rng_.below(127));
        Bytes b = address(t, 0, false, true, true);
        b.push_back(0x03);
        const Bytes m = setup(t, false, randomNumber(rng_), t.number);
        b.insert(b.end(), m.begin(), m.end());
        push(t, false, std::move(b));
        information(t, true, q931(t.callReference, false, kAlerting));
        if (rng_.percent(25)) {  // no answer
            clearCall(t, false, false, 0x93);
            return;
        }
        information(t, true, q931(t.callReference, false, kConnect));
        information(t, false, q931(t.callReference, true, kConnectAck));
        clearCall(t, false, rng_.percent(50), 0x90);
    }

    Rng& rng_;
    std::vector<Terminal> terminals_;
    std::deque<TrafficFrame> pending_;
};

// ---- The driver

struct FormatName {
    std::string_view name;
    TrafficFormat format;
};
constexpr FormatName kFormatNames[] = {
    {"ethernet", TrafficFormat::Ethernet}, {"ppp-sync", TrafficFormat::PppSync},
    {"ppp-async", TrafficFormat::PppAsync}, {"raw-ip", TrafficFormat::RawIp},
    {"i4b", TrafficFormat::I4b},           {"internal-udp", TrafficFormat::InternalUdp},
};

std::unique_ptr<FormatTraffic> makeTraffic(Rng& rng, const TrafficSpec& recipe) {
    switch (recipe.format) {
        case TrafficFormat::Ethernet: return std::make_unique<EthernetTraffic>(rng);
        case TrafficFormat::PppSync: return std::make_unique<PppTraffic>(rng, recipe, false);
        case TrafficFormat::PppAsync: return std::make_unique<PppTraffic>(rng, recipe, true);
        case TrafficFormat::RawIp: return std::make_unique<RawIpTraffic>(rng, recipe);
        case TrafficFormat::I4b: return std::make_unique<I4bTraffic>(rng, recipe);
        case TrafficFormat::InternalUdp: return std::make_unique<InternalUdpTraffic>(rng, recipe);
    }
    return nullptr;
}

// Gaps in quarters of the mean step: bursts, steady traffic and pauses.
constexpr uint32_t kGapQuarters[] = {0, 0, 1, 2, 2, 3, 4, 4, 4, 5, 6, 8, 12};

uint32_t nextGap(Rng& rng, uint32_t stepMs) {
    const uint64_t quarters = rng.pick(std::span<const uint32_t>(kGapQuarters));
    return static_cast<uint32_t>(stepMs * quarters / 4);
}

}  // namespace

std::optional<TrafficFormat> trafficFormatNamed(const std::string& name) {
    for (const FormatName& f : kFormatNames) {
        if (f.name == name) {
            return f.format;
        }
    }
    return std::nullopt;
}

void generateTraffic(const TrafficSpec& recipe, const TrafficReceiver& sink,
                     const std::function<bool()>& stop) {
    if (recipe.count == 0 || recipe.lsns == 0) {
        return;
    }
    Rng rng((uint64_t{recipe.seed} << 32) ^ (uint64_t{recipe.port} << 8) ^
            static_cast<uint64_t>(recipe.format));
    const std::unique_ptr<FormatTraffic> traffic = makeTraffic(rng, recipe);
    EventRecord record;
    record.port = recipe.port;
    uint32_t time = recipe.startMs;
    TrafficFrame frame;
    for (unsigned long n = 0; n < recipe.count; ++n) {
        frame.bytes.clear();
        frame.lineLength = 0;
        traffic->next(frame);
        record.timeMs = time;
        record.lsn = frame.lsn;
        record.eventType = frame.out ? kEventFrameSent : kEventFrameReceived;
        record.origLength = static_cast<uint16_t>(std::max<size_t>(frame.lineLength, frame.bytes.size()));
        record.dataLength = static_cast<uint16_t>(frame.bytes.size());
        sink(record, frame.bytes);
        if (stop && stop()) {
            return;
        }
        time += nextGap(rng, recipe.stepMs);
    }
}

void addTraffic(TraceWriter& writer, const TrafficSpec& recipe) {
    generateTraffic(recipe, [&](const EventRecord& record, std::span<const uint8_t> payload) {
        writer.addRecord(record, payload);
    }, [&writer] { return !writer.takesRecords(); });
}

}  // namespace ornpcap::tracebuild
