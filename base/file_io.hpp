#pragma once
// Owning wrappers for descriptors and stdio streams, so that every path closes
// what it opened; whole reads and writes on descriptors; and the file identity
// used to keep outputs off the trace.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/types.h>

namespace ornpcap {

// A unique descriptor; closed when it goes out of scope.
class FdHandle {
public:
    FdHandle() = default;
    explicit FdHandle(int fd) : fd_(fd) {}
    FdHandle(const FdHandle&) = delete;
    FdHandle& operator=(const FdHandle&) = delete;
    FdHandle(FdHandle&& other) noexcept : fd_(other.release()) {}
    FdHandle& operator=(FdHandle&& other) noexcept;
    ~FdHandle() { reset(); }

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    int release();
    void reset();
    // Closes and reports whether the close succeeded.
    bool close();

private:
    int fd_ = -1;
};

// A unique stdio stream; closed when it goes out of scope.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(std::FILE* f) : f_(f) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : f_(other.f_) { other.f_ = nullptr; }
    FileHandle& operator=(FileHandle&& other) noexcept;
    ~FileHandle() { reset(); }

    std::FILE* get() const { return f_; }
    explicit operator bool() const { return f_ != nullptr; }
    void reset();
    // Gives the stream up without closing it.
    std::FILE* release() {
        std::FILE* f = f_;
        f_ = nullptr;
        return f;
    }

private:
    std::FILE* f_ = nullptr;
};

// Device and inode of a file; two names with the same identity are one file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool known = false;

    bool sameAs(const FileIdentity& other) const {
        return known && other.known && device == other.device && inode == other.inode;
    }
};

FileIdentity identityOfDescriptor(int fd);
// Identity of the file a name leads to (symbolic links followed).
FileIdentity identityOfPath(const std::string& name);
// Identity of the directory entry itself (a symbolic link is not followed).
FileIdentity identityOfEntry(const std::string& name);

// True when something of that name exists (a directory counts).
bool fileExists(const std::string& name);
// True when the name leads to a directory.
bool isDirectory(const std::string& name);

// Deletes the name when it is a regular file, never a link, device, FIFO or
// folder; false when it was none or could not be deleted.
bool removeRegularFile(const std::string& name);

// Reads exactly length bytes at the descriptor's position; false on a short read.
bool readFully(int fd, uint8_t* out, size_t length);
// Reads exactly length bytes at the offset; false on a short read.
bool readFullyAt(int fd, uint64_t offset, uint8_t* out, size_t length);
// Writes the bytes at the descriptor's position and returns how many reached the file.
size_t writeAll(int fd, const uint8_t* data, size_t length);
// Writes the bytes at the offset and returns how many reached the file.
size_t writeAllAt(int fd, uint64_t offset, const uint8_t* data, size_t length);

}  // namespace ornpcap
