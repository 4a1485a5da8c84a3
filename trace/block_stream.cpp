#include "trace/block_stream.hpp"

#include <cstring>

#include "base/byte_order.hpp"
#include "trace/block_expander.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap {

BlockHeader decodeBlockHeader(const uint8_t* bytes) {
    return {loadLe16(bytes), loadLe16(bytes + 2), loadLe16(bytes + 4)};
}

namespace {

// The compare check: the FCS-16 result of the stored data equals blockFcs.
bool blockFcsMatches(const BlockHeader& header, const uint8_t* data) {
    return Fcs16().reset().update(data, header.blockLength).result() == header.blockFcs;
}

}  // namespace

ResultCode readBlock(std::FILE* trace, const TraceTrailer& trailer, uint16_t expectedNumber,
                     BlockHeader& header, std::vector<uint8_t>& blockBuffer) {
    uint8_t raw[kBlockHeaderSize];
    if (std::fread(raw, 1, sizeof raw, trace) != sizeof raw) {
        return ResultCode::CannotReadSource;
    }
    header = decodeBlockHeader(raw);
    if (header.blockLength > trailer.maxBlockLength() ||
        header.blockNumber() != expectedNumber) {
        return ResultCode::BadFormat;
    }
    // An empty block reads nothing, which counts as a failed read.
    if (header.blockLength == 0 ||
        std::fread(blockBuffer.data(), header.blockLength, 1, trace) != 1) {
        return ResultCode::CannotReadSource;
    }
    return blockFcsMatches(header, blockBuffer.data()) ? ResultCode::Ok : ResultCode::BadFormat;
}

ResultCode expandBlock(const BlockHeader& header, const uint8_t* data,
                       std::vector<uint8_t>& workBuffer, uint32_t& fill, uint32_t workCapacity) {
    if (header.storedFlag()) {
        if (uint64_t{fill} + header.blockLength > workCapacity) {
            return ResultCode::BadFormat;
        }
        std::memcpy(workBuffer.data() + fill, data, header.blockLength);
        fill += header.blockLength;
        return ResultCode::Ok;
    }
    if (BlockExpander::ensureInitialised() != BlockExpander::Success) {
        return ResultCode::BadFormat;
    }
    uint32_t produced = workCapacity - fill;
    if (BlockExpander::expand(data, header.blockLength, workBuffer.data() + fill, produced) !=
        BlockExpander::Success) {
        return ResultCode::BadFormat;
    }
    fill += produced;
    return ResultCode::Ok;
}

}  // namespace ornpcap
