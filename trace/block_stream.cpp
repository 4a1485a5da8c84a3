#include "trace/block_stream.hpp"

#include <cstring>

#include "base/byte_order.hpp"
#include "trace/block_expander.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap {

namespace {

uint16_t fcsOf(const uint8_t* data, uint16_t length) {
    return Fcs16().reset().update(data, length).result();
}

// Expands into room bytes at destination; produced holds what it made.
ResultCode expandCompressed(const BlockHeader& header, const uint8_t* data, uint8_t* destination,
                            uint32_t room, uint32_t& produced, TraceFault* out) {
    if (BlockExpander::ensureInitialised() != BlockExpander::Success) {
        return fault(out, ResultCode::BadFormat, TraceCheck::ExpanderUnavailable);
    }
    produced = room;
    int error = 0;
    if (BlockExpander::expand(data, header.blockLength, destination, produced, &error) !=
        BlockExpander::Success) {
        return error == BlockExpander::kOutputOverrun
                   ? fault(out, ResultCode::BadFormat, TraceCheck::BlockNoRoom, room + 1, room)
                   : fault(out, ResultCode::BadFormat, TraceCheck::BlockNotExpandable);
    }
    return ResultCode::Ok;
}

ResultCode storedFits(const BlockHeader& header, uint32_t room, TraceFault* out) {
    return header.blockLength <= room ? ResultCode::Ok
                                      : fault(out, ResultCode::BadFormat, TraceCheck::BlockNoRoom,
                                              header.blockLength, room);
}

}  // namespace

BlockHeader decodeBlockHeader(const uint8_t* bytes) {
    return {loadLe16(bytes), loadLe16(bytes + 2), loadLe16(bytes + 4)};
}

uint16_t expectedBlockNumber(uint32_t position) { return static_cast<uint16_t>(position & 0x7FFF); }

ResultCode checkBlockHeader(const BlockHeader& header, const TraceTrailer& trailer,
                            uint16_t expectedNumber, TraceFault* out) {
    if (header.blockLength > trailer.maxBlockLength()) {
        return fault(out, ResultCode::BadFormat, TraceCheck::BlockTooLong, header.blockLength,
                     trailer.maxBlockLength());
    }
    if (header.blockNumber() != expectedNumber) {
        return fault(out, ResultCode::BadFormat, TraceCheck::BlockOutOfSequence,
                     header.blockNumber(), expectedNumber);
    }
    // An empty block reads nothing, which counts as a failed read.
    if (header.blockLength == 0) {
        return fault(out, ResultCode::CannotReadSource, TraceCheck::BlockEmpty);
    }
    return ResultCode::Ok;
}

ResultCode checkBlockData(const BlockHeader& header, const uint8_t* data, TraceFault* out) {
    const uint16_t fcs = fcsOf(data, header.blockLength);
    return fcs == header.blockFcs ? ResultCode::Ok
                                  : fault(out, ResultCode::BadFormat, TraceCheck::BlockChecksum,
                                          header.blockFcs, fcs);
}

ResultCode readBlockData(std::FILE* trace, const TraceTrailer& trailer, uint16_t expectedNumber,
                         BlockHeader& header, uint8_t* data, TraceFault* out) {
    uint8_t raw[kBlockHeaderSize];
    if (std::fread(raw, 1, sizeof raw, trace) != sizeof raw) {
        return fault(out, ResultCode::CannotReadSource, TraceCheck::BlockHeaderCut);
    }
    header = decodeBlockHeader(raw);
    if (ResultCode rc = checkBlockHeader(header, trailer, expectedNumber, out);
        rc != ResultCode::Ok) {
        return rc;
    }
    if (std::fread(data, header.blockLength, 1, trace) != 1) {
        return fault(out, ResultCode::CannotReadSource, TraceCheck::BlockDataCut,
                     header.blockLength);
    }
    return ResultCode::Ok;
}

ResultCode readBlock(std::FILE* trace, const TraceTrailer& trailer, uint16_t expectedNumber,
                     BlockHeader& header, std::vector<uint8_t>& blockBuffer, TraceFault* out) {
    const ResultCode rc =
        readBlockData(trace, trailer, expectedNumber, header, blockBuffer.data(), out);
    return rc != ResultCode::Ok ? rc : checkBlockData(header, blockBuffer.data(), out);
}

ResultCode expandInto(const BlockHeader& header, const uint8_t* data, uint8_t* expansion,
                      uint32_t room, uint32_t& expandedLength, TraceFault* out) {
    if (!header.storedFlag()) {
        return expandCompressed(header, data, expansion, room, expandedLength, out);
    }
    expandedLength = header.blockLength;
    return storedFits(header, room, out);
}

ResultCode expandBlock(const BlockHeader& header, const uint8_t* data,
                       std::vector<uint8_t>& workBuffer, uint32_t& fill, uint32_t workCapacity,
                       TraceFault* out) {
    const uint32_t room = workCapacity - fill;
    uint32_t produced = 0;
    if (!header.storedFlag()) {
        const ResultCode rc =
            expandCompressed(header, data, workBuffer.data() + fill, room, produced, out);
        fill += rc == ResultCode::Ok ? produced : 0;
        return rc;
    }
    if (ResultCode rc = storedFits(header, room, out); rc != ResultCode::Ok) {
        return rc;
    }
    std::memcpy(workBuffer.data() + fill, data, header.blockLength);
    fill += header.blockLength;
    return ResultCode::Ok;
}

}  // namespace ornpcap
