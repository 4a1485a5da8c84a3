#include "trace/stretch_choice.hpp"

namespace ornpcap {

bool StretchChoice::throughWorkers() {
    switch (policy_) {
        case TraceRequest::Stretches::Workers: return true;
        case TraceRequest::Stretches::Alternate: return stretches_ % 2 == 1;
        case TraceRequest::Stretches::Measured: break;
    }
    if (cost_[0] < 0 || cost_[1] < 0) {
        return stretches_ % 2 == 1;  // alone, through the workers, in turn until both are known
    }
    const bool winner = cheaper();
    return sinceLook_ >= kLookAgainBlocks ? !winner : winner;
}

uint32_t StretchChoice::length(bool throughWorkers) const {
    if (policy_ == TraceRequest::Stretches::Alternate) {
        return throughWorkers ? 5 : 3;  // short, so that the ways change often
    }
    if (!throughWorkers) {
        return kAloneBlocks;
    }
    const bool winning = cost_[0] >= 0 && cost_[1] >= 0 && cheaper();
    return winning ? kWinningWorkersBlocks : kWorkersBlocks;
}

void StretchChoice::took(bool throughWorkers, double seconds, uint64_t bytes, uint32_t blocks) {
    ++stretches_;
    const bool known = cost_[0] >= 0 && cost_[1] >= 0;
    const bool winnerWay = known && throughWorkers == cheaper();
    sinceLook_ = winnerWay ? sinceLook_ + blocks : 0;
    // The first stretch each way pays for what is made once (buffers, the
    // threads' caches): it does not count.
    if (!warm_[throughWorkers ? 1 : 0]) {
        warm_[throughWorkers ? 1 : 0] = true;
        return;
    }
    if (bytes != 0) {
        const double cost = seconds / static_cast<double>(bytes);
        double& kept = cost_[throughWorkers ? 1 : 0];
        kept = kept < 0 ? cost : 0.7 * kept + 0.3 * cost;  // one stretch says little
    }
}

}  // namespace ornpcap
