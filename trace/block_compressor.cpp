#include "trace/block_compressor.hpp"

#include <algorithm>
#include <new>
#include <utility>

#include "trace/block_encoder.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kMostWorkers = 16;

}  // namespace

uint32_t compressorWorkers(uint32_t requested) {
    if (requested != 0) {
        return requested == 1 ? 0 : std::min(requested, kMostWorkers);
    }
    const uint32_t cpus = std::min(usableCpus(), kMostWorkers);
    return cpus >= 2 ? cpus : 0;
}

BlockCompressor::BlockCompressor(int level, uint32_t workers, Finished finished)
    : level_(level), wanted_(workers), finished_(std::move(finished)) {}

BlockCompressor::~BlockCompressor() { stop(); }

void BlockCompressor::start() {
    started_ = true;
    if (wanted_ == 0) {
        return;
    }
    slots_.resize(size_t{kBlocksPerWorker} * wanted_);
    threads_.reserve(wanted_);
    const SignalsBlocked blocked;  // the signals stay the calling thread's
    for (uint32_t n = 0; n < wanted_; ++n) {
        threads_.emplace_back();
        if (!threads_.back().start(workEntry, this)) {
            threads_.pop_back();
            break;  // as many as there are; none: on the calling thread
        }
    }
}

void BlockCompressor::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    threads_.clear();  // joins them
}

void* BlockCompressor::workEntry(void* self) {
    static_cast<BlockCompressor*>(self)->work();
    return nullptr;
}

void BlockCompressor::work() {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        workReady_.wait(lock, [this] { return stopping_ || taken_ < given_; });
        if (stopping_) {
            return;
        }
        Slot& slot = slots_[taken_++ % slots_.size()];
        lock.unlock();
        bool outOfMemory = false;
        try {
            compress(slot.block);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
        lock.lock();
        slot.done = true;
        slot.outOfMemory = outOfMemory;
        if (waiting_) {
            blockDone_.notify_one();
        }
    }
}

void BlockCompressor::compress(CompressorBlock& block) const {
    block.compressed = block.compress && compressNrv2b(block.data, level_, block.packed);
}

void BlockCompressor::add(std::span<const uint8_t> data, bool compress) {
    if (!started_) {
        start();
    }
    if (threads_.empty()) {
        inline_.data.assign(data.begin(), data.end());
        inline_.compress = compress;
        this->compress(inline_);
        finished_(inline_);
        return;
    }
    while (given_ - handed_ == slots_.size()) {
        handBack(true);
    }
    // Out of the workers' reach until counted as given.
    Slot& slot = slots_[given_ % slots_.size()];
    slot.block.data.assign(data.begin(), data.end());
    slot.block.compress = compress;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        slot.done = false;
        slot.outOfMemory = false;
        ++given_;
    }
    workReady_.notify_one();
    while (handBack(false)) {
    }
}

void BlockCompressor::flush() {
    while (handBack(true)) {
    }
}

bool BlockCompressor::handBack(bool wait) {
    if (handed_ == given_) {
        return false;  // given_ and handed_ change on the calling thread alone
    }
    Slot& slot = slots_[handed_ % slots_.size()];
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!slot.done) {
            if (!wait) {
                return false;
            }
            waiting_ = true;
            blockDone_.wait(lock, [&slot] { return slot.done; });
            waiting_ = false;
        }
    }
    ++handed_;
    if (slot.outOfMemory) {
        throw std::bad_alloc();  // as it would have been on the calling thread
    }
    finished_(slot.block);
    return true;
}

}  // namespace ornpcap
