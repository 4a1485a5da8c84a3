#include "suite/progress.hpp"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "suite/console.hpp"

namespace ornpcap {

namespace {

uint64_t sizeOf(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace

ProgressLine::ProgressLine(const std::string& traceName, std::string label)
    : ProgressLine(std::move(label), sizeOf(traceName), kLargeTrace) {}

ProgressLine::ProgressLine(std::string label, uint64_t units, uint64_t large)
    : label_(std::move(label)), active_(::isatty(STDERR_FILENO) != 0 && units >= large) {}

void ProgressLine::show(uint64_t done, uint64_t total) {
    if (!active_) {
        return;
    }
    const int percent = total == 0 ? 100 : static_cast<int>(std::min(done, total) * 100 / total);
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
