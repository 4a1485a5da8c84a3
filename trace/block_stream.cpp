#include "trace/block_stream.hpp"

#include <cstring>

#include "trace/block_expander.hpp"
#include "trace/byte_order.hpp"
#include "trace/fcs16.hpp"
#include "trace/interrupt.hpp"

namespace ornpcap {

bool blockFcsMatches(const BlockHeader& header, const uint8_t* data) {
    return Fcs16().reset().update(data, header.blockLength).result() == header.blockFcs;
}

ResultCode readBlock(std::FILE* trace, const TraceTrailer& trailer, uint16_t expectedNumber,
                     BlockHeader& header, std::vector<uint8_t>& blockBuffer) {
    uint8_t raw[kBlockHeaderSize];
    if (std::fread(raw, 1, sizeof raw, trace) != sizeof raw) {
        return ResultCode::CannotReadSource;
    }
    header = {loadLe16(raw), loadLe16(raw + 2), loadLe16(raw + 4)};
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

ResultCode scanRecords(OutputSlot& slot, const TraceHeader& header, std::vector<uint8_t>& workBuffer,
                       uint32_t& fill, uint16_t versionMajor, ConversionStats& stats,
                       const RecordWriter& writer) {
    const uint32_t headerSize = recordHeaderSize(versionMajor);
    const bool widen = versionMajor == 5;
    const uint16_t snapLength = header.snapLength();
    uint32_t pos = 0;
    while (pos < fill) {
        const uint32_t rest = fill - pos;
        if (rest < headerSize) {
            break;
        }
        const uint8_t* at = workBuffer.data() + pos;
        const EventRecord record = widen ? decodeEventRecordV5(at) : decodeEventRecord(at);
        if (rest < headerSize + record.dataLength) {
            break;
        }
        const uint8_t* payload = record.dataLength != 0 ? at + headerSize : nullptr;
        pos += headerSize + record.dataLength;
        ResultCode rc = writer(slot, snapLength, record, payload, stats);
        if (rc != ResultCode::Ok) {
            return rc;
        }
        if (pendingInterrupt() != 0) {
            return ResultCode::Interrupted;
        }
    }
    if (pos < fill) {
        std::memmove(workBuffer.data(), workBuffer.data() + pos, fill - pos);
        fill -= pos;
    } else {
        fill = 0;
    }
    return ResultCode::Ok;
}

}  // namespace ornpcap
