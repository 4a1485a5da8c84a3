#pragma once
// Guesses the frame format of a port from what its frames look like, so that
// a trace inventory can name each port's format and a conversion can warn
// when the frames of the port look like another format than the one asked for.
//
// Feed it every record of one port; it judges each frame that a converter
// would convert (status 0, sent or received, with a payload) against every
// format, and stops looking after kEnoughRecords of them:
//
//   ETHERNET      addresses, then what the protocol code in the lsn says:
//                 IPv4, ARP, PPPoE Discovery or Session, a whole frame
//   PPP-Sync      FF 03, or nothing where address and control field are
//                 compressed away, then a known PPP protocol (one byte where
//                 the protocol field is compressed) and a packet that fits
//                 it: IPv4, IPv6, or LCP, IPCP, PAP and their kin by their
//                 codes, lengths and options
//   PPP-Async     a flag at one end at least (RFC 1662 lets two frames share
//                 one), escapes, a good FCS-16; cut short, clean escapes
//                 and a PPP frame inside
//   Raw-IP        an IPv4 header at the first 0x45, after few leading bytes
//   I4B ISDN      LAPD address and control fields, Q.931 or TEI management
//   Internal-UDP  the 26-byte internal header, then IPv4
//
// A frame fits a format well (header checksum right, or zero as checksum
// offload leaves it with every other field in order; lengths agree), only
// plausibly (the framing is right, the content is damaged, cut or unknown),
// or not at all. The format that fits most frames wins, and the framing
// that explains more of a frame is preferred: a frame whose asynchronous
// framing holds (flag and FCS) is no PPP-Sync frame, and Raw-IP, which fits
// wherever an IPv4 header stands near the front, wins only when it fits
// clearly more frames than any other format.
//
// Confidence, from 0 to 1: the share of the examined frames that fit the
// winning format (a plausible fit counting a third), less the share that fit
// its strongest rival (Raw-IP is no rival of the formats that carry IPv4),
// times 1 - 2^-w, where w is the winner's fits counted the same way, so that
// a few frames cannot say much: one good fit alone gives 0.5, three 0.875,
// ten 0.999, and frames that only fit plausibly stay below 0.34. Below
// kNameThreshold the guess is unknown: format 0, confidence 0. A caller that
// warns should ask for more, e.g. 0.8.

#include <array>
#include <cstdint>
#include <vector>

#include "trace/event_record.hpp"

namespace ornpcap {

struct FormatGuess {
    int32_t format = 0;     // the -f number (1 ETHERNET ... 6 Internal-UDP); 0 unknown
    double confidence = 0;  // 0 to 1; 0 when unknown
};

inline constexpr double kNameThreshold = 0.5;
inline constexpr uint64_t kEnoughRecords = 256;

// One per port.
class FormatRecogniser {
public:
    // payload holds record.dataLength bytes, nullptr when there are none.
    void add(const EventRecord& record, const uint8_t* payload);
    FormatGuess best() const;
    // Frames judged so far (at most kEnoughRecords).
    uint64_t examined() const { return examined_; }

private:
    int32_t leader() const;
    uint32_t rivalPoints(int32_t winner) const;

    std::array<uint32_t, 7> points_{};  // by format id: 3 per good fit, 1 per plausible fit
    uint64_t examined_ = 0;
    std::vector<uint8_t> unstuffed_;    // PPP-Async frame without its framing
};

}  // namespace ornpcap
