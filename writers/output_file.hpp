#pragma once
// One output file, written through a buffer in whole records.
//
// Records are appended whole and the buffer remembers where each ends, so the
// bytes known to be on disk always end at a record boundary. When a write
// fails (disk full, file size limit) the file is cut back to the last record
// that reached the disk whole: what stays on disk is complete up to there,
// and the caller reports CannotWriteTarget.
//
// A name that exists as something other than a regular file (a device, a
// FIFO, a link to one) is opened for writing through it, as any Unix tool
// does: never emptied, cut or deleted. Where it cannot seek (a pipe), records
// are written in order and nothing can be written back.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/file_io.hpp"
#include "base/result_code.hpp"

namespace ornpcap {

class OutputFile {
public:
    static constexpr size_t kBufferSize = 64 * 1024;

    OutputFile() = default;
    OutputFile(OutputFile&&) = default;
    OutputFile& operator=(OutputFile&&) = default;

    // Creates the file, or empties an existing one, for reading and writing,
    // holding `first` (its file header, or its first record). A new file
    // appears under its name only with those bytes in it, so that no run,
    // killed at any moment, leaves an empty output. CannotCreateTarget when
    // that fails or when the name is the trace itself (which is then left
    // untouched); CannotWriteTarget when `first` cannot be written.
    ResultCode create(const std::string& name, const FileIdentity& trace,
                      std::span<const uint8_t> first = {});
    // Where a converter would open an existing file again but finds a folder
    // of the name: CannotOpenSource, as a failed opening again.
    ResultCode refuseFolder();
    // Opens again, for reading and writing and keeping its content, a file
    // this run created and closed: the next append goes to its end.
    // CannotOpenSource when it cannot be opened, CannotCreateTarget when the
    // name no longer leads to the file created (`created`, its identity).
    ResultCode reopen(const std::string& name, const FileIdentity& created);
    // Writes to an open descriptor (standard output) from where it stands, in
    // order, never seeking: what is written cannot be written again. Where it
    // is a regular file, a failed write cuts it back to the last whole record
    // after what it held before. CannotCreateTarget when it is the trace.
    ResultCode adoptStream(int fd, const FileIdentity& trace);

    bool isOpen() const { return fd_.isOpen(); }
    // The device and inode of the file, once created.
    const FileIdentity& identity() const { return identity_; }
    // The system's reason (errno) of the first failure, 0 when none.
    int error() const { return error_; }
    // Whether bytes already written can be written again (not so on a pipe).
    bool seekable() const { return seekable_; }
    // Where the next append goes.
    uint64_t end() const { return durable_ + buffer_.size(); }
    // Bytes known to be on disk: the end of the last record written out.
    uint64_t durableEnd() const { return durable_; }
    // Moves the append position (only between flushes).
    bool setEnd(uint64_t offset);

    // Appends one record made of two parts (either may be empty).
    bool append(const uint8_t* first, size_t firstLength, const uint8_t* second = nullptr,
                size_t secondLength = 0);
    // Appends whole records that lie one after the other at data: record i
    // ends ends[i] bytes from data. A long run, or one larger than the
    // buffer has room for, goes straight to the file, after what the buffer
    // holds.
    bool appendRecords(const uint8_t* data, std::span<const uint32_t> ends);
    bool flush();
    // Direct access at an offset, after a flush (also after a failed one, so
    // that a damaged file can still be completed).
    bool readAt(uint64_t offset, uint8_t* out, size_t length);
    bool writeAt(uint64_t offset, const uint8_t* data, size_t length);
    // Cuts a regular file to the length (no effect on other kinds of file).
    bool truncate(uint64_t length);

    // Flushes and closes; false when any write since opening failed.
    bool close();

private:
    ResultCode open(const std::string& name, const FileIdentity& trace, bool keepContent);
    ResultCode failedOpen(ResultCode rc);
    enum class Whole { Created, Unsupported, NotWritten };
    Whole createWhole(const std::string& name, std::span<const uint8_t> first);
    void prepareBuffer();
    size_t writeOut(uint64_t offset, const uint8_t* data, size_t length);
    bool fail();

    FdHandle fd_;
    std::vector<uint8_t> buffer_;
    std::vector<uint32_t> recordEnds_;  // where each buffered record ends
    uint64_t durable_ = 0;
    uint64_t streamStart_ = 0;  // where an adopted stream stood in its file
    bool failed_ = false;
    bool seekable_ = true;
    FileIdentity identity_;
    int error_ = 0;
};

}  // namespace ornpcap
