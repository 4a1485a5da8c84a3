#include "trace/conversion.hpp"

#include <new>
#include <vector>

#include "app/naming.hpp"
#include "trace/file_io.hpp"
#include "trace/interrupt.hpp"

namespace ornpcap {

namespace {

ProgressHook progressHook;

struct BlockBuffers {
    std::vector<uint8_t> block;  // one block's data as stored
    std::vector<uint8_t> work;   // expanded data: an incomplete record plus new data
    uint32_t workCapacity = 0;
};

bool allocate(BlockBuffers& buffers, uint16_t maxBlockLength) {
    try {
        buffers.block.resize(maxBlockLength);
        buffers.workCapacity = 2u * maxBlockLength;
        buffers.work.resize(buffers.workCapacity);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

ResultCode runBlocks(std::FILE* trace, const TraceHeader& header, const TraceTrailer& trailer,
                     uint16_t versionMajor, OutputSlot& slot, ConversionStats& stats,
                     const RecordWriter& writer) {
    BlockBuffers buffers;
    if (!allocate(buffers, trailer.maxBlockLength())) {
        return ResultCode::OutOfMemory;
    }
    uint32_t fill = 0;
    uint32_t remaining = trailer.streamLength();
    uint16_t blockNumber = 0;
    while (remaining != 0 && blockNumber < trailer.blockCount()) {
        ++blockNumber;
        BlockHeader block;
        ResultCode rc = readBlock(trace, trailer, blockNumber, block, buffers.block);
        if (rc != ResultCode::Ok) {
            return rc;
        }
        remaining -= uint32_t{block.blockLength} + kBlockHeaderSize;
        rc = expandBlock(block, buffers.block.data(), buffers.work, fill, buffers.workCapacity);
        if (rc != ResultCode::Ok) {
            return rc;
        }
        rc = scanRecords(slot, header, buffers.work, fill, versionMajor, stats, writer);
        if (rc != ResultCode::Ok) {
            return rc;
        }
        if (pendingInterrupt() != 0) {
            return ResultCode::Interrupted;  // also between records spanning many blocks
        }
        if (progressHook) {
            progressHook(trailer.streamLength() - remaining, trailer.streamLength());
        }
    }
    // An incomplete record left in the work buffer is dropped.
    return ResultCode::Ok;
}

}  // namespace

void setProgressHook(ProgressHook hook) { progressHook = std::move(hook); }

ResultCode runConversion(const TraceSource& source, ConversionStats& stats,
                         const RecordWriter& writer, const PrepareStep& prepare) {
    stats = ConversionStats{};
    // Read-only: nothing is ever written to the trace.
    FileHandle trace(std::fopen(source.inputName.c_str(), "rb"));
    if (!trace) {
        return ResultCode::CannotOpenSource;
    }
    TraceHeader header;
    TraceTrailer trailer;
    ResultCode rc = validateTrace(trace.get(), source.versionMajor, source.versionMinor, header,
                                  trailer);
    if (rc != ResultCode::Ok) {
        return rc;
    }
    if (trailer.blockCount() == 0) {
        return ResultCode::NoEvents;  // old outputs stay on this path
    }
    OutputSlot slot;
    slot.trace = identityOfDescriptor(fileno(trace.get()));
    (void)clearOldOutputs(source.outputName, slot.trace);
    if (prepare) {
        prepare(header);
    }

    rc = runBlocks(trace.get(), header, trailer, source.versionMajor, slot, stats, writer);
    // Outputs are completed on every path; a failure to complete them counts
    // only when nothing failed before.
    const ResultCode closed = slot.close();
    if (rc != ResultCode::Ok) {
        return rc;
    }
    if (closed != ResultCode::Ok) {
        return closed;
    }
    return stats.generatedFiles == 0 ? ResultCode::NoEvents : ResultCode::Ok;
}

}  // namespace ornpcap
