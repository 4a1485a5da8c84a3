#pragma once
// The PPP frame check sequence FCS-16 of RFC 1662 (reflected CRC-CCITT,
// polynomial 0x8408), used for the trace header, trailer and blocks, and for
// checking PPP-Async frames.
//
// Two ways to check: over data that carries its own FCS (least significant
// byte first) isGood() tells whether the residue is right; over data whose FCS
// is stored elsewhere, result() gives the value to compare.

#include <array>
#include <cstddef>
#include <cstdint>

namespace ornpcap {

namespace fcs16_detail {
// kTables[0] is the table of RFC 1662; kTables[k] advances a byte through k
// more zero bytes, so that eight bytes can be folded in at once.
using Tables = std::array<std::array<uint16_t, 256>, 8>;
constexpr Tables makeTables() {
    Tables t{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned v = b;
        for (int bit = 0; bit < 8; ++bit) {
            v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
        }
        t[0][b] = static_cast<uint16_t>(v);
    }
    for (size_t k = 1; k < t.size(); ++k) {
        for (unsigned b = 0; b < 256; ++b) {
            const uint16_t prev = t[k - 1][b];
            t[k][b] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
        }
    }
    return t;
}
inline constexpr Tables kTables = makeTables();
inline constexpr const std::array<uint16_t, 256>& kTable = kTables[0];
}  // namespace fcs16_detail

class Fcs16 {
public:
    static constexpr uint16_t kInitial = 0xFFFF;
    static constexpr uint16_t kGoodResidue = 0xF0B8;

    Fcs16& reset() {
        value_ = kInitial;
        return *this;
    }

    Fcs16& update(const uint8_t* data, uint32_t count) {
        using fcs16_detail::kTables;
        uint16_t v = value_;
        uint32_t i = 0;
        for (; i + 8 <= count; i += 8) {
            const uint8_t* p = data + i;
            const uint16_t x = static_cast<uint16_t>(v ^ (p[0] | (p[1] << 8)));
            v = static_cast<uint16_t>(kTables[7][x & 0xFF] ^ kTables[6][x >> 8] ^
                                      kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^
                                      kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]]);
        }
        for (; i < count; ++i) {
            v = static_cast<uint16_t>((v >> 8) ^ kTables[0][(v ^ data[i]) & 0xFF]);
        }
        value_ = v;
        return *this;
    }

    bool isGood() const { return value_ == kGoodResidue; }
    uint16_t result() const { return static_cast<uint16_t>(value_ ^ 0xFFFF); }
    uint16_t value() const { return value_; }

private:
    uint16_t value_ = kInitial;
};

// True when the area ends with a correct FCS of the bytes before it.
inline bool hasGoodFcs(const uint8_t* data, uint32_t count) {
    return Fcs16().reset().update(data, count).isGood();
}

}  // namespace ornpcap
