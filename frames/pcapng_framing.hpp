#pragma once
// The packets of a pcapng interface, by the frame format of its port: the
// link type, and how a record's payload becomes the packet.
//
//   ETHERNET, PPP-Sync, Raw-IP, Internal-UDP   the pcap framing, byte for byte
//                                              (link types 1, 9, 101 and 1)
//   PPP-Async   the pcap framing (9); the frames it refuses that the .vn
//               output keeps are kept the same way, flagged: a bad FCS as a
//               CRC error, three bytes as too short
//   I4B ISDN    LINKTYPE_LINUX_LAPD (177): a 16-byte pseudo-header, then the
//               LAPD frame as captured. The pseudo-header, big-endian:
//               0 packet type (4 sent by the port, 0 received)
//               2 hardware type 8445 (LAPD)   4 address length 1
//               6 address: 8 bytes, the first 0 (the port is the user side)
//               14 protocol 0x0030 (LAPD)
//               so readers show frames sent as User -> Network and frames
//               received as Network -> User, also once copied to pcap.

#include <cstdint>
#include <string_view>

#include "trace/event_record.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap {

inline constexpr uint32_t kLapdPseudoHeaderSize = 16;
// The most bytes a framing adds to a record's payload.
inline constexpr uint32_t kPcapngMostAdded = kLapdPseudoHeaderSize;
// Room a frame needs: the largest payload plus what its framing adds.
inline constexpr uint32_t kPcapngFrameRoom = 65535 + kPcapngMostAdded;

// epb_flags error bits.
inline constexpr uint32_t kPacketCrcError = 1u << 24;
inline constexpr uint32_t kPacketTooShort = 1u << 26;

struct PcapngLink {
    uint16_t linkType;
    std::string_view name;  // as libpcap names it
};
PcapngLink pcapngLinkOf(FrameFormat format);

// The longest packet any format written with this format's link type makes
// of a record (65535 bytes of payload at most): 65537 for link type 1
// (ETHERNET adds an EtherType; Internal-UDP takes 12 bytes off), 65535 for
// PPP and raw IP, 65551 for LAPD. No packet of the interface exceeds it.
uint32_t pcapngLongestPacket(FrameFormat format);

struct PcapngFrame {
    uint32_t capturedLength = 0;
    uint32_t originalLength = 0;
    uint32_t errorFlags = 0;  // epb_flags error bits
};

// Frames the record's payload (dataLength bytes, not null) by its port's
// format into frame (kPcapngFrameRoom bytes). False when refused.
bool framePcapngRecord(const EventRecord& record, const uint8_t* payload, FrameFormat format,
                       uint8_t* frame, PcapngFrame& out);

// The framers, as the format table names them: the pcap framing as it is;
// PPP-Async with the damaged frames kept and flagged; LAPD behind its
// pseudo-header.
bool framePcapngAsPcap(const EventRecord& record, const uint8_t* payload, FrameFormat format,
                       uint8_t* frame, PcapngFrame& out);
bool framePcapngPppAsync(const EventRecord& record, const uint8_t* payload, FrameFormat format,
                         uint8_t* frame, PcapngFrame& out);
bool framePcapngLapd(const EventRecord& record, const uint8_t* payload, FrameFormat format,
                     uint8_t* frame, PcapngFrame& out);

}  // namespace ornpcap
