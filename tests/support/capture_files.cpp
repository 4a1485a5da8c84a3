#include "tests/support/capture_files.hpp"

#include <algorithm>

#include "base/byte_order.hpp"
#include "frames/pcap_framing.hpp"
#include "writers/pcap_writer.hpp"

namespace ornpcap::test {

PcapFile parsePcap(const Bytes& b) {
    PcapFile f;
    if (b.size() < kPcapFileHeaderSize) {
        return f;
    }
    f.header.assign(b.begin(), b.begin() + kPcapFileHeaderSize);
    size_t at = kPcapFileHeaderSize;
    while (at + kPcapRecordHeaderSize <= b.size()) {
        const uint8_t* p = &b[at];
        const PcapRecordHeader h{loadLe32(p), loadLe32(p + 4), loadLe32(p + 8), loadLe32(p + 12)};
        if (b.size() - at - kPcapRecordHeaderSize < h.inclLen) {
            return f;
        }
        f.records.push_back(h);
        f.frames.emplace_back(p + kPcapRecordHeaderSize, p + kPcapRecordHeaderSize + h.inclLen);
        at += kPcapRecordHeaderSize + h.inclLen;
    }
    f.whole = at == b.size();
    return f;
}

std::string hex(const uint8_t* p, size_t n) {
    std::string text;
    const char* digits = "0123456789abcdef";
    for (size_t i = 0; i < n; ++i) text += {digits[p[i] >> 4], digits[p[i] & 15]};
    return text;
}

VnFile readVn(const Bytes& b) {
    if (b.size() < 192) return {"no whole header", "", {}};
    Bytes fixed(b.begin(), b.begin() + 192), expected(192, 0);
    std::fill_n(fixed.begin() + 4, 8, 0);   // packetCount, startTime
    std::fill_n(fixed.begin() + 14, 2, 0);  // maxLength
    const std::string text = "\x05VNF Visual PPP trace created from Varnek ORN trace";
    std::copy_n(text.begin(), 4, expected.begin());
    std::copy(text.begin() + 5, text.end(), expected.begin() + 128);
    expected[12] = 22;                // mediaType
    expected[16] = expected[18] = 1;  // fileFlags, fileVersion
    const uint32_t count = loadLe32(&b[4]);
    VnFile vn{"", std::to_string(count) + " " + std::to_string(loadLe32(&b[8])) + " " +
                      std::to_string(loadLe16(&b[14])) + ":", {}};
    if (fixed != expected || 4ull * count > b.size() - 192) {
        return {"header " + hex(&b[0], 192), "", {}};
    }
    const size_t indexStart = b.size() - 4ull * count;
    size_t at = 192;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t entry = loadLe32(&b[indexStart + 4 * i]);
        vn.header += " " + std::to_string(entry);
        // With no room for a packet header, a length that cannot fit either.
        const size_t captured = at + 20 <= indexStart ? loadLe16(&b[at + 6]) : indexStart;
        if (entry != at || at + 20 + captured > indexStart || b[at + 12] != 14 ||
            std::any_of(&b[at + 13], &b[at + 20], [](uint8_t x) { return x != 0; })) {
            vn.fault = "packet " + std::to_string(i) + " of " + std::to_string(count);
            return vn;
        }
        vn.packets.push_back(std::to_string(loadLe32(&b[at])) + " " +
                             std::to_string(loadLe16(&b[at + 4])) + "/" + std::to_string(captured) +
                             " " + std::to_string(loadLe32(&b[at + 8])) + " " +
                             hex(&b[at + 20], captured));
        at += 20 + captured;
    }
    if (at != indexStart) vn.fault = "bytes between the packets and the index";
    return vn;
}

}  // namespace ornpcap::test
