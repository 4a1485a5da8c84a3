#include "suite/progress.hpp"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "suite/console.hpp"

namespace ornpcap {

ProgressLine::ProgressLine(const std::string& traceName, std::string label)
    : label_(std::move(label)) {
    struct stat st {};
    if (::isatty(STDERR_FILENO) == 0 || ::stat(traceName.c_str(), &st) != 0 ||
        static_cast<uint64_t>(st.st_size) < kLargeTrace) {
        return;
    }
    active_ = true;
}

void ProgressLine::blockDone(const BlockProgress& block) {
    if (!active_) {
        return;
    }
    const int percent =
        block.total == 0 ? 100 : static_cast<int>(std::min(block.done, block.total) * 100 / block.total);
    if (percent != shown_) {
        shown_ = percent;
        console::progress("\r" + label_ + ": " + std::to_string(percent) + "% ");
    }
}

void ProgressLine::finish() {
    if (!active_) {
        return;
    }
    active_ = false;
    // Blanks over the longest line shown: "<label>: 100% ".
    console::progress("\r" + std::string(label_.size() + 7, ' ') + "\r");
}

}  // namespace ornpcap
