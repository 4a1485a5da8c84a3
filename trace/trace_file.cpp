#include "trace/trace_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_io.hpp"

namespace ornpcap {

namespace {

using Head = std::array<uint8_t, kHeaderSizeV8>;

constexpr HeaderVersions kProbeVersions{};

ResultCode probeTrailer(int fd, uint64_t fileLength, uint32_t headerSize) {
    TraceTrailer trailer;
    if (::lseek(fd, static_cast<off_t>(fileLength - kTrailerSize), SEEK_SET) < 0 ||
        !readFully(fd, trailer.bytes.data(), kTrailerSize)) {
        return ResultCode::CannotReadSource;
    }
    return checkTrailer(trailer, fileLength, headerSize) == TrailerCheck::Good
               ? ResultCode::Ok
               : ResultCode::BadFormat;
}

// Reads up to n bytes from the stream's start; bytes not read stay zero.
void readFromStart(std::FILE* stream, uint8_t* out, size_t n) {
    if (std::fseek(stream, 0, SEEK_SET) == 0) {
        (void)std::fread(out, 1, n, stream);
    }
}

ResultCode validateTrailer(std::FILE* stream, uint64_t fileLength, const TraceHeader& header,
                           TraceTrailer& trailer) {
    trailer = TraceTrailer{};
    if (std::fseek(stream, static_cast<long>(fileLength - kTrailerSize), SEEK_SET) == 0) {
        (void)std::fread(trailer.bytes.data(), 1, kTrailerSize, stream);
    }
    switch (checkTrailer(trailer, fileLength, header.headerSize)) {
        case TrailerCheck::BadFcs: return ResultCode::CannotReadSource;
        case TrailerCheck::StreamTooLong: return ResultCode::BadFormat;
        case TrailerCheck::Good: break;
    }
    return std::fseek(stream, static_cast<long>(header.headerSize), SEEK_SET) == 0
               ? ResultCode::Ok
               : ResultCode::CannotReadSource;
}

}  // namespace

ResultCode probeTrace(const std::string& name, uint16_t& versionMajor, uint16_t& versionMinor) {
    FdHandle fd(::open(name.c_str(), O_RDONLY));
    if (!fd.isOpen()) {
        return ResultCode::CannotOpenSource;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return ResultCode::CannotReadSource;
    }
    const uint64_t fileLength = static_cast<uint64_t>(st.st_size);
    if (fileLength < kSmallestTrace) {
        return ResultCode::BadVersion;
    }
    Head head{};
    if (!readFully(fd.get(), head.data(), head.size())) {
        return ResultCode::CannotReadSource;
    }
    const HeaderMatch match = recogniseHeader(head, kProbeVersions);
    if (match.size == 0) {
        return match.smallFormIntact ? ResultCode::BadVersion : ResultCode::CannotReadSource;
    }
    if (match.text.subVersion != 1) {
        return ResultCode::BadVersion;
    }
    versionMajor = static_cast<uint16_t>(match.text.versionMajor);
    versionMinor = static_cast<uint16_t>(match.text.versionMinor);
    return probeTrailer(fd.get(), fileLength, match.size);
}

ResultCode validateTrace(std::FILE* stream, uint16_t versionMajor, uint16_t versionMinor,
                         TraceHeader& header, TraceTrailer& trailer) {
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        return ResultCode::CannotReadSource;
    }
    const long endPosition = std::ftell(stream);
    if (endPosition < 0) {
        return ResultCode::CannotReadSource;
    }
    const uint64_t fileLength = static_cast<uint64_t>(endPosition);
    if (!acceptVersion(versionMajor, versionMinor)) {
        return ResultCode::BadVersion;
    }
    if (fileLength < kSmallestTrace) {
        return ResultCode::CannotReadSource;
    }
    Head head{};
    readFromStart(stream, head.data(), head.size());
    const HeaderMatch match = recogniseHeader(head, {false, versionMajor, versionMinor});
    if (match.size == 0 || match.text.subVersion != 1) {
        return ResultCode::BadFormat;
    }
    header = widenHeader(head, match.size);
    return validateTrailer(stream, fileLength, header, trailer);
}

}  // namespace ornpcap
