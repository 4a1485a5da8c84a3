#include "trace/block_pipeline.hpp"

#include <algorithm>
#include <csignal>
#include <exception>
#include <optional>
#include <pthread.h>
#include <thread>
#include <sched.h>

#include "base/memory_headroom.hpp"
#include "trace/block_expander.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kMostWorkers = 16;
constexpr uint16_t kFewBlocks = 8;  // fewer are read on the calling thread

#ifdef ORNPCAP_FORCE_PARALLEL
constexpr bool kForceParallel = true;
#else
constexpr bool kForceParallel = false;
#endif

uint32_t usableCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0) {
        return std::max(std::thread::hardware_concurrency(), 1u);
    }
    return static_cast<uint32_t>(CPU_COUNT(&set));
}

// While it lives, the calling thread blocks every signal sent to the process,
// and the threads it starts inherit that: SIGINT, SIGTERM and SIGHUP then run
// their handler on the thread that scans the records and looks at the flag.
// Signals of a fault stay open.
class SignalsBlocked {
public:
    SignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) {
            sigdelset(&all, fault);
        }
        ::pthread_sigmask(SIG_BLOCK, &all, &before_);
    }
    ~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

private:
    sigset_t before_;
};

// A worker's part: the FCS check, then the expansion with the whole work
// capacity as room. An expander that cannot be initialised leaves the block
// unexpanded; the caller expands it again and finds out.
void checkAndExpand(PipelineBlock& block, uint32_t workCapacity) {
    block.expanded = false;
    if (block.code != ResultCode::Ok) {
        return;  // a failed read, nothing to check
    }
    block.code = checkBlockData(block.header, block.data.data(), &block.fault);
    if (block.code != ResultCode::Ok || block.header.storedFlag() ||
        BlockExpander::ensureInitialised() != BlockExpander::Success) {
        return;
    }
    uint32_t produced = workCapacity;
    block.expanded = BlockExpander::expand(block.data.data(), block.header.blockLength,
                                           block.expansion.data(),
                                           produced) == BlockExpander::Success;
    block.expandedLength = block.expanded ? produced : 0;
}

}  // namespace

uint32_t blockWorkers(uint32_t requested, uint16_t blockCount) {
    if (requested != 0) {
        return requested == 1 ? 0 : std::min(requested, kMostWorkers);
    }
    const uint32_t cpus = std::min(usableCpus(), kMostWorkers);
    if (kForceParallel) {
        return std::max(cpus, 2u);
    }
    return cpus >= 2 && blockCount >= kFewBlocks ? cpus : 0;
}

uint64_t pipelineFootprint(uint32_t workers, uint16_t maxBlockLength) {
    const uint64_t slot = 3ull * maxBlockLength;  // as stored, and twice that expanded
    return workers * (kSlotsPerWorker * slot + WorkerThread::kStackSize) + WorkerThread::kStackSize;
}

uint32_t affordableWorkers(uint32_t workers, uint16_t maxBlockLength) {
    constexpr uint64_t kShareOfHeadroom = 32;
    const std::optional<uint64_t> headroom = memoryHeadroom();
    if (!headroom) {
        return workers;
    }
    while (workers >= 2 && pipelineFootprint(workers, maxBlockLength) * kShareOfHeadroom > *headroom) {
        --workers;
    }
    return workers >= 2 ? workers : 0;
}

BlockPipeline::BlockPipeline(std::FILE* trace, const TraceTrailer& trailer, uint32_t workers)
    : trace_(trace),
      trailer_(trailer),
      workers_(workers),
      workCapacity_(2u * trailer.maxBlockLength()) {}

BlockPipeline::~BlockPipeline() { stop(); }

bool BlockPipeline::start() {
    try {
        slots_.resize(size_t{kSlotsPerWorker} * workers_);
        for (Slot& slot : slots_) {
            slot.block.data.resize(trailer_.maxBlockLength());
            slot.block.expansion.resize(workCapacity_);
        }
        threads_.reserve(workers_ + 1);
    } catch (const std::exception&) {  // no memory
        return false;
    }
    const SignalsBlocked blocked;
    for (uint32_t n = 0; n <= workers_; ++n) {
        threads_.emplace_back();
        // The reader last: nothing is read before every worker runs.
        if (!threads_.back().start(n < workers_ ? workEntry : readEntry, this)) {
            threads_.pop_back();
            stop();
            return false;
        }
    }
    return true;
}

void* BlockPipeline::workEntry(void* self) {
    static_cast<BlockPipeline*>(self)->work();
    return nullptr;
}

void* BlockPipeline::readEntry(void* self) {
    static_cast<BlockPipeline*>(self)->readAll();
    return nullptr;
}

void BlockPipeline::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    slotFreed_.notify_all();
    blockRead_.notify_all();
    for (WorkerThread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

void BlockPipeline::readAll() {
    uint32_t remaining = trailer_.streamLength();
    for (uint32_t position = 1; remaining != 0 && position <= trailer_.blockCount(); ++position) {
        PipelineBlock* block = freeSlot();
        if (block == nullptr) {
            return;  // stopping
        }
        block->fault = TraceFault{};
        block->code = readBlockData(trace_, trailer_, expectedBlockNumber(position), block->header,
                                    block->data.data(), &block->fault);
        const bool failed = block->code != ResultCode::Ok;
        const uint32_t length = block->header.blockLength;
        publish(failed);  // the slot is the workers' from here on
        if (failed) {
            return;
        }
        remaining -= length + kBlockHeaderSize;
    }
    endOfStream();
}

// The slot for the next block once the caller has given it back; nullptr
// when stopping. When every slot is taken the reader waits until half of
// them are free again, so that it wakes once for several blocks.
PipelineBlock* BlockPipeline::freeSlot() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (readCount_ - head_ == slots_.size()) {
        slotFreed_.wait(lock, [this] { return stopping_ || refillable(); });
    }
    return stopping_ ? nullptr : &slotOf(readCount_).block;
}

// Hands the block just read to the workers; after a failed read it is the
// last one.
void BlockPipeline::publish(bool last) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        slotOf(readCount_).checked = false;
        ++readCount_;
        readEnded_ = last;
    }
    if (last) {
        blockRead_.notify_all();  // the idle workers leave
    } else {
        blockRead_.notify_one();
    }
}

void BlockPipeline::endOfStream() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        readEnded_ = true;
    }
    blockRead_.notify_all();
    blockChecked_.notify_one();  // the caller may be waiting for one more block
}

void BlockPipeline::work() {
    uint64_t sequence = 0;
    while (take(sequence)) {
        Slot& slot = slotOf(sequence);
        checkAndExpand(slot.block, workCapacity_);
        bool awaited = false;  // the caller needs this block next
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            slot.checked = true;
            awaited = sequence == head_;
        }
        if (awaited) {
            blockChecked_.notify_one();
        }
    }
}

// The next block for a worker, in stream order; false when there is none to
// come or the pipeline stops.
bool BlockPipeline::take(uint64_t& sequence) {
    std::unique_lock<std::mutex> lock(mutex_);
    blockRead_.wait(lock, [this] { return stopping_ || taken_ < readCount_ || readEnded_; });
    if (stopping_ || taken_ == readCount_) {
        return false;
    }
    sequence = taken_++;
    return true;
}

const PipelineBlock* BlockPipeline::next() {
    std::unique_lock<std::mutex> lock(mutex_);
    blockChecked_.wait(lock, [this] {
        return head_ < readCount_ ? slotOf(head_).checked : readEnded_;
    });
    return head_ < readCount_ ? &slotOf(head_).block : nullptr;
}

void BlockPipeline::release() {
    bool refill = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++head_;
        refill = refillable();
    }
    if (refill) {
        slotFreed_.notify_one();
    }
}

}  // namespace ornpcap
