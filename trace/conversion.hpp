#pragma once
// The conversion run the three converters share: open and validate the trace,
// clear old outputs, read, check and expand every block, and hand each event
// record to the converter's writer. Converters differ only in the writer, an
// optional preparation step, and the names they pass in.

#include <cstdint>
#include <functional>
#include <string>

#include "app/conversion_stats.hpp"
#include "app/result_code.hpp"
#include "trace/block_stream.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap {

// What the run needs of a converter's settings.
struct TraceSource {
    std::string inputName;
    std::string outputName;  // whose old outputs are deleted before the first block
    uint16_t versionMajor = 0;
    uint16_t versionMinor = 0;
};

// Runs once, after the trace was validated and old outputs were deleted.
using PrepareStep = std::function<void(const TraceHeader& header)>;

// Results: 0 when at least one output file was created; 1 when none was (or
// the trace holds no blocks); 2 when the trace cannot be opened; the codes of
// validateTrace, readBlock and expandBlock; the writer's code; 6 when an
// output cannot be completed; 18 when the buffers cannot be allocated;
// Interrupted after a signal. Every stream is closed on every path.
ResultCode runConversion(const TraceSource& source, ConversionStats& stats,
                         const RecordWriter& writer, const PrepareStep& prepare = {});

// Told how far through the block stream a run is (bytes of blocks read so far
// and streamLength), after each block.
using ProgressHook = std::function<void(uint64_t done, uint64_t total)>;
void setProgressHook(ProgressHook hook);

}  // namespace ornpcap
