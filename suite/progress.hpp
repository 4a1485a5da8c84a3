#pragma once
// A progress line on standard error for long jobs: shown only when standard
// error is a terminal and the trace (or the job) is large; standard output is
// not touched.

#include <cstdint>
#include <string>

#include "trace/record_source.hpp"

namespace ornpcap {

class ProgressLine final : public BlockObserver {
public:
    static constexpr uint64_t kLargeTrace = 32ull << 20;  // bytes

    // The line reads "<label>: 42% "; OrnPcap's says "Converting".
    explicit ProgressLine(const std::string& traceName, std::string label = "Converting");
    // A job counted in units of its own (mktrace: the records it writes),
    // shown when standard error is a terminal and the job has at least
    // `large` units.
    ProgressLine(std::string label, uint64_t units, uint64_t large);
    ~ProgressLine() override { finish(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void blockDone(const BlockProgress& block) override { show(block.done, block.total); }
    // The share done out of total, when it changed.
    void show(uint64_t done, uint64_t total);
    // Clears the line (once the conversion is over).
    void finish();

private:
    std::string label_;
    bool active_ = false;
    int shown_ = -1;
};

}  // namespace ornpcap
