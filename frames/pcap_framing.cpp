#include "frames/pcap_framing.hpp"

#include <cstring>

#include "base/byte_order.hpp"
#include "frames/ppp_async.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap {

namespace {

constexpr uint16_t kEtherTypeIpv4 = 0x0800;
constexpr uint32_t kAddressBytes = 12;   // destination and source address
constexpr uint32_t kInternalHeader = 26;
constexpr uint32_t kInternalAddress = 18;

// EtherType inserted for an ETHERNET protocol code; 0 for a complete frame
// (code 7), -1 for a refused code.
int32_t etherTypeOf(uint16_t protocolCode) {
    switch (protocolCode) {
        case 1: return 0x0800;  // IPv4
        case 2: return 0x0806;  // ARP
        case 5: return 0x8863;  // PPPoE Discovery
        case 6: return 0x8864;  // PPPoE Session
        case 7: return 0;       // stored complete
        default: return -1;
    }
}

// origLen less what was cut from the front, never below the bytes kept.
void shortenFront(PcapRecordHeader& header, uint32_t cut) {
    header.inclLen -= cut;
    header.origLen = header.origLen >= cut ? header.origLen - cut : header.inclLen;
}

}  // namespace

bool frameEthernetForPcap(PcapRecordHeader& header, uint8_t* frame, const EventRecord& record,
                          const uint8_t* payload) {
    const uint32_t length = record.dataLength;
    const int32_t etherType = etherTypeOf(record.lsn);
    if (etherType < 0) {
        return false;
    }
    if (header.inclLen < kAddressBytes || etherType == 0) {
        std::memcpy(frame, payload, length);
        return true;
    }
    std::memcpy(frame, payload, kAddressBytes);
    storeBe16(frame + kAddressBytes, static_cast<uint16_t>(etherType));
    std::memcpy(frame + kAddressBytes + 2, payload + kAddressBytes, length - kAddressBytes);
    header.inclLen += 2;
    header.origLen += 2;
    return true;
}

bool framePppSyncForPcap(PcapRecordHeader&, uint8_t* frame, const EventRecord& record,
                         const uint8_t* payload) {
    std::memcpy(frame, payload, record.dataLength);
    return true;
}

bool framePppAsyncForPcap(PcapRecordHeader& header, uint8_t* frame, const EventRecord&,
                          const uint8_t* payload) {
    const uint32_t n = unstuffAsyncFrame(payload, header.inclLen, frame);
    if (n < 4) {
        return false;
    }
    if (header.inclLen < header.origLen) {
        // Cut short when captured: kept whole, FCS not checked.
        header.inclLen = n;
        return true;
    }
    if (!hasGoodFcs(frame, n)) {
        return false;
    }
    header.inclLen = header.origLen = n - 2;
    return true;
}

bool frameRawIpForPcap(PcapRecordHeader& header, uint8_t* frame, const EventRecord& record,
                       const uint8_t* payload) {
    const uint32_t length = record.dataLength;
    const void* found = std::memchr(payload, 0x45, header.inclLen);
    if (found == nullptr) {
        return false;
    }
    const uint32_t start = static_cast<uint32_t>(static_cast<const uint8_t*>(found) - payload);
    std::memcpy(frame, payload + start, length - start);
    shortenFront(header, start);
    return true;
}

bool frameInternalUdpForPcap(PcapRecordHeader& header, uint8_t* frame,
                             const EventRecord& record, const uint8_t* payload) {
    const uint32_t length = record.dataLength;
    const uint8_t eventType = record.eventType;
    if (header.inclLen < kInternalHeader) {
        return false;
    }
    std::memset(frame, 0, kAddressBytes);
    if (eventType != kEventFrameSent) {
        std::memcpy(frame, payload + kInternalAddress, 6);
    }
    if (eventType == kEventFrameReceived) {
        std::memcpy(frame + 6, payload + kInternalAddress, 6);
    }
    storeBe16(frame + kAddressBytes, kEtherTypeIpv4);
    std::memcpy(frame + 14, payload + kInternalHeader, length - kInternalHeader);
    shortenFront(header, kInternalHeader - 14);
    return true;
}

bool framePcapRecord(PcapRecordHeader& header, uint8_t* frame, const EventRecord& record,
                     const uint8_t* payload, FrameFormat format) {
    const PcapFramer framer =
        isValidFrameFormat(static_cast<int32_t>(format)) ? frameFormatRow(format).pcapFrame : nullptr;
    return framer != nullptr && framer(header, frame, record, payload);
}

}  // namespace ornpcap
