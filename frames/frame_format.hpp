#pragma once
// The frame formats a port's frames can have, and everything the suite knows
// of each: one row per format, which the options, the framings, the writers,
// the recogniser and the companions' commands all read. A new format is one
// row here and the functions it names.

#include <cstdint>
#include <span>
#include <string_view>

#include "trace/event_record.hpp"

namespace ornpcap {

enum class FrameFormat : int32_t {
    Ethernet = 1,
    PppSync = 2,
    PppAsync = 3,
    RawIp = 4,
    I4bIsdn = 5,
    InternalUdp = 6,
};

// What the LSN of a format's records means for choosing them.
enum class LsnRule {
    ProtocolCode,  // the protocol of each frame, not a channel: -l chooses nothing
    Channel,       // the channel of one link: -l is needed (ANY, ALL or one)
    Channels,      // a channel: all of them by default, -l picks or splits
    Every,         // every channel and both directions go into one file
};

struct PcapRecordHeader;
struct PcapngFrame;
struct VnFrame;
struct FrameView;
namespace fits {
enum Fit : uint32_t;
}

// Each framer writes the frame from the first byte of `frame` and answers
// whether it takes the record (see pcap_framing.hpp, pcapng_framing.hpp,
// vn_framing.hpp).
using PcapFramer = bool (*)(PcapRecordHeader& header, uint8_t* frame, const EventRecord& record,
                            const uint8_t* payload);
using PcapngFramer = bool (*)(const EventRecord& record, const uint8_t* payload, FrameFormat format,
                              uint8_t* frame, PcapngFrame& out);
using VnFramer = bool (*)(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                          VnFrame& out);
// The recogniser's judgement of one frame (see frame_fits.hpp).
using FrameFit = fits::Fit (*)(const FrameView& frame);

struct FrameFormatRow {
    FrameFormat format;
    std::string_view name;     // as OrnPcap's help, reports and diagnostics show it
    std::string_view cliName;  // as orn2pcapng's -p PORT=FORMAT takes it
    LsnRule lsn;
    uint32_t pcapLinkType;          // of a pcap file; 0: pcap cannot hold it
    PcapFramer pcapFrame;           // nullptr: written to an I4B file instead
    uint16_t pcapngLinkType;
    std::string_view pcapngLinkName;  // as libpcap names the link type
    // The longest packet the pcapng framing makes of a record (65535 payload
    // bytes at most).
    uint32_t pcapngLongest;
    PcapngFramer pcapngFrame;
    VnFramer vnFrame;  // nullptr: not written to .vn files
    FrameFit fit;
    // Where fits tie, the recogniser prefers the lower rank: the framing that
    // explains more of a frame first, Raw-IP (which fits wherever an IPv4
    // header stands near the front) last.
    uint8_t tieRank;
};

// In the order the help lists them (by FrameFormat id).
std::span<const FrameFormatRow> frameFormats();

bool isValidFrameFormat(int32_t id);
const FrameFormatRow& frameFormatRow(FrameFormat format);
// nullptr for a name no format has; the name is matched without case.
const FrameFormatRow* frameFormatByCliName(std::string_view name);

inline std::string_view frameFormatName(FrameFormat format) {
    return frameFormatRow(format).name;
}
inline uint32_t linkTypeOf(FrameFormat format) { return frameFormatRow(format).pcapLinkType; }

}  // namespace ornpcap
