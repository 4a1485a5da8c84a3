#pragma once
// PPP in asynchronous HDLC-like framing (RFC 1662): what the recogniser, the
// pcap and pcapng framings and the .vn conversion share.

#include <cstdint>

#include "trace/event_record.hpp"

namespace ornpcap {

// Removes asynchronous HDLC-like framing: 0x7E flags are dropped, 0x7D escapes
// the next byte (XOR 0x20); a dropped flag keeps a pending escape. Returns the
// number of bytes written to out (at most length).
uint32_t unstuffAsyncFrame(const uint8_t* payload, uint32_t length, uint8_t* out);

// A PPP-Async frame as the outputs that keep damaged frames (.vn, pcapng)
// keep it: unstuffed into frame; captured whole, it is FCS-checked and its two
// FCS bytes left out; cut short when captured, it is kept as it came. Three
// bytes are too short (a bad FCS says more, and wins); two or fewer are no
// frame at all: false.
struct KeptAsyncFrame {
    uint32_t capturedLength = 0;
    uint32_t actualLength = 0;  // on the line
    bool tooShort = false;
    bool badFcs = false;
};
bool keepAsyncFrame(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                    KeptAsyncFrame& out);

}  // namespace ornpcap
