#include "frames/ppp_async.hpp"

#include "trace/fcs16.hpp"

namespace ornpcap {

namespace {

constexpr uint8_t kFlag = 0x7E;
constexpr uint8_t kEscape = 0x7D;

}  // namespace

uint32_t unstuffAsyncFrame(const uint8_t* payload, uint32_t length, uint8_t* out) {
    uint32_t n = 0;
    bool escaped = false;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t byte = payload[i];
        if (byte == kEscape) {
            escaped = true;
        } else if (byte != kFlag) {
            out[n++] = escaped ? static_cast<uint8_t>(byte ^ 0x20) : byte;
            escaped = false;
        }
    }
    return n;
}

bool keepAsyncFrame(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                    KeptAsyncFrame& out) {
    const uint32_t n = unstuffAsyncFrame(payload, record.dataLength, frame);
    out = {n, record.origLength, n < 4, false};
    if (n <= 2) {
        return false;
    }
    if (record.dataLength < record.origLength) {
        return true;  // cut when captured: no FCS to check
    }
    out.badFcs = !hasGoodFcs(frame, n);
    out.capturedLength = out.actualLength = n - 2;
    return true;
}

}  // namespace ornpcap
