#pragma once
// The outputs of one run, by LSN (one output in the single-file modes, one per
// LSN in ALL mode), of which at most a budget is open at a time. Output is the
// writer's own record of a file; it holds the file as `OutputFile file`.

#include <cstdint>
#include <string>
#include <unordered_map>

#include "writers/open_file_budget.hpp"

namespace ornpcap {

// The first output of a run that failed to open, close or write, and the
// system's reason.
struct FailedOutput {
    std::string name;
    int osError = 0;
};

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
        return noted(outputs_[*victim], close(outputs_[*victim]));
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
                ok = noted(output, visit(output)) && ok;
            }
        }
        return ok;
    }

    // Closes (or completes) every output and forgets them all. False when any failed.
    template <class Close>
    bool closeAll(Close&& close) {
        bool ok = true;
        for (auto& [lsn, output] : outputs_) {
            ok = noted(output, close(output)) && ok;
        }
        outputs_.clear();
        return ok;
    }

    // Notes the output as failed, unless one failed before it; returns ok.
    bool noted(const Output& output, bool ok) {
        if (!ok && failure_.name.empty()) {
            failure_ = {output.name, output.file.error()};
        }
        return ok;
    }
    const FailedOutput& failure() const { return failure_; }

private:
    FailedOutput failure_;
    std::unordered_map<uint16_t, Output> outputs_;
    OpenFileBudget budget_;
};

}  // namespace ornpcap
