#include "trace/file_io.hpp"

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

}  // namespace ornpcap
