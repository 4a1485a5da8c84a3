#pragma once
// Blocks compressed with NRV2B on worker threads and handed back strictly in
// the order they were given, for the programs that write traces: the caller
// cuts blocks and gives them one after the other; workers compress them
// meanwhile; the caller's `finished` takes each back, on the calling thread,
// in turn. What is in flight is a fixed ring of blocks, a few per worker,
// whatever the trace's size: a full ring makes the caller wait for the oldest.
//
// With no worker (one CPU, or no thread to be had) each block is compressed
// at once on the calling thread and handed back before add() returns: the
// blocks, and the bytes of what is made of them, are the same either way.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "base/worker_thread.hpp"

namespace ornpcap {

struct CompressorBlock {
    std::vector<uint8_t> data;      // as the block holds it expanded
    bool compress = false;          // false: handed back as it is
    bool compressed = false;        // compressNrv2b succeeded
    std::vector<uint8_t> packed;    // its compression, when compressed
};

// How many workers a writer takes: requested (1: none), else one per CPU
// the process may use, none on a single CPU.
uint32_t compressorWorkers(uint32_t requested = 0);

class BlockCompressor {
public:
    using Finished = std::function<void(const CompressorBlock& block)>;

    static constexpr uint32_t kBlocksPerWorker = 4;

    // Threads are started with the first block; those that cannot be had are
    // done without.
    BlockCompressor(int level, uint32_t workers, Finished finished);
    // Stops the workers; blocks not yet handed back are dropped (flush first).
    // A block whose compression ran out of memory throws std::bad_alloc on
    // the calling thread when its turn comes, as it would have there.
    ~BlockCompressor();
    BlockCompressor(const BlockCompressor&) = delete;
    BlockCompressor& operator=(const BlockCompressor&) = delete;

    // Gives the next block; hands back those finished before it in order.
    void add(std::span<const uint8_t> data, bool compress);
    // Waits for every block given and hands them back.
    void flush();

    // The threads at work (0 before the first block and without workers).
    uint32_t threads() const { return static_cast<uint32_t>(threads_.size()); }

private:
    struct Slot {
        CompressorBlock block;
        bool done = false;
        bool outOfMemory = false;  // its compression could not have its memory
    };

    static void* workEntry(void* self);
    void work();
    void compress(CompressorBlock& block) const;
    void start();
    void stop();
    // Hands back the oldest block once done; with `wait`, waits for it.
    bool handBack(bool wait);

    int level_;
    uint32_t wanted_;
    Finished finished_;
    bool started_ = false;
    std::vector<WorkerThread> threads_;
    std::vector<Slot> slots_;
    CompressorBlock inline_;  // the one block without workers

    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable blockDone_;
    // Blocks given, taken by a worker, handed back (each counts on; a
    // block's slot is its number modulo the ring).
    uint64_t given_ = 0;
    uint64_t taken_ = 0;
    uint64_t handed_ = 0;
    bool stopping_ = false;
    bool waiting_ = false;  // the caller waits for the oldest block
};

}  // namespace ornpcap
