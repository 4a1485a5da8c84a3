#pragma once
// pcapng blocks, little-endian like every integer of the section.
//
// Every block: 0 blockType u32, 4 blockLength u32 (of the whole block), the
// body, zero-padded to a multiple of 4, then blockLength again. Options: code
// u16, length u16, the value zero-padded to a multiple of 4; the list ends
// with opt_endofopt (code 0, length 0). A time stamp is a 64-bit count of the
// interface's units (if_tsresol) since 1970, stored as its high u32, then
// its low u32.
//
//   Section Header Block, type 0x0A0D0D0A
//     8 byteOrderMagic 0x1A2B3C4D   12 major u16 = 1   14 minor u16 = 0
//     16 sectionLength i64 = -1 (not given)
//     24 options: shb_userappl (4) text, opt_comment (1) text
//   Interface Description Block, type 1
//     8 linkType u16   10 reserved u16 = 0   12 snapLen u32 (0: no limit)
//     16 options: if_name (2) text, if_description (3) text,
//        if_tsresol (9) one byte: 3, milliseconds
//   Enhanced Packet Block, type 6
//     8 interfaceId u32   12 timestamp high   16 timestamp low
//     20 capturedLength u32   24 originalLength u32   28 packet data
//     options: epb_flags (2) u32: bits 0-1 direction (1 inbound, 2 outbound),
//        bit 24 CRC error, bit 26 packet too short
//   Interface Statistics Block, type 5
//     8 interfaceId u32   12 timestamp high   16 timestamp low
//     20 options: isb_starttime (2), isb_endtime (3): time stamps;
//        isb_ifrecv (4), isb_filteraccept (6), isb_usrdeliv (8): u64;
//        opt_comment (1) text

#include <cstdint>
#include <string>
#include <vector>

#include "frames/pcapng_framing.hpp"

namespace ornpcap {

using PcapngBlock = std::vector<uint8_t>;

inline constexpr uint32_t kPcapngMilliseconds = 3;  // if_tsresol: 10^-3 s

inline constexpr uint32_t kPacketInbound = 1;
inline constexpr uint32_t kPacketOutbound = 2;

struct SectionHeader {
    std::string application;  // shb_userappl
    std::string comment;
};
PcapngBlock sectionHeaderBlock(const SectionHeader& section);

struct InterfaceDescription {
    uint16_t linkType = 0;
    uint32_t snapLength = 0;
    std::string name;
    std::string description;
};
// Where the snapLen field stands in the block.
inline constexpr uint32_t kIdbSnapLengthOffset = 12;
PcapngBlock interfaceDescriptionBlock(const InterfaceDescription& interface);

struct PacketFields {
    uint32_t interfaceId = 0;
    uint64_t timestamp = 0;
    uint32_t capturedLength = 0;
    uint32_t originalLength = 0;
    uint32_t flags = 0;  // epb_flags
};
// An Enhanced Packet Block is built in place around its packet data, which
// the caller puts at kEpbDataOffset of a buffer with room for
// kEpbDataOffset + capturedLength + kEpbTailRoom bytes.
inline constexpr uint32_t kEpbDataOffset = 28;
inline constexpr uint32_t kEpbInterfaceIdOffset = 8;
inline constexpr uint32_t kEpbTailRoom = 3 + 8 + 4 + 4;  // padding, epb_flags, end, length
// Writes the fields before the data and the padding, options and length
// after it; returns the length of the block.
uint32_t completePacketBlock(uint8_t* block, const PacketFields& packet);

struct InterfaceStatistics {
    uint32_t interfaceId = 0;
    uint64_t timestamp = 0;  // the block's own: the interface's last packet
    bool hasPackets = false;  // then first and last stand in isb_starttime, isb_endtime
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t received = 0;  // isb_ifrecv
    uint64_t accepted = 0;  // isb_filteraccept
    uint64_t delivered = 0; // isb_usrdeliv
    std::string comment;
};
PcapngBlock interfaceStatisticsBlock(const InterfaceStatistics& statistics);

}  // namespace ornpcap
