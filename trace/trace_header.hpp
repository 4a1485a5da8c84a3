#pragma once
// Trace header and trailer, and their checks over bytes.
//
//   offset  size  field
//   0       54    text: "02 TRC    00008.000 01 <description, 30>" then 0x1A
//                 (fileCode, fileType "TRC   ", versionMajor %05d "." versionMinor
//                 %03d, subVersion %02d, traceDescription)
//   54      7     start day, month, year (u16), hour, minute, second
//   76      2     snapLength
//   178     7     auxDateTime           (versions 7 and 8)
//   185     4     auxValue              (versions 7 and 8)
//   189     12    utcOffset, timeOffset2, timeOffset3: sign, h, m, s (version 8)
//   N-2     2     headerFcs: FCS-16 of the bytes before it, LSB first
//
// Header sizes: 203 bytes (version 8), 191 (version 7), 180 (versions 5, 6).
// In memory the header is always kept in the 203-byte layout.
//
// Trailer, the last 16 bytes of the file:
//   0 maxBlockLength u16, 2 blockCount u16, 8 streamLength u32,
//   14 trailerFcs (FCS-16 of bytes 0..13, LSB first)

#include <array>
#include <cstdint>
#include <span>

#include "base/byte_order.hpp"

namespace ornpcap {

inline constexpr uint32_t kHeaderSizeV8 = 203;
inline constexpr uint32_t kHeaderSizeV7 = 191;
inline constexpr uint32_t kHeaderSizeV5 = 180;
inline constexpr uint32_t kTrailerSize = 16;
inline constexpr uint32_t kSmallestTrace = kHeaderSizeV5 + kTrailerSize;  // 196

namespace header_offset {
inline constexpr size_t fileType = 3;
inline constexpr size_t versionMajor = 10;
inline constexpr size_t versionMinor = 16;
inline constexpr size_t subVersion = 20;
inline constexpr size_t description = 23;
inline constexpr size_t textEnd = 53;
inline constexpr size_t startDay = 54;
inline constexpr size_t startMonth = 55;
inline constexpr size_t startYear = 56;
inline constexpr size_t startHour = 58;
inline constexpr size_t startMinute = 59;
inline constexpr size_t startSecond = 60;
inline constexpr size_t snapLength = 76;
inline constexpr size_t auxDateTime = 178;
inline constexpr size_t auxValue = 185;
inline constexpr size_t utcOffset = 189;
inline constexpr size_t timeOffset2 = 193;
inline constexpr size_t timeOffset3 = 197;
}  // namespace header_offset

struct TraceHeader {
    std::array<uint8_t, kHeaderSizeV8> bytes{};
    uint32_t headerSize = kHeaderSizeV8;  // the size it had in the file

    uint8_t startDay() const { return bytes[header_offset::startDay]; }
    uint8_t startMonth() const { return bytes[header_offset::startMonth]; }
    uint16_t startYear() const { return loadLe16(&bytes[header_offset::startYear]); }
    uint8_t startHour() const { return bytes[header_offset::startHour]; }
    uint8_t startMinute() const { return bytes[header_offset::startMinute]; }
    uint8_t startSecond() const { return bytes[header_offset::startSecond]; }
    uint16_t snapLength() const { return loadLe16(&bytes[header_offset::snapLength]); }
    std::array<uint8_t, 4> utcOffset() const {
        const uint8_t* p = &bytes[header_offset::utcOffset];
        return {p[0], p[1], p[2], p[3]};
    }
};

struct TraceTrailer {
    std::array<uint8_t, kTrailerSize> bytes{};

    uint16_t maxBlockLength() const { return loadLe16(&bytes[0]); }
    uint16_t blockCount() const { return loadLe16(&bytes[2]); }
    uint32_t streamLength() const { return loadLe32(&bytes[8]); }
};

// Versions 5 to 8, minor 0.
bool acceptVersion(uint16_t versionMajor, uint16_t versionMinor);

// The numbers of a header's text part, as read; -1 where no number stands.
struct HeaderText {
    long versionMajor = -1;
    long versionMinor = -1;
    long subVersion = -1;
};

// The numbers of the text part of the first bytes of a file, whatever its
// checksum says.
HeaderText readHeaderText(std::span<const uint8_t, kHeaderSizeV8> head);

// Which versions a header may carry: the probe's table (8 in the 203-byte
// form, 7 in the 191-byte form, 6 or 5 in the 180-byte form), or exactly the
// versions a converter asks for, in whichever form.
struct HeaderVersions {
    bool byForm = true;
    uint16_t major = 0;
    uint16_t minor = 0;
};

struct HeaderMatch {
    uint32_t size = 0;        // of the form found, 0 for none
    uint32_t intactSize = 0;  // of the last form that passed the FCS and type checks
    HeaderText text;          // of that form

    bool smallFormIntact() const { return intactSize == kHeaderSizeV5; }
};

// Looks for a header in the first bytes of a file (203 of them, zeros where
// the file is shorter): the first of the forms of 203, 191 and 180 bytes that
// passes the FCS residue check, carries the type "TRC   " and the versions
// asked for.
HeaderMatch recogniseHeader(std::span<const uint8_t, kHeaderSizeV8> head,
                            const HeaderVersions& versions);

// Whether the bytes carry the file type "TRC   " of a trace.
bool hasTraceType(std::span<const uint8_t, kHeaderSizeV8> head);

// The header record of a recognised form: the form's bytes in the 203-byte
// layout; an older form gets zero aux fields and the offsets +1 h 0 min 0 s.
TraceHeader widenHeader(std::span<const uint8_t, kHeaderSizeV8> head, uint32_t size);

enum class TrailerCheck { Good, BadFcs, StreamTooLong };

// The trailer's FCS, then whether its streamLength fits between a header of
// this size and the trailer of a file this long.
TrailerCheck checkTrailer(const TraceTrailer& trailer, uint64_t fileLength, uint32_t headerSize);

}  // namespace ornpcap
