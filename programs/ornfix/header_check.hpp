#pragma once
// What ornfix makes of the first bytes of a trace: an intact header, a
// header whose checksum is wrong while its fields are still those of a trace
// (its FCS is rewritten, and the user warned), a header rebuilt from the
// layout the blocks show (header_layout.hpp), one cut short by the end of
// the file, or no header at all.

#include <array>
#include <cstdint>
#include <span>

#include "trace/trace_fault.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap::ornfix {

enum class HeaderState {
    Intact,
    FcsRewritten,  // the fields are recognisable: the type, a version of 5 to 8, sub-version 01
    Rebuilt,       // its type or version text put right from the layout of the blocks
    CutShort,      // recognisable, but the file ends inside it
    Unrecognised,
};

struct HeaderFinding {
    HeaderState state = HeaderState::Unrecognised;
    uint32_t size = 0;  // 203, 191 or 180: what the version says
    uint16_t versionMajor = 0;
    uint16_t versionMinor = 0;
    std::array<uint8_t, kHeaderSizeV8> bytes{};  // the first `size` bytes are the header to write
    uint16_t storedFcs = 0;    // FcsRewritten, Rebuilt: what the header carried
    uint16_t rewrittenFcs = 0;  // and what it carries now
    bool fcsRestored = false;   // Rebuilt: the text put right, the FCS it carried is right
    std::array<uint8_t, 16> damagedText{};  // Rebuilt: its type and version text as read
    TraceFault fault;          // Unrecognised: why, in the words of the checks

    bool usable() const {
        return state != HeaderState::Unrecognised && state != HeaderState::CutShort;
    }
    std::span<const uint8_t> header() const { return std::span(bytes).first(size); }
};

// The first 203 bytes of the file (zeros where it is shorter).
HeaderFinding examineHeader(std::span<const uint8_t, kHeaderSizeV8> head);

// Whether any of the three header forms passes its FCS: a header that is
// not damaged, whatever it says.
bool anyFormIntact(std::span<const uint8_t, kHeaderSizeV8> head);

// The header size a version has: 203 for 8, 191 for 7, 180 for 5 and 6.
uint32_t headerSizeOfVersion(long versionMajor);

}  // namespace ornpcap::ornfix
