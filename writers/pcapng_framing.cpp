#include "writers/pcapng_framing.hpp"

#include <algorithm>
#include <cstring>

#include "base/byte_order.hpp"
#include "writers/pcap_framing.hpp"
#include "writers/pcapng_blocks.hpp"

namespace ornpcap {

namespace {

constexpr uint16_t kPacketHost = 0;       // received by the port
constexpr uint16_t kPacketOutgoing = 4;   // sent by the port
constexpr uint16_t kHardwareLapd = 8445;
constexpr uint16_t kProtocolLapd = 0x0030;

using Framer = bool (*)(const EventRecord&, const uint8_t*, FrameFormat, uint8_t*, PcapngFrame&);

bool framePcap(const EventRecord& record, const uint8_t* payload, FrameFormat format,
               uint8_t* frame, PcapngFrame& out) {
    PcapRecordHeader header;
    header.inclLen = record.dataLength;
    header.origLen = record.origLength;
    if (!framePcapRecord(header, frame, record, payload, format)) {
        return false;
    }
    out = {header.inclLen, header.origLen, 0};
    return true;
}

// What pcap refuses, kept as the .vn output keeps it.
bool framePppAsync(const EventRecord& record, const uint8_t* payload, FrameFormat format,
                   uint8_t* frame, PcapngFrame& out) {
    if (framePcap(record, payload, format, frame, out)) {
        return true;
    }
    KeptAsyncFrame kept;
    if (!keepAsyncFrame(record, payload, frame, kept)) {
        return false;
    }
    const uint32_t flags = kept.badFcs ? kPacketCrcError : (kept.tooShort ? kPacketTooShort : 0);
    out = {kept.capturedLength, kept.actualLength, flags};
    return true;
}

bool frameLapd(const EventRecord& record, const uint8_t* payload, FrameFormat, uint8_t* frame,
               PcapngFrame& out) {
    std::memset(frame, 0, kLapdPseudoHeaderSize);
    storeBe16(frame + 0, isFrameSent(record) ? kPacketOutgoing : kPacketHost);
    storeBe16(frame + 2, kHardwareLapd);
    storeBe16(frame + 4, 1);
    storeBe16(frame + 14, kProtocolLapd);
    std::memcpy(frame + kLapdPseudoHeaderSize, payload, record.dataLength);
    out = {kLapdPseudoHeaderSize + record.dataLength, kLapdPseudoHeaderSize + record.origLength, 0};
    return true;
}

struct PcapngFormatRow {
    FrameFormat format;
    PcapngLink link;
    Framer framer;
    uint32_t longest;  // packet the framer makes of the longest payload
};

constexpr uint32_t kLongestPayload = 65535;  // a record's dataLength

// Unstuffing only ever shortens a PPP-Async frame.
constexpr PcapngFormatRow kRows[] = {
    {FrameFormat::Ethernet, {1, "ETHERNET"}, framePcap, kLongestPayload + 2},
    {FrameFormat::PppSync, {9, "PPP"}, framePcap, kLongestPayload},
    {FrameFormat::PppAsync, {9, "PPP"}, framePppAsync, kLongestPayload},
    {FrameFormat::RawIp, {101, "RAW"}, framePcap, kLongestPayload},
    {FrameFormat::I4bIsdn, {177, "LINUX_LAPD"}, frameLapd,
     kLongestPayload + kLapdPseudoHeaderSize},
    {FrameFormat::InternalUdp, {1, "ETHERNET"}, framePcap, kLongestPayload - 12},
};
static_assert(kLongestPayload + kPcapngMostAdded <= kPcapngFrameRoom);

const PcapngFormatRow& rowOf(FrameFormat format) {
    return kRows[static_cast<int32_t>(format) - 1];
}

}  // namespace

PcapngLink pcapngLinkOf(FrameFormat format) { return rowOf(format).link; }

uint32_t pcapngLongestPacket(FrameFormat format) {
    uint32_t longest = 0;
    for (const PcapngFormatRow& row : kRows) {
        if (row.link.linkType == rowOf(format).link.linkType) {
            longest = std::max(longest, row.longest);
        }
    }
    return longest;
}

bool framePcapngRecord(const EventRecord& record, const uint8_t* payload, FrameFormat format,
                       uint8_t* frame, PcapngFrame& out) {
    return rowOf(format).framer(record, payload, format, frame, out);
}

}  // namespace ornpcap
