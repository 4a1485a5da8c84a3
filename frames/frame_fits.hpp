#pragma once
// The recogniser's checks of one frame against each format: how well what a
// port captured fits what the format's frames look like. The format table
// names each format's check; the recogniser adds them up over a port.

#include <cstdint>

namespace ornpcap {

struct FrameView;

namespace fits {

// Points of a frame's fit: a plausible fit counts a third of a good one, so
// that frames which only fit plausibly never add up to one good fit's 0.5.
enum Fit : uint32_t { kNone = 0, kPlausible = 1, kGood = 3 };

}  // namespace fits

// One frame as the checks see it. lineLength is at least length.
struct FrameView {
    const uint8_t* p;
    uint32_t length;      // captured bytes
    uint32_t lineLength;  // bytes on the line
    uint16_t lsn;
    bool asyncFramed;          // 0x7E-framed, whole, with a good FCS-16 once unstuffed
    const uint8_t* unstuffed;  // without flags and escapes
    uint32_t unstuffedLength;  // 0 where it cannot be asynchronous framing
};

namespace fits {

// A frame in asynchronous framing, unstuffed into scratch (length bytes). A
// whole frame has a flag at one end at least: at its end, or at its start
// where it shares the flag that closes it with the next frame (RFC 1662).
// A frame cut short may have lost both, and is taken as it is where its
// escapes are clean.
struct AsyncView {
    bool framed = false;  // whole, with a good FCS-16
    uint32_t unstuffed = 0;
};
AsyncView asyncView(const uint8_t* p, uint32_t length, uint32_t lineLength, uint8_t* scratch);

Fit ethernetFit(const FrameView& f);
Fit pppSyncFit(const FrameView& f);
Fit pppAsyncFit(const FrameView& f);
Fit rawIpFit(const FrameView& f);
Fit internalUdpFit(const FrameView& f);
Fit lapdFit(const FrameView& f);

}  // namespace fits

}  // namespace ornpcap
