#include "ornfix/trace_summary.hpp"

#include <sys/stat.h>
#include <vector>

#include "suite/record_time.hpp"
#include "suite/say.hpp"
#include "base/file_io.hpp"
#include "trace/block_stream.hpp"
#include "trace/trace_file.hpp"

namespace ornpcap::ornfix {

namespace {

// Every block of the stream, as the conversion reads it, and nothing after
// the last one but the trailer.
bool readAllBlocks(std::FILE* trace, const TraceTrailer& trailer, uint64_t fileSize,
                   TraceSummary& summary) {
    std::vector<uint8_t> data(trailer.maxBlockLength());
    uint64_t stream = 0;
    for (uint32_t position = 1; position <= trailer.blockCount(); ++position) {
        BlockHeader header;
        if (readBlock(trace, trailer, expectedBlockNumber(position), header, data,
                      &summary.fault) != ResultCode::Ok) {
            summary.fault.block = position;
            return false;
        }
        stream += kBlockHeaderSize + header.blockLength;
        summary.blocks = position;
    }
    return stream == trailer.streamLength() &&
           summary.header.headerSize + stream + kTrailerSize == fileSize;
}

}  // namespace

TraceSummary checkWrittenTrace(const std::string& name) {
    TraceSummary summary;
    summary.checked = true;
    uint16_t minor = 0;
    if (probeTrace(name, summary.versionMajor, minor, &summary.fault) != ResultCode::Ok) {
        return summary;
    }
    FileHandle trace(std::fopen(name.c_str(), "rb"));
    TraceTrailer trailer;
    if (!trace || validateTrace(trace.get(), summary.versionMajor, minor, summary.header, trailer,
                                &summary.fault) != ResultCode::Ok) {
        return summary;
    }
    struct stat st {};
    summary.intact =
        ::fstat(fileno(trace.get()), &st) == 0 &&
        readAllBlocks(trace.get(), trailer, static_cast<uint64_t>(st.st_size), summary);
    return summary;
}

std::string summaryLine(const std::string& name, const TraceSummary& s) {
    std::string line = name + ": format version " + std::to_string(s.versionMajor) + ", " +
                       std::to_string(s.blocks) + " blocks, " + std::to_string(s.records) +
                       " records";
    if (s.records != 0) {
        const TraceClock clock = traceClock(s.header, s.versionMajor);
        line += ", " + recordTime(clock, s.firstTime) + " to " + recordTime(clock, s.lastTime);
    }
    if (!s.checked) {
        return line + ", not read back";
    }
    if (s.intact) {
        return line + ", integrity OK";
    }
    return line + ", DAMAGED: " +
           (s.fault.failed() ? describe(s.fault)
                             : "the block stream does not end at the trailer");
}

}  // namespace ornpcap::ornfix
