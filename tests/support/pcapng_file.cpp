#include "tests/support/pcapng_file.hpp"

#include "base/byte_order.hpp"

namespace ornpcap::test {

namespace {

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Options from `at` to the end of the body; false when they run over it.
bool readOptions(const uint8_t* p, size_t at, size_t end, PcapngOptions& out) {
    while (at + 4 <= end) {
        const uint16_t code = loadLe16(p + at), length = loadLe16(p + at + 2);
        if (code == 0) {
            return length == 0;
        }
        const size_t padded = (length + 3u) & ~3u;
        if (at + 4 + padded > end) {
            return false;
        }
        out.emplace(code, Bytes(p + at + 4, p + at + 4 + length));
        at += 4 + padded;
    }
    return at == end;
}

std::string optionText(const PcapngOptions& o, uint16_t code) {
    const auto found = o.find(code);
    return found == o.end() ? std::string() : text(found->second);
}

uint64_t stamp(const uint8_t* p) { return (uint64_t{loadLe32(p)} << 32) | loadLe32(p + 4); }

bool readBlock(uint32_t type, const uint8_t* p, size_t length, PcapngRead& f) {
    PcapngOptions o;
    switch (type) {
        case 0x0A0D0D0A:
            if (length < 28 || loadLe32(p + 8) != 0x1A2B3C4D || !readOptions(p, 24, length - 4, o))
                return false;
            f.application = optionText(o, 4);
            f.comment = optionText(o, 1);
            return true;
        case 1: {
            if (length < 20 || !readOptions(p, 16, length - 4, o)) return false;
            const auto resolution = o.find(9);
            f.interfaces.push_back({loadLe16(p + 8), loadLe32(p + 12), optionText(o, 2),
                                    optionText(o, 3),
                                    resolution == o.end() ? -1 : resolution->second.at(0)});
            return true;
        }
        case 6: {
            if (length < 32 || loadLe32(p + 8) >= f.interfaces.size()) return false;
            const uint32_t captured = loadLe32(p + 20);
            const size_t options = 28 + ((captured + 3u) & ~3u);
            if (options > length - 4 || !readOptions(p, options, length - 4, o)) return false;
            PcapngPacketRead packet{loadLe32(p + 8), stamp(p + 12), loadLe32(p + 24),
                                    Bytes(p + 28, p + 28 + captured), 0, false};
            if (const auto flags = o.find(2); flags != o.end() && flags->second.size() == 4) {
                packet.flags = loadLe32(flags->second.data());
                packet.hasFlags = true;
            }
            f.packets.push_back(std::move(packet));
            return true;
        }
        case 5:
            if (length < 24 || !readOptions(p, 20, length - 4, o)) return false;
            f.statistics.push_back({loadLe32(p + 8), stamp(p + 12), o});
            return true;
        default: return true;
    }
}

}  // namespace

uint64_t PcapngStatisticsRead::u64(uint16_t code) const {
    const auto found = options.find(code);
    if (found == options.end() || found->second.size() != 8) return 0;
    return loadLe32(found->second.data()) | (uint64_t{loadLe32(found->second.data() + 4)} << 32);
}

uint64_t PcapngStatisticsRead::timestampOf(uint16_t code) const {
    const auto found = options.find(code);
    return found == options.end() || found->second.size() != 8 ? 0 : stamp(found->second.data());
}

PcapngRead parsePcapng(const Bytes& b) {
    PcapngRead f;
    size_t at = 0;
    while (at < b.size()) {
        if (b.size() - at < 12) {
            f.fault = "a block cut short at " + std::to_string(at);
            return f;
        }
        const uint32_t type = loadLe32(&b[at]), length = loadLe32(&b[at + 4]);
        if (length < 12 || length % 4 != 0 || length > b.size() - at ||
            loadLe32(&b[at + length - 4]) != length) {
            f.fault = "block at " + std::to_string(at) + ": lengths do not agree";
            return f;
        }
        if ((at == 0) != (type == 0x0A0D0D0A) || !readBlock(type, &b[at], length, f)) {
            f.fault = "block at " + std::to_string(at) + " does not hold together";
            return f;
        }
        f.blockTypes.push_back(type);
        at += length;
    }
    if (f.blockTypes.empty()) f.fault = "empty";
    return f;
}

}  // namespace ornpcap::test
