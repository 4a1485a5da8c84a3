#include "frames/pcapng_framing.hpp"

#include <algorithm>
#include <cstring>

#include "base/byte_order.hpp"
#include "frames/pcap_framing.hpp"
#include "frames/ppp_async.hpp"

namespace ornpcap {

namespace {

constexpr uint16_t kPacketHost = 0;       // received by the port
constexpr uint16_t kPacketOutgoing = 4;   // sent by the port
constexpr uint16_t kHardwareLapd = 8445;
constexpr uint16_t kProtocolLapd = 0x0030;

}  // namespace

bool framePcapngAsPcap(const EventRecord& record, const uint8_t* payload, FrameFormat format,
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
bool framePcapngPppAsync(const EventRecord& record, const uint8_t* payload, FrameFormat format,
                         uint8_t* frame, PcapngFrame& out) {
    if (framePcapngAsPcap(record, payload, format, frame, out)) {
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

bool framePcapngLapd(const EventRecord& record, const uint8_t* payload, FrameFormat,
                     uint8_t* frame, PcapngFrame& out) {
    std::memset(frame, 0, kLapdPseudoHeaderSize);
    storeBe16(frame + 0, isFrameSent(record) ? kPacketOutgoing : kPacketHost);
    storeBe16(frame + 2, kHardwareLapd);
    storeBe16(frame + 4, 1);
    storeBe16(frame + 14, kProtocolLapd);
    std::memcpy(frame + kLapdPseudoHeaderSize, payload, record.dataLength);
    out = {kLapdPseudoHeaderSize + record.dataLength, kLapdPseudoHeaderSize + record.origLength, 0};
    return true;
}

static_assert(65535 + kPcapngMostAdded <= kPcapngFrameRoom);

PcapngLink pcapngLinkOf(FrameFormat format) {
    const FrameFormatRow& row = frameFormatRow(format);
    return {row.pcapngLinkType, row.pcapngLinkName};
}

uint32_t pcapngLongestPacket(FrameFormat format) {
    uint32_t longest = 0;
    for (const FrameFormatRow& row : frameFormats()) {
        if (row.pcapngLinkType == frameFormatRow(format).pcapngLinkType) {
            longest = std::max(longest, row.pcapngLongest);
        }
    }
    return longest;
}

bool framePcapngRecord(const EventRecord& record, const uint8_t* payload, FrameFormat format,
                       uint8_t* frame, PcapngFrame& out) {
    return frameFormatRow(format).pcapngFrame(record, payload, format, frame, out);
}

}  // namespace ornpcap
