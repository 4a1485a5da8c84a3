#include "trace/block_encoder.hpp"

#include <algorithm>

#include <ucl/ucl.h>

#include "base/byte_order.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap {

uint16_t blockFcsOf(std::span<const uint8_t> stored) {
    return Fcs16().reset().update(stored.data(), static_cast<uint32_t>(stored.size())).result();
}

std::array<uint8_t, kBlockHeaderSize> encodeBlockHeader(const BlockHeader& header) {
    std::array<uint8_t, kBlockHeaderSize> raw{};
    storeLe16(&raw[0], header.blockTag);
    storeLe16(&raw[2], header.blockLength);
    storeLe16(&raw[4], header.blockFcs);
    return raw;
}

BlockHeader blockHeaderFor(uint32_t position, bool stored, std::span<const uint8_t> data) {
    BlockHeader header;
    header.blockTag =
        static_cast<uint16_t>(expectedBlockNumber(position) | (stored ? 0x8000 : 0));
    header.blockLength = static_cast<uint16_t>(data.size());
    header.blockFcs = blockFcsOf(data);
    return header;
}

bool compressNrv2b(std::span<const uint8_t> data, int level, std::vector<uint8_t>& out) {
    // Initialised on its own, apart from the expander's lazy initialisation:
    // a program that writes compressed blocks need not have read one.
    static const bool initialised = ucl_init() == UCL_E_OK;
    if (!initialised) {
        out.clear();
        return false;
    }
    // The library's bound for data that does not compress.
    out.resize(data.size() + data.size() / 8 + 256);
    ucl_uint packed = static_cast<ucl_uint>(out.size());
    const int rc = ucl_nrv2b_99_compress(data.data(), static_cast<ucl_uint>(data.size()),
                                         out.data(), &packed, nullptr, level, nullptr, nullptr);
    out.resize(rc == UCL_E_OK ? packed : 0);
    return rc == UCL_E_OK;
}

uint32_t blockRoomNeed(uint32_t storedLength, uint32_t carriedOver, uint32_t expandedLength) {
    return std::max(storedLength, (carriedOver + expandedLength + 1) / 2);
}

void sealWithFcs(std::span<uint8_t> area) {
    const size_t n = area.size() - 2;
    storeLe16(&area[n], Fcs16().reset().update(area.data(), static_cast<uint32_t>(n)).result());
}

TraceTrailer encodeTrailer(uint16_t maxBlockLength, uint16_t blockCount, uint32_t streamLength,
                           const std::array<uint8_t, kTrailerSize>& kept) {
    TraceTrailer trailer;
    trailer.bytes = kept;
    storeLe16(&trailer.bytes[0], maxBlockLength);
    storeLe16(&trailer.bytes[2], blockCount);
    storeLe32(&trailer.bytes[8], streamLength);
    sealWithFcs(trailer.bytes);
    return trailer;
}

}  // namespace ornpcap
