#pragma once
// The outputs of one run, by LSN (one output in the single-file modes, one per
// LSN in ALL mode), of which at most a budget is open at a time. Output is the
// writer's own record of a file; it holds the file as `OutputFile file`.

#include <cstdint>
#include <unordered_map>

#include "writers/open_file_budget.hpp"

namespace ornpcap {

template <class Output>
class LsnOutputs {
public:
    // The output of the LSN when its file is open, now the most recently used.
    Output* findOpen(uint16_t lsn) {
        auto found = outputs_.find(lsn);
        if (found == outputs_.end() || !found->second.file.isOpen()) {
            return nullptr;
        }
        budget_.touch(lsn);
        return &found->second;
    }

    // Before another file opens: closes the least recently used one when the
    // budget is spent. False when closing it failed.
    template <class Close>
    bool makeRoom(Close&& close) {
        const auto victim = budget_.evictionCandidate();
        if (!victim) {
            return true;
        }
        budget_.forget(*victim);
        return close(outputs_[*victim]);
    }

    bool contains(uint16_t lsn) const { return outputs_.count(lsn) != 0; }
    Output& operator[](uint16_t lsn) { return outputs_[lsn]; }
    void erase(uint16_t lsn) { outputs_.erase(lsn); }
    // Counts the output's file as open and most recently used.
    void opened(uint16_t lsn) { budget_.touch(lsn); }

    // Calls visit for every output whose file is open. False when any call was.
    template <class Visit>
    bool forEachOpen(Visit&& visit) {
        bool ok = true;
        for (auto& [lsn, output] : outputs_) {
            if (output.file.isOpen()) {
                ok = visit(output) && ok;
            }
        }
        return ok;
    }

    // Closes (or completes) every output and forgets them all. False when any failed.
    template <class Close>
    bool closeAll(Close&& close) {
        bool ok = true;
        for (auto& [lsn, output] : outputs_) {
            ok = close(output) && ok;
        }
        outputs_.clear();
        return ok;
    }

private:
    std::unordered_map<uint16_t, Output> outputs_;
    OpenFileBudget budget_;
};

}  // namespace ornpcap
