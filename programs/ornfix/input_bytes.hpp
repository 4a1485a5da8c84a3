#pragma once
// The trace as ornfix reads it: bytes at offsets, from a file or from memory,
// seen through a window of bounded size. Traces of any length are read a
// stretch at a time, so memory does not grow with the trace; a read error is
// remembered and reported, never taken for the end of the file.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ornpcap::ornfix {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly length bytes at offset (inside the size); false on a read error.
    virtual bool read(uint64_t offset, uint8_t* out, size_t length) = 0;
};

// An open descriptor of a regular file, read with pread.
class FileSource final : public ByteSource {
public:
    FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, uint8_t* out, size_t length) override;
    int error() const { return error_; }  // errno of the failed read, 0 when none

private:
    int fd_;
    uint64_t size_;
    int error_ = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read(uint64_t offset, uint8_t* out, size_t length) override;

private:
    std::span<const uint8_t> bytes_;
};

class InputWindow {
public:
    // The most bytes one view may ask for: a block header and the longest data.
    static constexpr size_t kLargestView = 6 + 0xFFFF;

    explicit InputWindow(ByteSource& source);

    uint64_t size() const { return source_.size(); }
    // A view of length bytes (at most kLargestView) at offset; nullptr when
    // they run beyond the end of the file or could not be read (failed()).
    const uint8_t* view(uint64_t offset, size_t length);
    // Every byte the window holds from offset on, at least `least` of them
    // (at most kStretch; fewer only where the file ends first): their number
    // goes to length. nullptr at or beyond the end, or on a read error.
    const uint8_t* stretch(uint64_t offset, size_t least, size_t& length);
    static constexpr size_t kStretch = 1 << 19;
    bool failed() const { return failed_; }

private:
    bool refill(uint64_t offset);

    ByteSource& source_;
    std::vector<uint8_t> buffer_;
    uint64_t start_ = 0;  // file offset of buffer_[0]
    size_t filled_ = 0;
    bool failed_ = false;
};

}  // namespace ornpcap::ornfix
