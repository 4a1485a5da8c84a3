#pragma once
// How many outputs a converter keeps open at once in ALL mode (one output per
// LSN), and which to close when one more is needed: the least recently used.

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <unordered_map>

namespace ornpcap {

class OpenFileBudget {
public:
    // The default limit leaves room under the process's descriptor limit.
    OpenFileBudget();
    explicit OpenFileBudget(size_t limit) : limit_(limit < 1 ? 1 : limit) {}

    // Marks the output (by its LSN) as open and most recently used.
    void touch(uint16_t lsn);
    // The output to close before another can open, if the budget is spent.
    std::optional<uint16_t> evictionCandidate() const;
    void forget(uint16_t lsn);

private:
    size_t limit_;
    std::list<uint16_t> order_;  // most recently used first
    std::unordered_map<uint16_t, std::list<uint16_t>::iterator> where_;
};

}  // namespace ornpcap
