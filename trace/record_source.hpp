#pragma once
// A trace as a source of event records. readTrace opens and validates the
// trace, then runs it through a sink: the sink's start step, every complete
// record in stream order, and the sink's finish step on every path once it
// has started (success, failure, interrupt). Every call of the sink and of
// the block observer comes on the calling thread, in stream order, also when
// worker threads check and expand the blocks.

#include <cstdint>
#include <string>

#include "base/file_io.hpp"
#include "base/result_code.hpp"
#include "trace/event_record.hpp"
#include "trace/trace_fault.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap {

// What a sink learns of the trace when it starts.
struct OpenedTrace {
    const TraceHeader& header;
    const TraceTrailer& trailer;
    uint16_t versionMajor;
    FileIdentity identity;  // of the trace file: no output may be this file
};

class RecordSink {
public:
    virtual ~RecordSink() = default;
    // Once, after the trace was validated and found to hold blocks, before
    // any block is read. Anything but Ok ends the run with that code.
    virtual ResultCode start(const OpenedTrace& trace) = 0;
    // Each complete record; payload is nullptr when dataLength is 0. Both are
    // valid only during the call. Anything but Ok ends the run with that code.
    virtual ResultCode record(const EventRecord& record, const uint8_t* payload) = 0;
    // Once after start, with the run's result so far; what it returns is the
    // result of the run.
    virtual ResultCode finish(ResultCode result) = 0;
};

// One block, once its records went to the sink.
struct BlockProgress {
    uint32_t position = 0;        // in the stream, from 1
    uint64_t offset = 0;          // of its header in the file
    bool stored = false;          // stored as is, else NRV2B-compressed
    uint16_t storedLength = 0;    // blockLength
    uint32_t expandedLength = 0;  // its data once expanded
    uint64_t done = 0;            // bytes of the block stream read so far
    uint64_t total = 0;           // streamLength
};

class BlockObserver {
public:
    virtual ~BlockObserver() = default;
    virtual void blockDone(const BlockProgress& block) = 0;
};

struct TraceRequest {
    std::string name;
    uint16_t versionMajor = 0;  // as the probe found them
    uint16_t versionMinor = 0;
    BlockObserver* observer = nullptr;
    // Threads that check and expand the blocks: 0 picks them from the CPUs
    // the process may run on (none for a trace of a few blocks), 1 reads on
    // the calling thread alone, 2 or more start that many (at most 16).
    // Whichever it is, the sink, the observer and the report see the same.
    uint32_t workers = 0;
};

// What a run learned besides its result.
struct TraceReport {
    bool validated = false;  // header and trailer hold what was read
    TraceHeader header;
    TraceTrailer trailer;
    TraceFault fault;                // the first check that failed; code Ok when none did
    uint32_t blocksRead = 0;         // whose records went to the sink
    uint32_t incompleteBytes = 0;    // of a last record the stream ended in, dropped
    // The stream ended (by blockCount or streamLength) before bytes that
    // begin with a good next block: records were left unread.
    bool blockAfterEnd = false;
};

// Results: what the sink's finish step returns; before the sink starts, 2
// when the trace cannot be opened, the codes of the validation, and 1 when
// the trace holds no blocks. The trace is only read, and closed on every path.
ResultCode readTrace(const TraceRequest& request, RecordSink& sink,
                     TraceReport* report = nullptr);

}  // namespace ornpcap
