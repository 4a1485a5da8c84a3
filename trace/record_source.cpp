#include "trace/record_source.hpp"

#include <cerrno>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <vector>

#include "base/interrupt.hpp"
#include "trace/block_pipeline.hpp"
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

// One run over the block stream, and where it is.
struct BlockRun {
    std::FILE* trace;
    const OpenedTrace& opened;
    RecordSink& sink;
    BlockObserver* observer;
    TraceReport& report;
    BlockBuffers buffers;
    RecordForm form;
    uint32_t fill = 0;
    uint32_t remaining = 0;
    BlockProgress block;  // the block in hand

    // Notes which block failed a check.
    ResultCode at(ResultCode rc) {
        report.fault.block = block.position;
        report.fault.offset = block.offset;
        return rc;
    }
    ResultCode failedAt(ResultCode rc) { return rc == ResultCode::Ok ? rc : at(rc); }

    ResultCode next();
    ResultCode place(const PipelineBlock& read);
    ResultCode scan(const BlockHeader& header, uint32_t before);
    ResultCode ended();
    ResultCode sequential();
    ResultCode parallel(BlockPipeline& pipeline);
    ResultCode all(uint32_t workers);
};

// Reads, checks, expands and scans the next block.
ResultCode BlockRun::next() {
    BlockHeader header;
    ResultCode rc = readBlock(trace, opened.trailer, expectedBlockNumber(block.position), header,
                              buffers.block, &report.fault);
    if (rc != ResultCode::Ok) {
        return at(rc);
    }
    remaining -= uint32_t{header.blockLength} + kBlockHeaderSize;
    const uint32_t before = fill;
    rc = expandBlock(header, buffers.block.data(), buffers.work, fill, buffers.workCapacity,
                     &report.fault);
    return rc != ResultCode::Ok ? at(rc) : scan(header, before);
}

// Appends a block that came through the pipeline to the work buffer, as
// expandBlock would have. The worker's expansion is taken when it succeeded
// and fits the room the block has here; a decoder given a smaller room then
// produces the same bytes. Any other block is expanded again here, with the
// room it really has, so that it fails as it does on one thread: a damaged
// block can overrun the room before the decoder meets the damage.
ResultCode BlockRun::place(const PipelineBlock& read) {
    if (read.code != ResultCode::Ok) {
        report.fault = read.fault;
        return at(read.code);
    }
    if (read.header.storedFlag() || !read.expanded ||
        read.expandedLength > buffers.workCapacity - fill) {
        return failedAt(expandBlock(read.header, read.data.data(), buffers.work, fill,
                                    buffers.workCapacity, &report.fault));
    }
    std::memcpy(buffers.work.data() + fill, read.expansion.data(), read.expandedLength);
    fill += read.expandedLength;
    return ResultCode::Ok;
}

// Hands the records of the block just expanded to the sink.
ResultCode BlockRun::scan(const BlockHeader& header, uint32_t before) {
    block.stored = header.storedFlag();
    block.storedLength = header.blockLength;
    block.expandedLength = fill - before;
    return scanRecords(buffers.work, fill, form, sink);
}

// Once a block's records went to the sink.
ResultCode BlockRun::ended() {
    ++report.blocksRead;
    block.done += kBlockHeaderSize + block.storedLength;
    if (pendingInterrupt() != 0) {
        return ResultCode::Interrupted;  // also between records spanning many blocks
    }
    if (observer != nullptr) {
        observer->blockDone(block);
    }
    block.offset += kBlockHeaderSize + block.storedLength;
    return ResultCode::Ok;
}

ResultCode BlockRun::sequential() {
    remaining = opened.trailer.streamLength();
    for (uint32_t position = 1; remaining != 0 && position <= opened.trailer.blockCount();
         ++position) {
        block.position = position;
        ResultCode rc = next();
        if (rc == ResultCode::Ok) {
            rc = ended();
        }
        if (rc != ResultCode::Ok) {
            return rc;
        }
    }
    report.incompleteBytes = fill;  // dropped
    return ResultCode::Ok;
}

// The same steps over the blocks the pipeline hands back in stream order:
// the reader has already ended the stream where the loop above would.
ResultCode BlockRun::parallel(BlockPipeline& pipeline) {
    for (uint32_t position = 1;; ++position) {
        const PipelineBlock* read = pipeline.next();
        if (read == nullptr) {
            break;
        }
        block.position = position;
        const BlockHeader header = read->header;
        const uint32_t before = fill;
        ResultCode rc = place(*read);
        pipeline.release();
        if (rc == ResultCode::Ok) {
            rc = scan(header, before);
        }
        if (rc == ResultCode::Ok) {
            rc = ended();
        }
        if (rc != ResultCode::Ok) {
            return rc;
        }
    }
    report.incompleteBytes = fill;  // dropped
    return ResultCode::Ok;
}

ResultCode BlockRun::all(uint32_t workers) {
    if (!allocate(buffers, opened.trailer.maxBlockLength())) {
        return ResultCode::OutOfMemory;
    }
    block.total = opened.trailer.streamLength();
    block.offset = opened.header.headerSize;
    if (workers != 0) {
        // The pipeline's threads are joined before it goes out of scope. When
        // it cannot start, nothing was read and the loop below reads it all.
        BlockPipeline pipeline(trace, opened.trailer, workers);
        if (pipeline.start()) {
            return parallel(pipeline);
        }
    }
    return sequential();
}

// Whether the bytes after the block stream, before the trailer, begin with
// a good block numbered as the next one.
bool blockFollows(std::FILE* trace, const TraceTrailer& trailer, uint64_t offset,
                  uint32_t position) {
    struct stat st {};
    if (::fstat(fileno(trace), &st) != 0 ||
        offset + kBlockHeaderSize + kTrailerSize > static_cast<uint64_t>(st.st_size)) {
        return false;
    }
    const uint64_t end = static_cast<uint64_t>(st.st_size) - kTrailerSize;
    uint8_t raw[kBlockHeaderSize];
    if (std::fseek(trace, static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fread(raw, 1, sizeof raw, trace) != sizeof raw) {
        return false;
    }
    const BlockHeader header = decodeBlockHeader(raw);
    if (checkBlockHeader(header, trailer, expectedBlockNumber(position)) != ResultCode::Ok ||
        offset + kBlockHeaderSize + header.blockLength > end) {
        return false;
    }
    std::vector<uint8_t> data;
    try {
        data.resize(header.blockLength);
    } catch (const std::bad_alloc&) {
        return false;  // a warning is not worth the run
    }
    return std::fread(data.data(), 1, data.size(), trace) == data.size() &&
           checkBlockData(header, data.data()) == ResultCode::Ok;
}

ResultCode readBlocks(std::FILE* trace, const OpenedTrace& opened, const TraceRequest& request,
                      RecordSink& sink, TraceReport& report) {
    BlockRun run{trace, opened, sink, request.observer, report, {},
                 recordFormOf(opened.versionMajor), 0, 0, {}};
    const ResultCode rc =
        run.all(affordableWorkers(blockWorkers(request.workers, opened.trailer.blockCount()),
                                  opened.trailer.maxBlockLength()));
    if (rc == ResultCode::Ok) {
        report.blockAfterEnd =
            blockFollows(trace, opened.trailer, run.block.offset, report.blocksRead + 1);
    }
    return rc;
}

}  // namespace

ResultCode readTrace(const TraceRequest& request, RecordSink& sink, TraceReport* report) {
    TraceReport local;
    TraceReport& out = report != nullptr ? *report : local;
    out = TraceReport{};
    // Read-only: nothing is ever written to the trace.
    FileHandle trace(std::fopen(request.name.c_str(), "rb"));
    if (!trace) {
        const int error = errno;
        if (error == EINTR && pendingInterrupt() != 0) {
            return ResultCode::Interrupted;  // a FIFO without a writer, say
        }
        fault(&out.fault, ResultCode::CannotOpenSource, TraceCheck::CannotOpen);
        out.fault.osError = error;
        return ResultCode::CannotOpenSource;
    }
    ResultCode rc = validateTrace(trace.get(), request.versionMajor, request.versionMinor,
                                  out.header, out.trailer, &out.fault);
    if (rc != ResultCode::Ok) {
        return rc;
    }
    out.validated = true;
    if (out.trailer.blockCount() == 0) {
        return ResultCode::NoEvents;  // the sink never starts: old outputs stay
    }
    const OpenedTrace opened{out.header, out.trailer, request.versionMajor,
                             identityOfDescriptor(fileno(trace.get()))};
    rc = sink.start(opened);
    if (rc == ResultCode::Ok) {
        rc = readBlocks(trace.get(), opened, request, sink, out);
    }
    return sink.finish(rc);
}

}  // namespace ornpcap
