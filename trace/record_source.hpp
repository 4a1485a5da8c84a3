#pragma once
// A trace as a source of event records. readTrace opens and validates the
// trace, then runs it through a sink: the sink's start step, every complete
// record in stream order (a block's records at a time), and the sink's
// finish step on every path once it has started (success, failure,
// interrupt). Every call of the sink and of the block observer comes on the
// calling thread, in stream order, also when worker threads check, expand
// and cut the blocks, but for a sink's prepare(), which runs on the workers.

#include <cstdint>
#include <memory>
#include <span>
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

// One complete record: its header, and its payload (nullptr when dataLength
// is 0), valid while the block it came with is in hand.
struct RecordRef {
    EventRecord header;
    const uint8_t* payload = nullptr;
};

// The records a block brings, in stream order: first the one it completes
// (started in blocks before it), then those that lie within it.
using RecordSpan = std::span<const RecordRef>;

// What a sink works out ahead of time for one block's records; each sink that
// does so has its own kind.
class PreparedRecords {
public:
    virtual ~PreparedRecords() = default;
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

    // The records of one block. By default each goes to record() in turn, and
    // a signal noted during one ends the run after it with Interrupted.
    virtual ResultCode records(RecordSpan span);

    // A sink that can do the part of its work that needs nothing but the
    // records themselves (filtering and framing, say) on other threads makes
    // a PreparedRecords of its own here, one for each block in flight, and
    // does that part in prepare(): on any thread, one block at a time, while
    // the calling thread commits the blocks before it. prepare reads nothing
    // but the records and what start() fixed (or state that is itself safe
    // across threads) and writes only `into`. commit() then takes the block
    // on the calling thread, in stream order, with what was prepared for it,
    // and ends exactly as records() would have: the same bytes, counts and
    // result. nullptr: the sink takes its records through records() alone.
    virtual std::unique_ptr<PreparedRecords> makePrepared() { return nullptr; }
    virtual void prepare(RecordSpan span, PreparedRecords& into) const;
    virtual ResultCode commit(RecordSpan span, PreparedRecords& prepared);
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
    // Threads that check, expand and cut the blocks: 0 picks them from the
    // CPUs the process may run on (none for a trace of a few blocks), 1
    // reads on the calling thread alone, 2 or more start that many (at most
    // 16). Whichever it is, the sink, the observer and the report see the
    // same.
    uint32_t workers = 0;
    // With workers, how the stream is shared between them and the calling
    // thread, a stretch of blocks at a time.
    enum class Stretches {
        Measured,  // each stretch the way the stretches before found cheaper
        Workers,   // every stretch through the workers
        Alternate, // one way and the other in turn (for the tests)
    };
#ifdef ORNPCAP_FORCE_PARALLEL
    Stretches stretches = Stretches::Workers;
#else
    Stretches stretches = Stretches::Measured;
#endif
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
    // Read in one pass (trace/trace_stream.hpp): the header was recognised
    // (its versions below), and the blocks were read in order before the
    // trailer was known; readPastEnd when blocks after the end the trailer
    // announces were read (and went to the sink) too.
    bool streamed = false;
    bool headerKnown = false;
    uint16_t versionMajor = 0;
    uint16_t versionMinor = 0;
    uint64_t length = 0;  // bytes read, the trailer's included
    bool readPastEnd = false;
};

// A block's records to the sink on the calling thread: prepared and
// committed where the sink prepares (prepared, its own), else one by one.
ResultCode deliverBlock(RecordSink& sink, RecordSpan span, PreparedRecords* prepared);

// Results: what the sink's finish step returns; before the sink starts, 2
// when the trace cannot be opened, the codes of the validation, and 1 when
// the trace holds no blocks. The trace is only read, and closed on every path.
ResultCode readTrace(const TraceRequest& request, RecordSink& sink,
                     TraceReport* report = nullptr);

}  // namespace ornpcap
