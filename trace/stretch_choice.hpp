#pragma once
// Whether the next stretch of blocks goes through the worker threads or is
// read on the calling thread alone. Handing blocks to workers costs: on
// small stored blocks, or with the other CPUs busy, it can cost more than
// it gains. So the stretches measure what they cost, wall time per byte of
// block data (as stored and expanded), and each goes the way that was
// cheaper lately; now and then a stretch goes the other way again, in case
// the machine changed (a program took a CPU, or gave it back).
//
// The stretches go one way and the other in turn, the calling thread first,
// until each way has been measured once it was warm (the first stretch of
// each pays for buffers and caches made once). Stretches through the
// workers are longer, so that filling the ring and draining it weigh little.

#include <cstdint>

#include "trace/record_source.hpp"

namespace ornpcap {

class StretchChoice {
public:
    // Long enough to measure on a busy machine (a millisecond or more).
    static constexpr uint32_t kAloneBlocks = 32;
    static constexpr uint32_t kWorkersBlocks = 128;
    static constexpr uint32_t kWinningWorkersBlocks = 512;
    // A stretch the other way after this many blocks the winning way.
    static constexpr uint32_t kLookAgainBlocks = 2048;

    explicit StretchChoice(TraceRequest::Stretches policy) : policy_(policy) {}

    // The way of the next stretch (true: through the workers), and its length in blocks.
    bool throughWorkers();
    uint32_t length(bool throughWorkers) const;
    // What the stretch just read took, for so many bytes in so many blocks.
    void took(bool throughWorkers, double seconds, uint64_t bytes, uint32_t blocks);

private:
    bool cheaper() const { return cost_[1] < cost_[0]; }  // the workers, lately

    TraceRequest::Stretches policy_;
    double cost_[2] = {-1, -1};  // seconds per byte: alone, through the workers
    bool warm_[2] = {false, false};
    uint32_t stretches_ = 0;
    uint32_t sinceLook_ = 0;  // blocks the winning way since the last look the other way
};

}  // namespace ornpcap
