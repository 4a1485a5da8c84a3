#include "ornfix/trace_summary.hpp"

#include <cstdio>
#include <ctime>
#include <sys/stat.h>
#include <vector>

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

std::string traceTime(const TraceHeader& header, uint32_t timeMs) {
    std::tm start{};
    start.tm_year = header.startYear() - 1900;
    start.tm_mon = header.startMonth() - 1;
    start.tm_mday = header.startDay();
    start.tm_hour = header.startHour();
    start.tm_min = header.startMinute();
    start.tm_sec = header.startSecond();
    const std::time_t at = ::timegm(&start) + static_cast<std::time_t>(timeMs / 1000);
    std::tm when{};
    ::gmtime_r(&at, &when);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03u", when.tm_year + 1900,
                  when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec,
                  static_cast<unsigned>(timeMs % 1000));
    return text;
}

std::string summaryLine(const std::string& name, const TraceSummary& s) {
    std::string line = name + ": format version " + std::to_string(s.versionMajor) + ", " +
                       std::to_string(s.blocks) + " blocks, " + std::to_string(s.records) +
                       " records";
    if (s.records != 0) {
        line += ", " + traceTime(s.header, s.firstTime) + " to " + traceTime(s.header, s.lastTime);
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
