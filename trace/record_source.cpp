#include "trace/record_source.hpp"

#include <new>
#include <vector>

#include "base/interrupt.hpp"
#include "trace/block_stream.hpp"
#include "trace/record_scanner.hpp"
#include "trace/trace_file.hpp"

namespace ornpcap {

namespace {

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

ResultCode readBlocks(std::FILE* trace, const OpenedTrace& opened, RecordSink& sink,
                      BlockObserver* observer) {
    BlockBuffers buffers;
    if (!allocate(buffers, opened.trailer.maxBlockLength())) {
        return ResultCode::OutOfMemory;
    }
    const RecordForm form = recordFormOf(opened.versionMajor);
    const uint32_t streamLength = opened.trailer.streamLength();
    uint32_t fill = 0;
    uint32_t remaining = streamLength;
    for (uint32_t number = 1; remaining != 0 && number <= opened.trailer.blockCount(); ++number) {
        BlockHeader block;
        ResultCode rc = readBlock(trace, opened.trailer, static_cast<uint16_t>(number), block,
                                  buffers.block);
        if (rc != ResultCode::Ok) {
            return rc;
        }
        remaining -= uint32_t{block.blockLength} + kBlockHeaderSize;
        rc = expandBlock(block, buffers.block.data(), buffers.work, fill, buffers.workCapacity);
        if (rc == ResultCode::Ok) {
            rc = scanRecords(buffers.work, fill, form, sink);
        }
        if (rc != ResultCode::Ok) {
            return rc;
        }
        if (pendingInterrupt() != 0) {
            return ResultCode::Interrupted;  // also between records spanning many blocks
        }
        if (observer != nullptr) {
            observer->blockDone(streamLength - remaining, streamLength);
        }
    }
    // An incomplete record left in the work buffer is dropped.
    return ResultCode::Ok;
}

}  // namespace

ResultCode readTrace(const TraceRequest& request, RecordSink& sink) {
    // Read-only: nothing is ever written to the trace.
    FileHandle trace(std::fopen(request.name.c_str(), "rb"));
    if (!trace) {
        return ResultCode::CannotOpenSource;
    }
    TraceHeader header;
    TraceTrailer trailer;
    ResultCode rc =
        validateTrace(trace.get(), request.versionMajor, request.versionMinor, header, trailer);
    if (rc != ResultCode::Ok) {
        return rc;
    }
    if (trailer.blockCount() == 0) {
        return ResultCode::NoEvents;  // the sink never starts: old outputs stay
    }
    const OpenedTrace opened{header, trailer, request.versionMajor,
                             identityOfDescriptor(fileno(trace.get()))};
    rc = sink.start(opened);
    if (rc == ResultCode::Ok) {
        rc = readBlocks(trace.get(), opened, sink, request.observer);
    }
    return sink.finish(rc);
}

}  // namespace ornpcap
