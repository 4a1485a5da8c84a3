#include "writers/output_file.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ornpcap {

namespace {

bool isRegular(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Something of the name that is not a regular file: it is written through,
// opened for writing only, as a shell redirection would.
bool isSpecial(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

}  // namespace

// The buffer first: a file is never created that then cannot be written.
void OutputFile::prepareBuffer() {
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    recordEnds_.clear();
    recordEnds_.reserve(kBufferSize / 16);
}

// A new file made nameless in its folder, given its first bytes, then linked
// under the name. Unsupported (and nothing on disk) where the folder's file
// system cannot do that or the name exists by now; NotWritten when the bytes
// do not fit (nothing on disk either).
OutputFile::Whole OutputFile::createWhole(const std::string& name,
                                          std::span<const uint8_t> first) {
    const size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    FdHandle fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (!fd.isOpen()) {
        return Whole::Unsupported;
    }
    if (writeAllAt(fd.get(), 0, first.data(), first.size()) != first.size()) {
        error_ = errno;
        return Whole::NotWritten;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        return Whole::Unsupported;
    }
    fd_ = std::move(fd);
    identity_ = identityOfDescriptor(fd_.get());
    durable_ = first.size();
    streamStart_ = 0;
    failed_ = false;
    seekable_ = true;
    return Whole::Created;
}

ResultCode OutputFile::failedOpen(ResultCode rc) {
    error_ = errno;
    return rc;
}

// Opens the name: `trace` is the file it must not be; when keepContent, it
// must be the file `trace` names instead (the one this run created).
ResultCode OutputFile::open(const std::string& name, const FileIdentity& trace, bool keepContent) {
    const ResultCode cannotOpen =
        keepContent ? ResultCode::CannotOpenSource : ResultCode::CannotCreateTarget;
    prepareBuffer();
    error_ = 0;
    // Never O_TRUNC before the identity check: the name may be the trace.
    const int flags = isSpecial(name) ? O_WRONLY | O_CLOEXEC
                                      : O_RDWR | O_CLOEXEC | (keepContent ? 0 : O_CREAT);
    FdHandle fd(::open(name.c_str(), flags, 0666));
    if (!fd.isOpen()) {
        return failedOpen(cannotOpen);
    }
    const FileIdentity opened = identityOfDescriptor(fd.get());
    if (keepContent ? !opened.sameAs(trace) : opened.sameAs(trace)) {
        errno = 0;
        return failedOpen(ResultCode::CannotCreateTarget);
    }
    const off_t size = ::lseek(fd.get(), 0, SEEK_END);
    seekable_ = size >= 0;
    if (!keepContent && isRegular(fd.get()) && ::ftruncate(fd.get(), 0) != 0) {
        return failedOpen(cannotOpen);
    }
    fd_ = std::move(fd);
    identity_ = opened;
    durable_ = keepContent && seekable_ ? static_cast<uint64_t>(size) : 0;
    streamStart_ = 0;
    failed_ = false;
    return ResultCode::Ok;
}

ResultCode OutputFile::create(const std::string& name, const FileIdentity& trace,
                              std::span<const uint8_t> first) {
    prepareBuffer();
    const Whole whole = fileExists(name) ? Whole::Unsupported : createWhole(name, first);
    if (whole != Whole::Unsupported) {
        return whole == Whole::Created ? ResultCode::Ok : ResultCode::CannotWriteTarget;
    }
    if (ResultCode rc = open(name, trace, false); rc != ResultCode::Ok) {
        return rc;
    }
    const bool written = first.empty() || (append(first.data(), first.size()) && flush());
    return written ? ResultCode::Ok : ResultCode::CannotWriteTarget;
}

ResultCode OutputFile::refuseFolder() {
    error_ = EISDIR;
    return ResultCode::CannotOpenSource;
}

ResultCode OutputFile::reopen(const std::string& name, const FileIdentity& created) {
    return open(name, created, true);
}

ResultCode OutputFile::adoptStream(int fd, const FileIdentity& trace) {
    prepareBuffer();
    if (identityOfDescriptor(fd).sameAs(trace)) {
        return ResultCode::CannotCreateTarget;
    }
    FdHandle own(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!own.isOpen()) {
        return ResultCode::CannotCreateTarget;
    }
    struct stat st {};
    const bool appends = (::fcntl(own.get(), F_GETFL) & O_APPEND) != 0;
    const off_t at = ::lseek(own.get(), 0, SEEK_CUR);
    const bool regular = ::fstat(own.get(), &st) == 0 && S_ISREG(st.st_mode);
    streamStart_ = !regular ? 0 : static_cast<uint64_t>(appends ? st.st_size : std::max<off_t>(at, 0));
    fd_ = std::move(own);
    durable_ = 0;
    failed_ = false;
    seekable_ = false;
    return ResultCode::Ok;
}

bool OutputFile::setEnd(uint64_t offset) {
    if (!flush()) {
        return false;
    }
    durable_ = offset;
    return true;
}

bool OutputFile::fail() {
    if (!failed_) {
        error_ = errno;
    }
    failed_ = true;
    buffer_.clear();
    recordEnds_.clear();
    truncate(durable_);  // back to the last whole record
    return false;
}

// Writes bytes at the offset, or in order where the file cannot seek; how
// many reached it.
size_t OutputFile::writeOut(uint64_t offset, const uint8_t* data, size_t length) {
    return seekable_ ? writeAllAt(fd_.get(), offset, data, length)
                     : writeAll(fd_.get(), data, length);
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
    const size_t written = writeOut(durable_, buffer_.data(), buffer_.size());
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
        const bool whole =
            writeOut(durable_, first, firstLength) == firstLength &&
            writeOut(durable_ + firstLength, second, secondLength) == secondLength;
        if (!whole) {
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

bool OutputFile::appendRecords(const uint8_t* data, std::span<const uint32_t> ends) {
    if (failed_ || !fd_.isOpen()) {
        return false;
    }
    if (ends.empty()) {
        return true;
    }
    const size_t length = ends.back();
    // A long run goes straight to the file: copying it into the buffer first
    // would only cost the time of the copy.
    constexpr size_t kLongRun = kBufferSize / 4;
    if (length < kLongRun && buffer_.size() + length <= kBufferSize) {
        const uint32_t base = static_cast<uint32_t>(buffer_.size());
        buffer_.insert(buffer_.end(), data, data + length);
        for (uint32_t end : ends) {
            recordEnds_.push_back(base + end);
        }
        return true;
    }
    if (!flush()) {
        return false;
    }
    const size_t written = writeOut(durable_, data, length);
    if (written < length) {
        uint64_t whole = 0;  // keep the records that reached the disk whole
        for (uint32_t end : ends) {
            if (end > written) {
                break;
            }
            whole = end;
        }
        durable_ += whole;
        return fail();
    }
    durable_ += length;
    return true;
}

bool OutputFile::readAt(uint64_t offset, uint8_t* out, size_t length) {
    flush();
    return seekable_ && readFullyAt(fd_.get(), offset, out, length);
}

bool OutputFile::writeAt(uint64_t offset, const uint8_t* data, size_t length) {
    flush();  // the buffer is empty afterwards, written or dropped
    if (!seekable_ || writeAllAt(fd_.get(), offset, data, length) != length) {
        if (!failed_) {
            error_ = seekable_ ? errno : ESPIPE;
        }
        failed_ = true;
        return false;
    }
    return true;
}

bool OutputFile::truncate(uint64_t length) {
    return !isRegular(fd_.get()) ||
           ::ftruncate(fd_.get(), static_cast<off_t>(streamStart_ + length)) == 0;
}

bool OutputFile::close() {
    if (!fd_.isOpen()) {
        return !failed_;
    }
    const bool flushed = flush();
    const bool closed = fd_.close();
    if (!closed && error_ == 0) {
        error_ = errno;
    }
    buffer_.clear();
    buffer_.shrink_to_fit();
    return flushed && closed && !failed_;
}

}  // namespace ornpcap
