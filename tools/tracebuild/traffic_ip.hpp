#pragma once
// The IP side of the realistic traffic (traffic.hpp): a seeded random source,
// byte writers, text, IPv4 and IPv6 packets with their checksums, and
// interleaved conversations (web, TLS, DNS, NTP, syslog, SNMP, TFTP, ping)
// between the hosts on the near side of a port and those on its far side.

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <string_view>
#include <vector>

#include "tracebuild/trace_builder.hpp"

namespace ornpcap::tracebuild::traffic {

// splitmix64: the same numbers from the same seed everywhere.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint32_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>((uint64_t{next()} * n) >> 32); }
    uint32_t between(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
    bool percent(uint32_t p) { return below(100) < p; }
    template <class T>
    const T& pick(std::span<const T> items) {
        return items[below(static_cast<uint32_t>(items.size()))];
    }

private:
    uint64_t state_;
};

// Appending to frames; multi-byte fields in network order.
void putBytes(Bytes& b, std::initializer_list<uint8_t> bytes);
void putBe16(Bytes& b, uint16_t v);
void putBe32(Bytes& b, uint32_t v);
void putText(Bytes& b, std::string_view text);
void putRandom(Bytes& b, Rng& rng, size_t n);
// Words, sentences and markup: appends exactly n bytes.
void putProse(Bytes& b, Rng& rng, size_t n);
void putHtml(Bytes& b, Rng& rng, size_t n);
void putDigits(Bytes& b, Rng& rng, size_t n);

std::string_view pickHostName(Rng& rng);

// A station address derived from an IPv4 address, stable for the address.
std::array<uint8_t, 6> macOf(uint32_t ip);
void putMac(Bytes& b, const std::array<uint8_t, 6>& mac);

// IPv6 packets as LAN and PPP links carry them: ICMPv6 echo or neighbour
// discovery, or a DNS query over UDP; checksums right.
void putIpv6Packet(Bytes& b, Rng& rng, const std::array<uint8_t, 6>& host);

enum class App : uint8_t { Web, Tls, Dns, Ntp, Syslog, Snmp, Tftp, Ping };

struct IpPacket {
    Bytes bytes;           // the IPv4 packet
    bool out = false;      // sent by the near side, so out of the port
    uint32_t farIp = 0;    // the address on the far side of the port
};

// Who talks: hosts on each side of the port, and the conversations they hold
// (an app listed twice is twice as common).
struct IpTrafficSpec {
    std::vector<uint32_t> nearHosts;
    std::vector<uint32_t> farHosts;
    std::span<const App> apps;
    uint32_t nearClientPercent = 80;  // conversations the near side opens
    uint16_t mtu = 1500;
};

// A few conversations at a time, each a queue of its packets in order; every
// packet comes from one of them, picked at random, so they interleave.
class IpTraffic {
public:
    IpTraffic(Rng& rng, IpTrafficSpec recipe);
    IpPacket next();

private:
    void startConversation(std::deque<IpPacket>& queue);

    Rng* rng_;
    IpTrafficSpec spec_;
    std::array<std::deque<IpPacket>, 4> conversations_;
};

uint32_t ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

}  // namespace ornpcap::tracebuild::traffic
