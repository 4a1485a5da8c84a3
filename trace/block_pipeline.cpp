#include "trace/block_pipeline.hpp"

#include <algorithm>
#include <exception>
#include <optional>

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
    // As stored, its expansion (twice that), and at most as much again for
    // its decoded records and what the sink prepares of them.
    const uint64_t slot = 8ull * maxBlockLength;
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

BlockPipeline::BlockPipeline(std::FILE* trace, const TraceTrailer& trailer, uint32_t workers,
                             PipelineSteps steps)
    : trace_(trace),
      trailer_(trailer),
      workers_(workers),
      workCapacity_(2u * trailer.maxBlockLength()),
      steps_(steps) {}

BlockPipeline::~BlockPipeline() { stop(); }

bool BlockPipeline::allocate() {
    try {
        slots_.resize(size_t{kSlotsPerWorker} * workers_);
        for (Slot& slot : slots_) {
            slot.block.data.resize(trailer_.maxBlockLength());
            slot.block.expansion.resize(workCapacity_);
        }
        threads_.reserve(workers_ - 1);
    } catch (const std::exception&) {  // no memory
        return false;
    }
    return true;
}

bool BlockPipeline::startThreads() {
    const SignalsBlocked blocked;
    for (uint32_t n = 1; n < workers_; ++n) {  // the calling thread is the first
        threads_.emplace_back();
        if (!threads_.back().start(workEntry, this)) {
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

void BlockPipeline::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workToDo_.notify_all();
    for (WorkerThread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

// The stream has ended, or ends at a failed place step, and nothing of it is
// left for a worker.
bool BlockPipeline::finished() const {
    return (streamEnded_ || placeFailed_) && checkTaken_ == readCount_ && !reading_ &&
           (placeFailed_ || placeHead_ == readCount_) && !placing_;
}

// No block is to be read now: the stream has ended, or the stretch.
bool BlockPipeline::readEnded() const { return streamEnded_ || nextPosition_ > lastPosition_; }

// The next job, under the lock: a block to place (in order, by one worker at
// a time, who then prepares it), one to check, the next one to read (in
// order, by one worker at a time, into a free slot).
BlockPipeline::Job BlockPipeline::pick(uint64_t& sequence) {
    if (!placing_ && !placeFailed_ && placeHead_ < readCount_ &&
        slotOf(placeHead_).state == State::Checked) {
        sequence = placeHead_;
        return Job::Place;
    }
    if (checkTaken_ < readCount_ && slotOf(checkTaken_).state == State::Read) {
        sequence = checkTaken_++;
        return Job::Check;
    }
    if (!reading_ && !readEnded() && !placeFailed_ && readCount_ - commitHead_ < slots_.size()) {
        sequence = readCount_;
        return Job::Read;
    }
    return Job::None;
}

void BlockPipeline::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        uint64_t sequence = 0;
        Job job = Job::None;
        workToDo_.wait(lock, [&] {
            return stopping_ || finished() || (job = pick(sequence)) != Job::None;
        });
        if (job == Job::None) {
            return;  // stopping, or nothing more to do
        }
        run(job, sequence, lock);
    }
}

void BlockPipeline::run(Job job, uint64_t sequence, std::unique_lock<std::mutex>& lock) {
    Slot& slot = slotOf(sequence);
    switch (job) {
        case Job::Read:
            read(sequence, lock);
            return;
        case Job::Check:
            slot.state = State::Checking;
            lock.unlock();
            checkAndExpand(slot.block, workCapacity_);
            lock.lock();
            slot.state = State::Checked;  // this worker looks for its place step next
            return;
        case Job::Place:
            place(sequence, lock);
            return;
        case Job::None:
            return;
    }
}

// Reads the next block into its slot; after a failed read, or the last
// block, the stream has ended.
void BlockPipeline::read(uint64_t sequence, std::unique_lock<std::mutex>& lock) {
    reading_ = true;
    ++readCount_;
    Slot& slot = slotOf(sequence);
    slot.state = State::Reading;
    const uint32_t position = nextPosition_++;
    lock.unlock();
    PipelineBlock& block = slot.block;
    block.fault = TraceFault{};
    block.code = readBlockData(trace_, trailer_, expectedBlockNumber(position), block.header,
                               block.data.data(), &block.fault);
    lock.lock();
    reading_ = false;
    slot.state = State::Read;
    if (block.code != ResultCode::Ok) {
        streamEnded_ = true;
    } else {
        remaining_ -= uint32_t{block.header.blockLength} + kBlockHeaderSize;
        streamEnded_ = remaining_ == 0 || position >= trailer_.blockCount();
    }
    if (!readEnded() && readCount_ - commitHead_ < slots_.size()) {
        workToDo_.notify_one();  // another worker reads the next while this one checks it
    }
    if (readEnded() && burstReady()) {
        blockReady_.notify_one();  // a stretch that ends with nothing more to read
    }
}

// Places the next block, then prepares it at once; a failed place step ends
// the stream there.
void BlockPipeline::place(uint64_t sequence, std::unique_lock<std::mutex>& lock) {
    placing_ = true;
    Slot& slot = slotOf(sequence);
    lock.unlock();
    slot.block.placed = steps_.place(slot.block, steps_.context);
    lock.lock();
    placing_ = false;
    if (slot.block.placed != ResultCode::Ok) {
        placeFailed_ = true;
        slot.state = State::Failed;
        if (burstReady()) {
            blockReady_.notify_one();
        }
        workToDo_.notify_all();  // the idle workers leave
        return;
    }
    ++placeHead_;
    if (placeHead_ < readCount_ && slotOf(placeHead_).state == State::Checked) {
        workToDo_.notify_one();  // another worker places the next while this one prepares
    }
    slot.state = State::Preparing;
    lock.unlock();
    steps_.prepare(slot.block, steps_.context);
    lock.lock();
    slot.state = State::Prepared;
    if (burstReady()) {
        blockReady_.notify_one();
    }
}

bool BlockPipeline::ready(uint64_t sequence) {
    const State state = slotOf(sequence).state;
    return state == State::Prepared || state == State::Failed;
}

// Whether the caller, waiting, has a burst of blocks to commit: half the
// ring prepared in a row from the next to commit, or all there will be (or
// up to a failure). Woken for bursts rather than for each block, the caller
// and the workers hand slots to each other a few at a time.
bool BlockPipeline::burstReady() {
    const uint64_t burst = slots_.size() / 2;
    uint64_t n = 0;
    while (n < burst && commitHead_ + n < readCount_ && ready(commitHead_ + n)) {
        if (slotOf(commitHead_ + n).state == State::Failed) {
            return true;  // the stream ends there
        }
        ++n;
    }
    const bool allThereWillBe = readEnded() && !reading_ && commitHead_ + n == readCount_;
    return n >= burst || allThereWillBe;
}

void BlockPipeline::resume(uint32_t position, uint32_t remaining, uint32_t lastPosition) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        nextPosition_ = position;
        remaining_ = remaining;
        lastPosition_ = lastPosition;
        streamEnded_ = remaining == 0 || position > trailer_.blockCount();
    }
    workToDo_.notify_all();
}

uint32_t BlockPipeline::position() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return nextPosition_;
}

uint32_t BlockPipeline::remaining() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return remaining_;
}

// The calling thread works as one of the workers while its next block is
// not ready, and waits only when there is nothing for it to do.
PipelineBlock* BlockPipeline::next() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (commitHead_ < readCount_ && ready(commitHead_)) {
            return &slotOf(commitHead_).block;
        }
        uint64_t sequence = 0;
        const Job job = pick(sequence);
        if (job != Job::None) {
            run(job, sequence, lock);
            continue;
        }
        if (burstReady()) {
            return commitHead_ < readCount_ ? &slotOf(commitHead_).block : nullptr;
        }
        blockReady_.wait(lock);
    }
}

void BlockPipeline::committed() {
    bool refill = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        slotOf(commitHead_).state = State::Empty;
        ++commitHead_;
        refill = !readEnded() && readCount_ - commitHead_ <= slots_.size() - slots_.size() / 2;
    }
    if (refill) {
        workToDo_.notify_one();  // half the ring is free to read into
    }
}

}  // namespace ornpcap
