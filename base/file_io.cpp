#include "base/file_io.hpp"

#include "base/interrupt.hpp"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace ornpcap {

FdHandle& FdHandle::operator=(FdHandle&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int FdHandle::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void FdHandle::reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool FdHandle::close() {
    if (fd_ < 0) {
        return true;
    }
    int fd = release();
    return ::close(fd) == 0;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        reset();
        f_ = other.f_;
        other.f_ = nullptr;
    }
    return *this;
}

void FileHandle::reset() {
    if (f_ != nullptr) {
        std::fclose(f_);
        f_ = nullptr;
    }
}

FileIdentity identityOfDescriptor(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return {};
    }
    return {st.st_dev, st.st_ino, true};
}

FileIdentity identityOfPath(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) {
        return {};
    }
    return {st.st_dev, st.st_ino, true};
}

FileIdentity identityOfEntry(const std::string& name) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) {
        return {};
    }
    return {st.st_dev, st.st_ino, true};
}

bool fileExists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0;
}

bool isDirectory(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool removeRegularFile(const std::string& name) {
    struct stat st {};
    return ::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(name.c_str()) == 0;
}

namespace {

// One read or write of at most length bytes; at < 0 uses the file position.
// A call that a signal cut short is made again unless the signal is one that
// ends the run: then it fails with EINTR.
ssize_t transfer(int fd, int64_t at, uint8_t* data, size_t length, bool write) {
    for (;;) {
        const ssize_t done =
            write ? (at < 0 ? ::write(fd, data, length) : ::pwrite(fd, data, length, at))
                  : (at < 0 ? ::read(fd, data, length) : ::pread(fd, data, length, at));
        if (done >= 0 || errno != EINTR || pendingInterrupt() != 0) {
            return done;
        }
    }
}

// A signal that cut a call short after part of the bytes also ends the
// transfer: the next call could wait for ever (a pipe no one reads).
size_t transferAll(int fd, int64_t at, uint8_t* data, size_t length, bool write) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = transfer(fd, at < 0 ? at : at + static_cast<int64_t>(done), data + done,
                                   length - done, write);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
        if (done < length && pendingInterrupt() != 0) {
            errno = EINTR;
            break;
        }
    }
    return done;
}

}  // namespace

bool readFully(int fd, uint8_t* out, size_t length) {
    return transferAll(fd, -1, out, length, false) == length;
}

bool readFullyAt(int fd, uint64_t offset, uint8_t* out, size_t length) {
    return transferAll(fd, static_cast<int64_t>(offset), out, length, false) == length;
}

size_t writeAll(int fd, const uint8_t* data, size_t length) {
    return transferAll(fd, -1, const_cast<uint8_t*>(data), length, true);
}

size_t writeAllAt(int fd, uint64_t offset, const uint8_t* data, size_t length) {
    return transferAll(fd, static_cast<int64_t>(offset), const_cast<uint8_t*>(data), length, true);
}

}  // namespace ornpcap
