#include "ornfix/input_bytes.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace ornpcap::ornfix {

namespace {
// Bytes read at a time: large enough that a walk through the trace costs few
// reads, small enough to be no weight in memory.
constexpr size_t kWindowSize = 1 << 20;
static_assert(kWindowSize >= InputWindow::kLargestView);
static_assert(kWindowSize >= 2 * InputWindow::kStretch);
}  // namespace

bool FileSource::read(uint64_t offset, uint8_t* out, size_t length) {
    while (length > 0) {
        const ssize_t n = ::pread(fd_, out, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;  // 0: the file shrank under us
            return false;
        }
        out += n;
        offset += static_cast<uint64_t>(n);
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool MemorySource::read(uint64_t offset, uint8_t* out, size_t length) {
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
        return false;
    }
    std::memcpy(out, bytes_.data() + offset, length);
    return true;
}

InputWindow::InputWindow(ByteSource& source) : source_(source) {}

bool InputWindow::refill(uint64_t offset) {
    if (buffer_.empty()) {
        buffer_.resize(kWindowSize);
    }
    const size_t length = static_cast<size_t>(std::min<uint64_t>(kWindowSize, size() - offset));
    start_ = offset;
    filled_ = 0;
    if (!source_.read(offset, buffer_.data(), length)) {
        failed_ = true;
        return false;
    }
    filled_ = length;
    return true;
}

const uint8_t* InputWindow::view(uint64_t offset, size_t length) {
    if (failed_ || length > kLargestView || offset > size() || length > size() - offset) {
        return nullptr;
    }
    if (offset < start_ || offset + length > start_ + filled_) {
        if (!refill(offset)) {
            return nullptr;
        }
    }
    return buffer_.data() + (offset - start_);
}

const uint8_t* InputWindow::stretch(uint64_t offset, size_t least, size_t& length) {
    length = 0;
    if (failed_ || offset >= size()) {
        return nullptr;
    }
    const uint64_t wanted = std::min<uint64_t>(std::min(least, kStretch), size() - offset);
    if (offset < start_ || offset + wanted > start_ + filled_) {
        if (!refill(offset)) {
            return nullptr;
        }
    }
    length = static_cast<size_t>(start_ + filled_ - offset);
    return buffer_.data() + (offset - start_);
}

}  // namespace ornpcap::ornfix
