#pragma once
// The PPP frame check sequence FCS-16 of RFC 1662 (reflected CRC-CCITT,
// polynomial 0x8408), used for the trace header, trailer and blocks, and for
// checking PPP-Async frames.
//
// Two ways to check: over data that carries its own FCS (least significant
// byte first) isGood() tells whether the residue is right; over data whose FCS
// is stored elsewhere, result() gives the value to compare.

#include <array>
#include <cstdint>

namespace ornpcap {

namespace fcs16_detail {
constexpr std::array<uint16_t, 256> makeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned v = b;
        for (int bit = 0; bit < 8; ++bit) {
            v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
        }
        table[b] = static_cast<uint16_t>(v);
    }
    return table;
}
inline constexpr std::array<uint16_t, 256> kTable = makeTable();
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
        uint16_t v = value_;
        for (uint32_t i = 0; i < count; ++i) {
            v = static_cast<uint16_t>((v >> 8) ^ fcs16_detail::kTable[(v ^ data[i]) & 0xFF]);
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
