#include "writers/pcapng_blocks.hpp"

#include <array>

#include "base/byte_order.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kSectionHeaderType = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescriptionType = 1;
constexpr uint32_t kInterfaceStatisticsType = 5;
constexpr uint32_t kEnhancedPacketType = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;

constexpr uint16_t kOptEnd = 0;
constexpr uint16_t kOptComment = 1;
constexpr uint16_t kShbUserAppl = 4;
constexpr uint16_t kIfName = 2;
constexpr uint16_t kIfDescription = 3;
constexpr uint16_t kIfTsresol = 9;
constexpr uint16_t kEpbFlags = 2;
constexpr uint16_t kIsbStartTime = 2;
constexpr uint16_t kIsbEndTime = 3;
constexpr uint16_t kIsbIfRecv = 4;
constexpr uint16_t kIsbFilterAccept = 6;
constexpr uint16_t kIsbUsrDeliv = 8;

uint32_t padded(uint32_t length) { return (length + 3) & ~3u; }

// A block under construction: type and a length to be filled in, then the
// body and options appended field by field.
class BlockBuilder {
public:
    explicit BlockBuilder(uint32_t type) {
        u32(type);
        u32(0);
    }
    void u16(uint16_t v) {
        std::array<uint8_t, 2> field{};
        storeLe16(field.data(), v);
        append(field.data(), field.size());
    }
    void u32(uint32_t v) {
        std::array<uint8_t, 4> field{};
        storeLe32(field.data(), v);
        append(field.data(), field.size());
    }
    void u64(uint64_t v) {
        u32(static_cast<uint32_t>(v));
        u32(static_cast<uint32_t>(v >> 32));
    }
    void timestamp(uint64_t t) {
        u32(static_cast<uint32_t>(t >> 32));
        u32(static_cast<uint32_t>(t));
    }
    void option(uint16_t code, const uint8_t* value, uint16_t length) {
        u16(code);
        u16(length);
        append(value, length);
        bytes_.insert(bytes_.end(), padded(length) - length, 0);
    }
    // Texts longer than an option can hold are cut.
    void text(uint16_t code, const std::string& value) {
        if (!value.empty()) {
            const uint16_t length = value.size() > 0xFFF0 ? 0xFFF0 : uint16_t(value.size());
            option(code, reinterpret_cast<const uint8_t*>(value.data()), length);
        }
    }
    void u64Option(uint16_t code, uint64_t value) {
        u16(code);
        u16(8);
        u64(value);
    }
    void timestampOption(uint16_t code, uint64_t t) {
        u16(code);
        u16(8);
        timestamp(t);
    }
    PcapngBlock finish() {
        u16(kOptEnd);
        u16(0);
        const uint32_t length = static_cast<uint32_t>(bytes_.size()) + 4;
        u32(length);
        storeLe32(bytes_.data() + 4, length);
        return std::move(bytes_);
    }

private:
    void append(const uint8_t* field, size_t n) { bytes_.insert(bytes_.end(), field, field + n); }
    PcapngBlock bytes_;
};

}  // namespace

PcapngBlock sectionHeaderBlock(const SectionHeader& section) {
    BlockBuilder block(kSectionHeaderType);
    block.u32(kByteOrderMagic);
    block.u16(1);
    block.u16(0);
    block.u64(~uint64_t{0});  // section length not given
    block.text(kShbUserAppl, section.application);
    block.text(kOptComment, section.comment);
    return block.finish();
}

PcapngBlock interfaceDescriptionBlock(const InterfaceDescription& interface) {
    BlockBuilder block(kInterfaceDescriptionType);
    block.u16(interface.linkType);
    block.u16(0);
    block.u32(interface.snapLength);
    block.text(kIfName, interface.name);
    block.text(kIfDescription, interface.description);
    const uint8_t resolution = kPcapngMilliseconds;
    block.option(kIfTsresol, &resolution, 1);
    return block.finish();
}

uint32_t completePacketBlock(uint8_t* block, const PacketFields& packet) {
    const uint32_t dataEnd = kEpbDataOffset + padded(packet.capturedLength);
    const uint32_t length = dataEnd + 8 + 4 + 4;
    for (uint32_t i = kEpbDataOffset + packet.capturedLength; i < dataEnd; ++i) {
        block[i] = 0;
    }
    storeLe32(block + 0, kEnhancedPacketType);
    storeLe32(block + 4, length);
    storeLe32(block + 8, packet.interfaceId);
    storeLe32(block + 12, static_cast<uint32_t>(packet.timestamp >> 32));
    storeLe32(block + 16, static_cast<uint32_t>(packet.timestamp));
    storeLe32(block + 20, packet.capturedLength);
    storeLe32(block + 24, packet.originalLength);
    uint8_t* tail = block + dataEnd;
    storeLe16(tail + 0, kEpbFlags);
    storeLe16(tail + 2, 4);
    storeLe32(tail + 4, packet.flags);
    storeLe32(tail + 8, kOptEnd);  // code 0, length 0
    storeLe32(tail + 12, length);
    return length;
}

PcapngBlock interfaceStatisticsBlock(const InterfaceStatistics& statistics) {
    BlockBuilder block(kInterfaceStatisticsType);
    block.u32(statistics.interfaceId);
    block.timestamp(statistics.timestamp);
    if (statistics.hasPackets) {
        block.timestampOption(kIsbStartTime, statistics.first);
        block.timestampOption(kIsbEndTime, statistics.last);
    }
    block.u64Option(kIsbIfRecv, statistics.received);
    block.u64Option(kIsbFilterAccept, statistics.accepted);
    block.u64Option(kIsbUsrDeliv, statistics.delivered);
    block.text(kOptComment, statistics.comment);
    return block.finish();
}

}  // namespace ornpcap
