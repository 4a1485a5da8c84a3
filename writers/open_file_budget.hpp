#pragma once
// How many outputs a converter keeps open at once in ALL mode (one output per
// LSN), and which to close when one more is needed: the least recently used.

#include <cstddef>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>

namespace ornpcap {

class OpenFileBudget {
public:
    // The default limit leaves room under the process's descriptor limit.
    OpenFileBudget();
    explicit OpenFileBudget(size_t limit) : limit_(limit < 1 ? 1 : limit) {}

    // Marks the output as open and most recently used.
    void touch(const std::string& name);
    // The output to close before another can open, if the budget is spent.
    std::optional<std::string> evictionCandidate() const;
    void forget(const std::string& name);
    size_t openCount() const { return order_.size(); }

private:
    size_t limit_;
    std::list<std::string> order_;  // most recently used first
    std::unordered_map<std::string, std::list<std::string>::iterator> where_;
};

}  // namespace ornpcap
