#pragma once
// The frames of a Visual Networks file: PPP frames without their line framing,
// damaged ones kept and flagged.
//
//   PPP-Sync    copied as captured
//   PPP-Async   unstuffed; captured whole, FCS-checked and its FCS left out;
//               flags 4 for a bad FCS, 2 for a frame of three bytes

#include <cstdint>

#include "frames/frame_format.hpp"
#include "trace/event_record.hpp"

namespace ornpcap {

// The converted frame of one record.
struct VnFrame {
    uint16_t actualLength = 0;
    uint16_t capturedLength = 0;
    uint32_t flags = 0;
};

inline constexpr uint32_t kVnFlagTooShort = 2;
inline constexpr uint32_t kVnFlagBadFcs = 4;

// Frames the record's payload (dataLength bytes) into frame (as many bytes);
// false when the record makes no frame.
bool framePppSyncForVn(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                       VnFrame& out);
bool framePppAsyncForVn(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                        VnFrame& out);

}  // namespace ornpcap
