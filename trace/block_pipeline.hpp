#pragma once
// The block stream read ahead, with every block's FCS check and expansion
// done on worker threads, and the blocks handed back strictly in stream order.
//
//   reader thread   reads block after block in stream order, as the loop on
//                   one thread does: header checks, short reads, blockCount
//                   and streamLength; it stops after a failed read
//   worker threads  check a block's FCS and expand a compressed one into a
//                   buffer of the whole work capacity
//   caller          takes the blocks back one at a time in stream order
//
// A fixed ring of slots, four per worker, bounds what is in flight whatever
// the trace's size: each slot holds one block as stored and its expansion
// (at most 192 KiB). A full ring stops the reader until half of it is free
// again, so that it reads several blocks for each time it is woken.
// Nothing is decided here. A block comes back with what its read, its check
// and its expansion found, and the caller makes of it exactly what the loop
// on one thread would have: the room a block has in the work buffer depends
// on the records carried over from the blocks before it, which only the
// caller knows.

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <vector>

#include "base/result_code.hpp"
#include "base/worker_thread.hpp"
#include "trace/block_stream.hpp"
#include "trace/trace_fault.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap {

inline constexpr uint32_t kSlotsPerWorker = 4;

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
};

class BlockPipeline {
public:
    // The trace stream stands at the first block; workers is 2 or more.
    BlockPipeline(std::FILE* trace, const TraceTrailer& trailer, uint32_t workers);
    ~BlockPipeline();  // stops every thread and joins it, on every path
    BlockPipeline(const BlockPipeline&) = delete;
    BlockPipeline& operator=(const BlockPipeline&) = delete;

    // Allocates the slots and starts the threads. False when either failed:
    // then no thread runs and nothing of the trace was read.
    bool start();
    // The next block in stream order once it was read and checked, or
    // nullptr when the stream has ended (never after a failed read, which
    // comes back as the last block). Valid until release().
    const PipelineBlock* next();
    void release();

private:
    struct Slot {
        PipelineBlock block;
        bool checked = false;
    };

    Slot& slotOf(uint64_t sequence) { return slots_[sequence % slots_.size()]; }
    bool refillable() const { return 2 * (readCount_ - head_) <= slots_.size(); }
    void readAll();
    PipelineBlock* freeSlot();
    void publish(bool last);
    void endOfStream();
    void work();
    bool take(uint64_t& sequence);
    void stop();
    static void* workEntry(void* self);
    static void* readEntry(void* self);

    std::FILE* trace_;
    const TraceTrailer& trailer_;
    uint32_t workers_;
    uint32_t workCapacity_;
    std::vector<Slot> slots_;  // block n of the stream (from 0) in slot n % size
    std::vector<WorkerThread> threads_;

    std::mutex mutex_;  // guards what follows and each slot's checked flag
    std::condition_variable slotFreed_;
    std::condition_variable blockRead_;
    std::condition_variable blockChecked_;
    uint64_t readCount_ = 0;  // blocks put into slots by the reader
    uint64_t taken_ = 0;      // of them, taken by a worker
    uint64_t head_ = 0;       // the block the caller has next
    bool readEnded_ = false;  // the reader put its last block
    bool stopping_ = false;
};

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
