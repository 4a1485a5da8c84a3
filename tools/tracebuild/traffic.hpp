#pragma once
// Realistic traffic for traces: the frames a device captures on a port of
// each frame format, with real headers, lengths and checksums, and payloads
// that look like what networks carry (HTTP and HTML, DNS names, syslog and
// configuration text, NTP, SNMP, ping patterns, some TLS), not random bytes.
//
//   ETHERNET      LAN traffic (IPv4 under code 1, ARP under 2, IPv6, LLDP,
//                 STP and VLAN-tagged frames stored whole under 7), or a
//                 PPPoE access port (Discovery under 5, Session under 6)
//   PPP-Sync      FF 03: LCP, PAP and IPCP set-up, IPv4, LCP echoes, one link
//                 per LSN
//   PPP-Async     the same frames with their FCS-16, flags and escapes; now
//                 and then one damaged on the line or captured cut short
//   Raw-IP        IPv4 packets, on some links behind a Cisco HDLC or a Frame
//                 Relay header
//   I4B ISDN      LAPD on a D channel: TEI assignment, SABME/UA, Q.931 calls
//                 in and out, RR; one terminal (TEI) per LSN
//   Internal-UDP  the device's own UDP traffic behind the 26-byte internal
//                 header: NTP, syslog, DNS, SNMP, TFTP
//
// Conversations interleave, sizes run from 3-byte LAPD frames to full-size
// segments, directions mix (event type 20 out of the port, 21 into it) and
// time steps come in bursts and pauses around the mean step. The same recipe
// and seed give the same records.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "tracebuild/trace_builder.hpp"

namespace ornpcap::tracebuild {

enum class TrafficFormat { Ethernet = 1, PppSync, PppAsync, RawIp, I4b, InternalUdp };

// ethernet, ppp-sync, ppp-async, raw-ip, i4b, internal-udp.
std::optional<TrafficFormat> trafficFormatNamed(const std::string& name);

struct TrafficSpec {
    TrafficFormat format = TrafficFormat::Ethernet;
    uint16_t port = 0;
    uint16_t lsn = 0;   // first LSN; ETHERNET puts its protocol codes there instead
    uint16_t lsns = 1;  // links (PPP, Raw-IP) or terminals (I4B), LSNs lsn to lsn + lsns - 1
    unsigned long count = 0;
    uint32_t seed = 1;
    uint32_t startMs = 0;
    uint32_t stepMs = 10;  // mean time between records
};

using TrafficReceiver =
    std::function<void(const EventRecord& record, std::span<const uint8_t> payload)>;

// Hands the records a TrafficSpec describes to the sink in time order; when
// `stop` is given, it is asked after every record, and true ends the records
// there.
void generateTraffic(const TrafficSpec& recipe, const TrafficReceiver& sink,
                     const std::function<bool()>& stop = {});

// Appends the records a TrafficSpec describes to the trace, while the writer
// takes them.
void addTraffic(TraceWriter& writer, const TrafficSpec& recipe);

}  // namespace ornpcap::tracebuild
