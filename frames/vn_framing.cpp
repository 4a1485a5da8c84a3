#include "frames/vn_framing.hpp"

#include <cstring>

#include "frames/ppp_async.hpp"

namespace ornpcap {

bool framePppSyncForVn(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                       VnFrame& out) {
    out = {record.origLength, record.dataLength, 0};
    std::memcpy(frame, payload, record.dataLength);
    return true;
}

bool framePppAsyncForVn(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                        VnFrame& out) {
    KeptAsyncFrame kept;
    if (!keepAsyncFrame(record, payload, frame, kept)) {
        return false;
    }
    const uint32_t flags = kept.badFcs ? kVnFlagBadFcs : (kept.tooShort ? kVnFlagTooShort : 0);
    out = {static_cast<uint16_t>(kept.actualLength), static_cast<uint16_t>(kept.capturedLength),
           flags};
    return true;
}

}  // namespace ornpcap
