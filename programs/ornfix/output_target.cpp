#include "ornfix/output_target.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ornpcap::ornfix {

namespace {

constexpr size_t kSinkBuffer = 1 << 20;

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

ResultCode refuse(std::string& reason, std::string text) {
    reason = std::move(text);
    return ResultCode::CannotCreateTarget;
}

// What an existing name of that kind gets: replaced by rename, written
// through, or refused.
ResultCode byKind(const struct stat& st, const std::string& path, OutputTarget& target,
                  std::string& reason) {
    target.path = path;
    if (S_ISREG(st.st_mode)) {
        target.kind = OutputKind::NewFile;
        return ResultCode::Ok;
    }
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
        target.kind = OutputKind::Through;
        return ResultCode::Ok;
    }
    return refuse(reason, S_ISDIR(st.st_mode) ? "is a folder"
                                              : "is not a file a trace can be written to");
}

ResultCode existingOutput(const std::string& name, const struct stat& entry,
                          OutputTarget& target, std::string& reason) {
    if (!S_ISLNK(entry.st_mode)) {
        return byKind(entry, name, target, reason);
    }
    char resolved[PATH_MAX];
    struct stat st {};
    if (::realpath(name.c_str(), resolved) == nullptr || ::stat(resolved, &st) != 0) {
        return refuse(reason, "is a symbolic link that leads nowhere");
    }
    return byKind(st, resolved, target, reason);
}

}  // namespace

std::string defaultOutputName(const std::string& trace) {
    const size_t baseStart = trace.rfind('/') == std::string::npos ? 0 : trace.rfind('/') + 1;
    const size_t dot = trace.rfind('.');
    if (dot == std::string::npos || dot <= baseStart) {
        return trace + "_fixed";
    }
    return trace.substr(0, dot) + "_fixed" + trace.substr(dot);
}

ResultCode chooseOutput(const std::string& name, bool force, const FileIdentity& trace,
                        OutputTarget& target, std::string& reason) {
    target = OutputTarget{OutputKind::NewFile, name, name};
    if (name == "-") {
        target.kind = OutputKind::StandardOutput;
        if (identityOfDescriptor(STDOUT_FILENO).sameAs(trace)) {
            return refuse(reason, "standard output is the trace itself");
        }
        return ::isatty(STDOUT_FILENO) ? refuse(reason, "standard output is a terminal")
                                       : ResultCode::Ok;
    }
    struct stat entry {};
    if (::lstat(name.c_str(), &entry) != 0) {
        return errno == ENOENT ? ResultCode::Ok : refuse(reason, std::strerror(errno));
    }
    if (identityOfPath(name).sameAs(trace)) {
        return refuse(reason, "is the trace itself");
    }
    // A name -f could not help (a folder, a dangling link) is refused for
    // what it is, with or without -f.
    OutputTarget existing;
    const ResultCode kind = existingOutput(name, entry, existing, reason);
    if (kind != ResultCode::Ok) {
        return kind;
    }
    if (!force) {
        return refuse(reason, existing.kind == OutputKind::Through ? "exists (-f writes into it)"
                                                                    : "exists (-f replaces it)");
    }
    target = existing;
    return ResultCode::Ok;
}

bool FdSink::write(const uint8_t* data, size_t length) {
    if (buffer_.size() + length > kSinkBuffer && !flush()) {
        return false;
    }
    if (length >= kSinkBuffer) {
        if (writeAll(fd_, data, length) != length) {
            error_ = errno != 0 ? errno : EIO;
            return false;
        }
        return true;
    }
    buffer_.insert(buffer_.end(), data, data + length);
    return true;
}

bool FdSink::flush() {
    errno = 0;
    if (writeAll(fd_, buffer_.data(), buffer_.size()) != buffer_.size()) {
        error_ = errno != 0 ? errno : EIO;
        return false;
    }
    buffer_.clear();
    return true;
}

RepairedOutput::~RepairedOutput() {
    if (temporary_) {
        ::unlink(writing_.c_str());
    }
}

ResultCode RepairedOutput::open(const OutputTarget& target) {
    target_ = target;
    writing_ = target.path;
    if (target.kind == OutputKind::StandardOutput) {
        fdNumber_ = STDOUT_FILENO;
    } else if (target.kind == OutputKind::Through) {
        fd_ = FdHandle(::open(target.path.c_str(), O_WRONLY | O_CLOEXEC));
        fdNumber_ = fd_.get();
    } else {
        writing_ = folderOf(target.path) + "/." + baseOf(target.path) + ".ornfix-XXXXXX";
        fd_ = FdHandle(::mkostemp(writing_.data(), O_CLOEXEC));
        fdNumber_ = fd_.get();
        temporary_ = fd_.isOpen();
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (temporary_) {
            ::fchmod(fdNumber_, 0666 & ~mask);
        }
    }
    if (fdNumber_ < 0) {
        error_ = errno;
        return ResultCode::CannotCreateTarget;
    }
    sink_ = std::make_unique<FdSink>(fdNumber_);
    return ResultCode::Ok;
}

ResultCode RepairedOutput::close() {
    if (!sink_->flush()) {
        error_ = sink_->error();
        return ResultCode::CannotWriteTarget;
    }
    if (target_.kind == OutputKind::StandardOutput) {
        return ResultCode::Ok;
    }
    if (target_.kind == OutputKind::NewFile && ::fsync(fdNumber_) != 0) {
        error_ = errno;
        return ResultCode::CannotWriteTarget;
    }
    if (!fd_.close()) {
        error_ = errno;
        return ResultCode::CannotWriteTarget;
    }
    return ResultCode::Ok;
}

ResultCode RepairedOutput::commit() {
    if (!temporary_) {
        return ResultCode::Ok;
    }
    if (::rename(writing_.c_str(), target_.path.c_str()) != 0) {
        error_ = errno;
        return ResultCode::CannotCreateTarget;
    }
    temporary_ = false;
    // The new name on disk too, where the folder can be synced.
    FdHandle folder(::open(folderOf(target_.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.isOpen()) {
        ::fsync(folder.get());
    }
    return ResultCode::Ok;
}

}  // namespace ornpcap::ornfix
