#pragma once
// The block stream read ahead, the work on each block done on worker
// threads, and the blocks handed back strictly in stream order. The workers
// take each block through four steps; two of them must keep to stream order
// and are done by one worker at a time, in turn:
//
//   read       (in order)   block after block, as the loop on one thread
//                           reads them: header checks, short reads,
//                           blockCount and streamLength; no more after a
//                           failed read
//   check                   the FCS, and a compressed block expanded into a
//                           buffer of the whole work capacity
//   place      (in order)   the caller's step that depends on the blocks
//                           before: the room the block has, the chain of
//                           record starts; a failure there ends the stream
//   prepare                 the caller's step on the placed block alone:
//                           decoding its records, and the sink's preparing
//
// The calling thread takes each block back once prepared, in stream order,
// and commits it. A worker that places a block prepares it itself, at once,
// while its data is in its cache; it looks for work in the order place,
// check, read, so that blocks reach the commit as soon as they can.
//
// A fixed ring of slots, four per worker, bounds what is in flight whatever
// the trace's size: each slot holds one block as stored and its expansion
// (at most 192 KiB), and what the caller keeps of it. The trace is only read
// into a free slot: a ring of blocks not yet committed stops the reading.

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "base/result_code.hpp"
#include "base/worker_thread.hpp"
#include "trace/block_stream.hpp"
#include "trace/record_scanner.hpp"
#include "trace/record_source.hpp"
#include "trace/trace_fault.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap {

inline constexpr uint32_t kSlotsPerWorker = 8;

struct PipelineBlock {
    BlockHeader header;
    ResultCode code = ResultCode::Ok;  // of its read, else of its FCS check
    TraceFault fault;                  // what failed, block and offset aside
    std::vector<uint8_t> data;         // as stored
    // A compressed block that passed its check, expanded with the whole work
    // capacity as room: true when the decoder succeeded, with its length.
    bool expanded = false;
    uint32_t expandedLength = 0;
    std::vector<uint8_t> expansion;

    // The caller's, from placing to commit.
    ResultCode placed = ResultCode::Ok;  // of the place step
    TraceFault placeFault;
    const uint8_t* records = nullptr;    // the expanded data: `data` or `expansion`
    uint32_t recordsLength = 0;
    BlockRecords cut;
    std::vector<RecordRef> refs;
    std::unique_ptr<PreparedRecords> prepared;
};

// The caller's two steps. place runs on one worker at a time, for the blocks
// in stream order; prepare on any worker.
struct PipelineSteps {
    ResultCode (*place)(PipelineBlock& block, void* context);
    void (*prepare)(PipelineBlock& block, const void* context);
    void* context;
};

class BlockPipeline {
public:
    // The trace stream stands at the first block; workers is 2 or more: the
    // calling thread, which works with them while it waits for a block to
    // commit, and workers - 1 threads.
    BlockPipeline(std::FILE* trace, const TraceTrailer& trailer, uint32_t workers,
                  PipelineSteps steps);
    ~BlockPipeline();  // stops every thread and joins it, on every path
    BlockPipeline(const BlockPipeline&) = delete;
    BlockPipeline& operator=(const BlockPipeline&) = delete;

    // Allocates the slots and starts the threads; makePrepared gives each
    // slot its sink's PreparedRecords (or none). False when any of it
    // failed: then no thread runs and nothing of the trace was read.
    template <class MakePrepared>
    bool start(MakePrepared&& makePrepared);

    // The workers go on from the block at this position, with this much of
    // streamLength left, up to the block at lastPosition: a stretch of the
    // stream. Between stretches the calling thread may read the trace
    // itself; the workers read nothing then.
    void resume(uint32_t position, uint32_t remaining, uint32_t lastPosition);
    // The next block of the stretch in stream order once prepared, or once
    // its place step failed (its `placed` says so: the stream ends there);
    // nullptr when the stretch (or the stream) has ended and every block of
    // it was taken. Valid until committed().
    PipelineBlock* next();
    // The block of the last next() is done with: its slot is free.
    void committed();
    // Where the stream stands after a stretch: the next block's position,
    // what is left of streamLength, and whether the stream has ended.
    uint32_t position();
    uint32_t remaining();

    size_t slots() const { return slots_.size(); }

private:
    enum class State { Empty, Reading, Read, Checking, Checked, Placed, Preparing, Prepared, Failed };
    struct Slot {
        PipelineBlock block;
        State state = State::Empty;
    };
    enum class Job { None, Read, Check, Place };

    bool allocate();
    bool startThreads();
    Slot& slotOf(uint64_t sequence) { return slots_[sequence % slots_.size()]; }
    Job pick(uint64_t& sequence);
    void run(Job job, uint64_t sequence, std::unique_lock<std::mutex>& lock);
    void read(uint64_t sequence, std::unique_lock<std::mutex>& lock);
    void place(uint64_t sequence, std::unique_lock<std::mutex>& lock);
    bool finished() const;
    bool readEnded() const;
    bool ready(uint64_t sequence);
    bool burstReady();
    void work();
    void stop();
    static void* workEntry(void* self);

    std::FILE* trace_;
    const TraceTrailer& trailer_;
    uint32_t workers_;
    uint32_t workCapacity_;
    PipelineSteps steps_;
    std::vector<Slot> slots_;  // block n of the stream (from 0) in slot n % size
    std::vector<WorkerThread> threads_;

    std::mutex mutex_;  // guards what follows and each slot's state
    std::condition_variable workToDo_;
    std::condition_variable blockReady_;
    // The reading: where the stream stands.
    uint32_t nextPosition_ = 1;  // of the block read next
    uint32_t lastPosition_ = 0;  // of the stretch's last block
    uint32_t remaining_ = 0;     // of streamLength
    uint64_t readCount_ = 0;     // blocks read (or being read) into slots
    bool reading_ = false;
    bool streamEnded_ = false;   // no block after those read
    uint64_t checkTaken_ = 0;  // blocks taken for their check
    uint64_t placeHead_ = 0;   // the block placed next
    bool placing_ = false;
    bool placeFailed_ = false;  // the stream ends at placeHead_
    uint64_t commitHead_ = 0;  // the block the caller takes next
    bool stopping_ = false;
};

template <class MakePrepared>
bool BlockPipeline::start(MakePrepared&& makePrepared) {
    if (!allocate()) {
        return false;
    }
    try {
        for (Slot& slot : slots_) {
            slot.block.prepared = makePrepared();
        }
    } catch (const std::exception&) {  // no memory
        return false;
    }
    return startThreads();
}

// How many worker threads check and expand the blocks of a trace; 0 when it
// is read on the calling thread alone. requested 0 picks them from the CPUs
// the process may run on (at most 16), none with one CPU or for a trace of
// only a few blocks; requested 1 reads on the calling thread; 2 or more, as
// many workers (at most 16) for any trace. A build for the tests can have
// the automatic choice give workers for every trace, even on one CPU.
uint32_t blockWorkers(uint32_t requested, uint16_t blockCount);

// What the pipeline of that many workers holds at most: the ring's slots,
// each a block as stored and its expansion, and the threads' stacks.
uint64_t pipelineFootprint(uint32_t workers, uint16_t maxBlockLength);
// The workers, as many as memory allows: under a memory limit the pipeline
// takes no more than a small share of what is still free, so that it never
// takes what the run itself needs (the same results with one thread or
// many). Fewer than two that fit: 0, the calling thread reads alone.
uint32_t affordableWorkers(uint32_t workers, uint16_t maxBlockLength);

}  // namespace ornpcap
