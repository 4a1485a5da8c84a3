#include "trace/record_source.hpp"

#include <cerrno>
#include <new>
#include <sys/stat.h>
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

    ResultCode next();
    ResultCode all();
};

// Reads, checks, expands and scans the next block.
ResultCode BlockRun::next() {
    BlockHeader header;
    TraceFault& fault = report.fault;
    ResultCode rc = readBlock(trace, opened.trailer, expectedBlockNumber(block.position), header,
                              buffers.block, &fault);
    if (rc != ResultCode::Ok) {
        return at(rc);
    }
    remaining -= uint32_t{header.blockLength} + kBlockHeaderSize;
    const uint32_t before = fill;
    rc = expandBlock(header, buffers.block.data(), buffers.work, fill, buffers.workCapacity,
                     &fault);
    if (rc != ResultCode::Ok) {
        return at(rc);
    }
    block.stored = header.storedFlag();
    block.storedLength = header.blockLength;
    block.expandedLength = fill - before;
    return scanRecords(buffers.work, fill, form, sink);
}

ResultCode BlockRun::all() {
    if (!allocate(buffers, opened.trailer.maxBlockLength())) {
        return ResultCode::OutOfMemory;
    }
    block.total = opened.trailer.streamLength();
    remaining = opened.trailer.streamLength();
    block.offset = opened.header.headerSize;
    for (uint32_t position = 1; remaining != 0 && position <= opened.trailer.blockCount();
         ++position) {
        block.position = position;
        if (const ResultCode rc = next(); rc != ResultCode::Ok) {
            return rc;
        }
        ++report.blocksRead;
        block.done += kBlockHeaderSize + block.storedLength;
        if (pendingInterrupt() != 0) {
            return ResultCode::Interrupted;  // also between records spanning many blocks
        }
        if (observer != nullptr) {
            observer->blockDone(block);
        }
        block.offset += kBlockHeaderSize + block.storedLength;
    }
    report.incompleteBytes = fill;  // dropped
    return ResultCode::Ok;
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
    std::vector<uint8_t> data(header.blockLength);
    return std::fread(data.data(), 1, data.size(), trace) == data.size() &&
           checkBlockData(header, data.data()) == ResultCode::Ok;
}

ResultCode readBlocks(std::FILE* trace, const OpenedTrace& opened, RecordSink& sink,
                      BlockObserver* observer, TraceReport& report) {
    BlockRun run{trace, opened, sink, observer, report, {}, recordFormOf(opened.versionMajor), 0, 0, {}};
    const ResultCode rc = run.all();
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
        rc = readBlocks(trace.get(), opened, sink, request.observer, out);
    }
    return sink.finish(rc);
}

}  // namespace ornpcap
