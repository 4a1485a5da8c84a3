#pragma once
// Where the repaired trace goes, and how it gets there whole.
//
// A file is written under a temporary name in the folder of its final name
// (".NAME.ornfix-XXXXXX") and renamed over it only once it is complete and
// on disk, so that an interrupted or failed run leaves no half-written
// trace. An existing name is replaced only when forced, and never when it
// leads to the trace itself (same device and inode, by whatever name or
// link); a link is followed, so that it keeps pointing at the repaired
// trace. A device or FIFO is written through (/dev/null discards), and "-"
// is standard output.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/file_io.hpp"
#include "base/result_code.hpp"
#include "ornfix/trace_writer.hpp"

namespace ornpcap::ornfix {

enum class OutputKind { NewFile, Through, StandardOutput };

struct OutputTarget {
    OutputKind kind = OutputKind::NewFile;
    std::string name;  // as the user gave it, for messages
    std::string path;  // the file to write: name, or where its link leads
};

// Trace.orn gives Trace_fixed.orn, beside it; a name without extension gets
// _fixed at its end.
std::string defaultOutputName(const std::string& trace);

// CannotCreateTarget, with the reason, when the output may not be written.
ResultCode chooseOutput(const std::string& name, bool force, const FileIdentity& trace,
                        OutputTarget& target, std::string& reason);

// Writes through a buffer to a descriptor.
class FdSink final : public ByteSink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    bool write(const uint8_t* data, size_t length) override;
    bool flush();
    int error() const { return error_; }

private:
    int fd_;
    std::vector<uint8_t> buffer_;
    int error_ = 0;
};

class RepairedOutput {
public:
    RepairedOutput() = default;
    RepairedOutput(const RepairedOutput&) = delete;
    RepairedOutput& operator=(const RepairedOutput&) = delete;
    // Removes the temporary file unless committed.
    ~RepairedOutput();

    // CannotCreateTarget when it cannot be created (errno in error()).
    ResultCode open(const OutputTarget& target);
    ByteSink& sink() { return *sink_; }
    // The name the bytes are written under until commit (the temporary file).
    const std::string& writtenName() const { return writing_; }
    // Flushes and closes. CannotWriteTarget when the bytes did not all reach the file.
    ResultCode close();
    // Puts the closed file under its final name. CannotCreateTarget when that fails.
    ResultCode commit();
    int error() const { return error_; }

private:
    OutputTarget target_;
    FdHandle fd_;
    int fdNumber_ = -1;
    std::unique_ptr<FdSink> sink_;
    std::string writing_;
    bool temporary_ = false;
    int error_ = 0;
};

}  // namespace ornpcap::ornfix
