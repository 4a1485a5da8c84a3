#include "trace/record_source.hpp"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <vector>

#include "base/interrupt.hpp"
#include "trace/block_pipeline.hpp"
#include "trace/block_stream.hpp"
#include "trace/record_scanner.hpp"
#include "trace/stretch_choice.hpp"
#include "trace/trace_file.hpp"

namespace ornpcap {

namespace {

// What the calling thread reads blocks into when it reads them alone.
struct BlockBuffers {
    std::vector<uint8_t> block;      // one block's data as stored
    std::vector<uint8_t> expansion;  // a compressed block's data, expanded
    BlockRecords cut;
    std::vector<RecordRef> refs;
    std::unique_ptr<PreparedRecords> prepared;
};

bool allocate(BlockBuffers& buffers, uint16_t maxBlockLength, RecordSink& sink) {
    try {
        buffers.block.resize(maxBlockLength);
        buffers.expansion.resize(2u * maxBlockLength);
        buffers.prepared = sink.makePrepared();
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
    RecordChain chain;
    uint32_t workCapacity = 0;
    BlockProgress block;  // the block in hand (on one thread), else the one committed next
    uint64_t bytesExpanded = 0;  // of the blocks committed, expanded

    // Notes which block failed a check.
    ResultCode at(ResultCode rc, uint32_t position, uint64_t offset) {
        report.fault.block = position;
        report.fault.offset = offset;
        return rc;
    }

    uint32_t room() const { return workCapacity - chain.carried(); }
    ResultCode ended(const BlockHeader& header, uint32_t expandedLength);
    ResultCode next(BlockBuffers& buffers, uint32_t& remaining);
    ResultCode place(PipelineBlock& read);
    static ResultCode placeStep(PipelineBlock& block, void* run);
    static void prepareStep(PipelineBlock& block, const void* run);
    ResultCode sequential();
    ResultCode alone(BlockBuffers& buffers, uint32_t& remaining, uint32_t count);
    ResultCode parallel(BlockPipeline& pipeline);
    ResultCode stretches(BlockPipeline& pipeline, TraceRequest::Stretches policy);
    ResultCode all(uint32_t workers, TraceRequest::Stretches policy);
};

// Once a block's records went to the sink.
ResultCode BlockRun::ended(const BlockHeader& header, uint32_t expandedLength) {
    block.stored = header.storedFlag();
    block.storedLength = header.blockLength;
    block.expandedLength = expandedLength;
    bytesExpanded += expandedLength;
    ++report.blocksRead;
    block.done += kBlockHeaderSize + block.storedLength;
    if (pendingInterrupt() != 0) {
        return ResultCode::Interrupted;  // also between records spanning many blocks
    }
    if (observer != nullptr) {
        observer->blockDone(block);
    }
    block.offset += kBlockHeaderSize + block.storedLength;
    ++block.position;
    return ResultCode::Ok;
}

// Reads, checks, expands and cuts the next block, and hands its records on.
ResultCode BlockRun::next(BlockBuffers& b, uint32_t& remaining) {
    BlockHeader header;
    ResultCode rc = readBlock(trace, opened.trailer, expectedBlockNumber(block.position), header,
                              b.block, &report.fault);
    if (rc != ResultCode::Ok) {
        return at(rc, block.position, block.offset);
    }
    remaining -= uint32_t{header.blockLength} + kBlockHeaderSize;
    uint32_t length = 0;
    rc = expandInto(header, b.block.data(), b.expansion.data(), room(), length, &report.fault);
    if (rc != ResultCode::Ok) {
        return at(rc, block.position, block.offset);
    }
    const uint8_t* data = header.storedFlag() ? b.block.data() : b.expansion.data();
    chain.cut(data, length, b.cut);
    decodeRecords(b.cut, data, chain.form(), b.refs);
    rc = deliverBlock(sink, b.refs, b.prepared.get());
    return rc != ResultCode::Ok ? rc : ended(header, length);
}

// Up to `count` blocks on the calling thread alone.
ResultCode BlockRun::alone(BlockBuffers& buffers, uint32_t& remaining, uint32_t count) {
    for (uint32_t n = 0; n < count && remaining != 0 && block.position <= opened.trailer.blockCount();
         ++n) {
        if (ResultCode rc = next(buffers, remaining); rc != ResultCode::Ok) {
            return rc;
        }
    }
    return ResultCode::Ok;
}

ResultCode BlockRun::sequential() {
    BlockBuffers buffers;
    if (!allocate(buffers, opened.trailer.maxBlockLength(), sink)) {
        return ResultCode::OutOfMemory;
    }
    uint32_t remaining = opened.trailer.streamLength();
    if (ResultCode rc = alone(buffers, remaining, UINT32_MAX); rc != ResultCode::Ok) {
        return rc;
    }
    report.incompleteBytes = chain.carried();  // dropped
    return ResultCode::Ok;
}

// The stream a stretch at a time, each through the workers or on the
// calling thread alone as the choice has it; the chain of record starts,
// and where the stream stands, pass from one way to the other.
ResultCode BlockRun::stretches(BlockPipeline& pipeline, TraceRequest::Stretches policy) {
    BlockBuffers buffers;
    if (!allocate(buffers, opened.trailer.maxBlockLength(), sink)) {
        return ResultCode::OutOfMemory;
    }
    StretchChoice choice(policy);
    uint32_t remaining = opened.trailer.streamLength();
    while (remaining != 0 && block.position <= opened.trailer.blockCount()) {
        const bool workers = choice.throughWorkers();
        const uint32_t count = choice.length(workers);
        const uint32_t first = block.position;
        const uint64_t before = block.done + bytesExpanded;
        const auto start = std::chrono::steady_clock::now();
        ResultCode rc = ResultCode::Ok;
        if (workers) {
            pipeline.resume(block.position, remaining, block.position + count - 1);
            rc = parallel(pipeline);
            remaining = pipeline.remaining();
        } else {
            rc = alone(buffers, remaining, count);
        }
        if (rc != ResultCode::Ok) {
            return rc;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        choice.took(workers, took.count(), block.done + bytesExpanded - before,
                    block.position - first);
    }
    report.incompleteBytes = chain.carried();  // dropped
    return ResultCode::Ok;
}

// Takes a block that came through the pipeline's check where the records
// carried over leave it room, as expandInto would on one thread, and cuts
// it. The worker's expansion is taken when it succeeded and fits that room;
// a decoder given a smaller room then produces the same bytes. Any other
// block is expanded again here, with the room it really has, so that it
// fails as it does on one thread: a damaged block can overrun the room
// before the decoder meets the damage. On a worker, one block at a time.
ResultCode BlockRun::place(PipelineBlock& read) {
    if (read.code != ResultCode::Ok) {
        read.placeFault = read.fault;
        return read.code;
    }
    uint32_t length = read.expandedLength;
    if (read.header.storedFlag() || !read.expanded || read.expandedLength > room()) {
        const ResultCode rc = expandInto(read.header, read.data.data(), read.expansion.data(),
                                         room(), length, &read.placeFault);
        if (rc != ResultCode::Ok) {
            return rc;
        }
    }
    read.records = read.header.storedFlag() ? read.data.data() : read.expansion.data();
    read.recordsLength = length;
    chain.cut(read.records, length, read.cut);
    return ResultCode::Ok;
}

ResultCode BlockRun::placeStep(PipelineBlock& block, void* run) {
    return static_cast<BlockRun*>(run)->place(block);
}

// Decodes a placed block's records and has the sink prepare them, on a worker.
void BlockRun::prepareStep(PipelineBlock& block, const void* run) {
    const BlockRun& r = *static_cast<const BlockRun*>(run);
    decodeRecords(block.cut, block.records, r.chain.form(), block.refs);
    if (block.prepared) {
        r.sink.prepare(block.refs, *block.prepared);
    }
}

// The same steps over the blocks of a stretch the pipeline hands back in
// stream order: the workers have already read, checked and cut them as the
// loop above would, and ended the stream where it would. A failure of a
// block's place step comes back once the blocks before it are committed.
ResultCode BlockRun::parallel(BlockPipeline& pipeline) {
    while (PipelineBlock* b = pipeline.next()) {
        if (b->placed != ResultCode::Ok) {
            report.fault = b->placeFault;
            return at(b->placed, block.position, block.offset);
        }
        ResultCode rc = b->prepared ? sink.commit(b->refs, *b->prepared) : sink.records(b->refs);
        if (rc == ResultCode::Ok) {
            rc = ended(b->header, b->recordsLength);
        }
        pipeline.committed();
        if (rc != ResultCode::Ok) {
            return rc;
        }
    }
    return ResultCode::Ok;
}

ResultCode BlockRun::all(uint32_t workers, TraceRequest::Stretches policy) {
    workCapacity = 2u * opened.trailer.maxBlockLength();
    block.position = 1;
    block.total = opened.trailer.streamLength();
    block.offset = opened.header.headerSize;
    if (workers != 0) {
        // The pipeline's threads are joined before it goes out of scope. When
        // it cannot start, nothing was read and the loop below reads it all.
        BlockPipeline pipeline(trace, opened.trailer, workers, {placeStep, prepareStep, this});
        if (pipeline.start([this] { return sink.makePrepared(); })) {
            return stretches(pipeline, policy);
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
    BlockRun run{trace, opened, sink, request.observer, report,
                 RecordChain(recordFormOf(opened.versionMajor)), 0, {}, 0};
    const ResultCode rc =
        run.all(affordableWorkers(blockWorkers(request.workers, opened.trailer.blockCount()),
                                  opened.trailer.maxBlockLength()),
                request.stretches);
    if (rc == ResultCode::Ok) {
        report.blockAfterEnd =
            blockFollows(trace, opened.trailer, run.block.offset, report.blocksRead + 1);
    }
    return rc;
}

}  // namespace

ResultCode deliverBlock(RecordSink& sink, RecordSpan span, PreparedRecords* prepared) {
    if (prepared == nullptr) {
        return sink.records(span);
    }
    sink.prepare(span, *prepared);
    return sink.commit(span, *prepared);
}

ResultCode RecordSink::records(RecordSpan span) {
    for (const RecordRef& r : span) {
        if (ResultCode rc = record(r.header, r.payload); rc != ResultCode::Ok) {
            return rc;
        }
        if (pendingInterrupt() != 0) {
            return ResultCode::Interrupted;
        }
    }
    return ResultCode::Ok;
}

void RecordSink::prepare(RecordSpan, PreparedRecords&) const {}

ResultCode RecordSink::commit(RecordSpan span, PreparedRecords&) { return records(span); }

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
