#include "writers/open_file_budget.hpp"

#include <algorithm>
#include <sys/resource.h>

namespace ornpcap {

namespace {

size_t defaultLimit() {
    constexpr size_t kMost = 256;
    constexpr size_t kReserve = 32;  // trace, standard streams, libraries
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return kMost;
    }
    const size_t available = limit.rlim_cur > kReserve + 1 ? limit.rlim_cur - kReserve : 1;
    return std::min(kMost, available);
}

}  // namespace

OpenFileBudget::OpenFileBudget() : limit_(defaultLimit()) {}

void OpenFileBudget::touch(uint16_t lsn) {
    if (!order_.empty() && order_.front() == lsn) {
        return;
    }
    auto found = where_.find(lsn);
    if (found != where_.end()) {
        order_.splice(order_.begin(), order_, found->second);
        return;
    }
    order_.push_front(lsn);
    where_[lsn] = order_.begin();
}

std::optional<uint16_t> OpenFileBudget::evictionCandidate() const {
    if (order_.size() < limit_) {
        return std::nullopt;
    }
    return order_.back();
}

void OpenFileBudget::forget(uint16_t lsn) {
    auto found = where_.find(lsn);
    if (found != where_.end()) {
        order_.erase(found->second);
        where_.erase(found);
    }
}

}  // namespace ornpcap
