#include "writers/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ornpcap {

namespace {

bool writeFully(int fd, uint64_t offset, const uint8_t* data, size_t length) {
    return writeAllAt(fd, offset, data, length) == length;
}

bool isRegular(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

ResultCode OutputFile::open(const std::string& name, const FileIdentity& trace, bool keepContent) {
    const ResultCode cannotOpen =
        keepContent ? ResultCode::CannotOpenSource : ResultCode::CannotCreateTarget;
    // Never O_TRUNC before the identity check: the name may be the trace.
    const int flags = O_RDWR | O_CLOEXEC | (keepContent ? 0 : O_CREAT);
    FdHandle fd(::open(name.c_str(), flags, 0666));
    if (!fd.isOpen()) {
        return cannotOpen;
    }
    if (identityOfDescriptor(fd.get()).sameAs(trace)) {
        return ResultCode::CannotCreateTarget;
    }
    uint64_t end = 0;
    if (keepContent) {
        const off_t size = ::lseek(fd.get(), 0, SEEK_END);
        if (size < 0) {
            return cannotOpen;
        }
        end = static_cast<uint64_t>(size);
    } else if (isRegular(fd.get()) && ::ftruncate(fd.get(), 0) != 0) {
        return cannotOpen;
    }
    fd_ = std::move(fd);
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    recordEnds_.clear();
    durable_ = end;
    failed_ = false;
    return ResultCode::Ok;
}

ResultCode OutputFile::create(const std::string& name, const FileIdentity& trace) {
    return open(name, trace, false);
}

ResultCode OutputFile::openExisting(const std::string& name, const FileIdentity& trace) {
    return open(name, trace, true);
}

bool OutputFile::setEnd(uint64_t offset) {
    if (!flush()) {
        return false;
    }
    durable_ = offset;
    return true;
}

bool OutputFile::fail() {
    failed_ = true;
    buffer_.clear();
    recordEnds_.clear();
    truncate(durable_);  // back to the last whole record
    return false;
}

bool OutputFile::flush() {
    if (buffer_.empty()) {
        return !failed_;
    }
    if (failed_) {
        buffer_.clear();
        recordEnds_.clear();
        return false;
    }
    const size_t written = writeAllAt(fd_.get(), durable_, buffer_.data(), buffer_.size());
    if (written < buffer_.size()) {
        // Keep the records that reached the disk whole.
        uint64_t whole = 0;
        for (uint32_t end : recordEnds_) {
            if (end > written) {
                break;
            }
            whole = end;
        }
        durable_ += whole;
        return fail();
    }
    durable_ += buffer_.size();
    buffer_.clear();
    recordEnds_.clear();
    return true;
}

bool OutputFile::append(const uint8_t* first, size_t firstLength, const uint8_t* second,
                        size_t secondLength) {
    if (failed_ || !fd_.isOpen()) {
        return false;
    }
    const size_t length = firstLength + secondLength;
    if (buffer_.size() + length > kBufferSize && !flush()) {
        return false;
    }
    if (length > kBufferSize) {
        // Larger than the buffer: straight to disk, as one record.
        if (!writeFully(fd_.get(), durable_, first, firstLength) ||
            !writeFully(fd_.get(), durable_ + firstLength, second, secondLength)) {
            return fail();
        }
        durable_ += length;
        return true;
    }
    buffer_.insert(buffer_.end(), first, first + firstLength);
    if (secondLength > 0) {
        buffer_.insert(buffer_.end(), second, second + secondLength);
    }
    recordEnds_.push_back(static_cast<uint32_t>(buffer_.size()));
    return true;
}

bool OutputFile::readAt(uint64_t offset, uint8_t* out, size_t length) {
    flush();
    return readFullyAt(fd_.get(), offset, out, length);
}

bool OutputFile::writeAt(uint64_t offset, const uint8_t* data, size_t length) {
    flush();  // the buffer is empty afterwards, written or dropped
    if (!writeFully(fd_.get(), offset, data, length)) {
        failed_ = true;
        return false;
    }
    return true;
}

bool OutputFile::truncate(uint64_t length) {
    return !isRegular(fd_.get()) || ::ftruncate(fd_.get(), static_cast<off_t>(length)) == 0;
}

bool OutputFile::close() {
    if (!fd_.isOpen()) {
        return !failed_;
    }
    const bool flushed = flush();
    const bool closed = fd_.close();
    buffer_.clear();
    buffer_.shrink_to_fit();
    return flushed && closed && !failed_;
}

}  // namespace ornpcap
