#pragma once
// Turns a captured frame into what the pcap file's link type expects.
//
//   ETHERNET      the record's lsn is a protocol code: 1 IPv4, 2 ARP, 5 PPPoE
//                 Discovery, 6 PPPoE Session get their EtherType inserted after
//                 the two addresses; 7 is a complete frame; others are refused
//   PPP-Sync      copied
//   PPP-Async     flags and escapes removed, FCS checked and left out
//   Raw-IP        starts at the first 0x45 byte (IPv4, 5-word header)
//   Internal-UDP  the 26-byte internal header becomes a 14-byte Ethernet header
//
// Each framer writes the outgoing frame from the first byte of the frame
// buffer, adjusts inclLen and origLen, and answers whether it accepts the frame.

#include <cstdint>

#include "trace/event_record.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap {

struct PcapRecordHeader {
    uint32_t tsSec = 0;
    uint32_t tsUsec = 0;
    uint32_t inclLen = 0;
    uint32_t origLen = 0;
};

// Room for the largest record (dataLength 65535) plus the inserted EtherType.
inline constexpr uint32_t kPcapFrameBufferSize = 65535 + 2;

// Frames the record's payload by its frame format into frame (which holds
// kPcapFrameBufferSize bytes). On entry inclLen is the record's dataLength and
// origLen its origLength; the framer adjusts both. False when the frame is
// refused (I4B and unknown formats always are).
bool framePcapRecord(PcapRecordHeader& header, uint8_t* frame, const EventRecord& record,
                     const uint8_t* payload, FrameFormat format);

// The framers of the formats a pcap file holds, as the format table names them.
bool frameEthernetForPcap(PcapRecordHeader& header, uint8_t* frame, const EventRecord& record,
                          const uint8_t* payload);
bool framePppSyncForPcap(PcapRecordHeader& header, uint8_t* frame, const EventRecord& record,
                         const uint8_t* payload);
bool framePppAsyncForPcap(PcapRecordHeader& header, uint8_t* frame, const EventRecord& record,
                          const uint8_t* payload);
bool frameRawIpForPcap(PcapRecordHeader& header, uint8_t* frame, const EventRecord& record,
                       const uint8_t* payload);
bool frameInternalUdpForPcap(PcapRecordHeader& header, uint8_t* frame,
                             const EventRecord& record, const uint8_t* payload);

}  // namespace ornpcap
