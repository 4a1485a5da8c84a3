#include "trace/trace_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_io.hpp"

namespace ornpcap {

namespace {

using Head = std::array<uint8_t, kHeaderSizeV8>;

constexpr HeaderVersions kProbeVersions{};

uint64_t between(uint64_t fileLength, uint32_t headerSize) {
    const uint64_t overhead = uint64_t{headerSize} + kTrailerSize;
    return fileLength > overhead ? fileLength - overhead : 0;
}

// The trailer's verdict as a fault: what a bad FCS means is the caller's.
ResultCode trailerFault(const TraceTrailer& trailer, uint64_t fileLength, uint32_t headerSize,
                        ResultCode badFcs, TraceFault* out) {
    switch (checkTrailer(trailer, fileLength, headerSize)) {
        case TrailerCheck::BadFcs:
            return fault(out, badFcs, TraceCheck::TrailerChecksum);
        case TrailerCheck::StreamTooLong:
            return fault(out, ResultCode::BadFormat, TraceCheck::StreamTooLong,
                         trailer.streamLength(),
                         static_cast<int64_t>(between(fileLength, headerSize)));
        case TrailerCheck::Good:
            break;
    }
    return ResultCode::Ok;
}

ResultCode probeTrailer(int fd, uint64_t fileLength, uint32_t headerSize, TraceFault* out) {
    TraceTrailer trailer;
    if (::lseek(fd, static_cast<off_t>(fileLength - kTrailerSize), SEEK_SET) < 0 ||
        !readFully(fd, trailer.bytes.data(), kTrailerSize)) {
        return fault(out, ResultCode::CannotReadSource, TraceCheck::TrailerUnreadable);
    }
    return trailerFault(trailer, fileLength, headerSize, ResultCode::BadFormat, out);
}

// Reads up to n bytes from the stream's start; bytes not read stay zero.
void readFromStart(std::FILE* stream, uint8_t* out, size_t n) {
    if (std::fseek(stream, 0, SEEK_SET) == 0) {
        (void)std::fread(out, 1, n, stream);
    }
}

ResultCode validateTrailer(std::FILE* stream, uint64_t fileLength, const TraceHeader& header,
                           TraceTrailer& trailer, TraceFault* out) {
    trailer = TraceTrailer{};
    if (std::fseek(stream, static_cast<long>(fileLength - kTrailerSize), SEEK_SET) == 0) {
        (void)std::fread(trailer.bytes.data(), 1, kTrailerSize, stream);
    }
    const ResultCode rc =
        trailerFault(trailer, fileLength, header.headerSize, ResultCode::CannotReadSource, out);
    if (rc != ResultCode::Ok) {
        return rc;
    }
    return std::fseek(stream, static_cast<long>(header.headerSize), SEEK_SET) == 0
               ? ResultCode::Ok
               : fault(out, ResultCode::CannotReadSource, TraceCheck::HeadUnreadable,
                     static_cast<int64_t>(fileLength));
}

}  // namespace

ResultCode headerVerdict(const HeaderMatch& match, std::span<const uint8_t, kHeaderSizeV8> head,
                         TraceFault* out) {
    if (match.size == 0 && match.intactSize != 0) {
        // Intact but of a version the probe does not take: 7 when that was
        // the smallest form, else the smallest form's own test fails first.
        const ResultCode rc =
            match.smallFormIntact() ? ResultCode::BadVersion : ResultCode::CannotReadSource;
        return fault(out, rc, TraceCheck::VersionRefused, match.text.versionMajor,
                     match.text.versionMinor);
    }
    if (match.size == 0) {
        return fault(out, ResultCode::CannotReadSource,
                     hasTraceType(head) ? TraceCheck::HeaderDamaged : TraceCheck::NotATrace);
    }
    if (match.text.subVersion != 1) {
        return fault(out, ResultCode::BadVersion, TraceCheck::SubVersionRefused,
                     match.text.subVersion);
    }
    return ResultCode::Ok;
}

ResultCode probeTrace(const std::string& name, uint16_t& versionMajor, uint16_t& versionMinor,
                      TraceFault* out) {
    // Not blocking: a FIFO without a writer must not hold the probe. It is
    // refused below, as is every pipe: the trailer is found from the length.
    FdHandle fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isOpen()) {
        const int error = errno;
        fault(out, ResultCode::CannotOpenSource, TraceCheck::CannotOpen);
        if (out != nullptr) {
            out->osError = error;
        }
        return ResultCode::CannotOpenSource;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return fault(out, ResultCode::CannotReadSource, TraceCheck::HeadUnreadable);
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        return fault(out, ResultCode::BadVersion, TraceCheck::IsAPipe);
    }
    const uint64_t fileLength = static_cast<uint64_t>(st.st_size);
    if (fileLength < kSmallestTrace) {
        return fault(out, ResultCode::BadVersion, TraceCheck::FileTooShort,
                     static_cast<int64_t>(fileLength),
                     kSmallestTrace);
    }
    Head head{};
    if (!readFully(fd.get(), head.data(), head.size())) {
        return fault(out, ResultCode::CannotReadSource, TraceCheck::HeadUnreadable,
                     static_cast<int64_t>(fileLength));
    }
    const HeaderMatch match = recogniseHeader(head, kProbeVersions);
    if (const ResultCode rc = headerVerdict(match, head, out); rc != ResultCode::Ok) {
        return rc;
    }
    versionMajor = static_cast<uint16_t>(match.text.versionMajor);
    versionMinor = static_cast<uint16_t>(match.text.versionMinor);
    return probeTrailer(fd.get(), fileLength, match.size, out);
}

ResultCode validateTrace(std::FILE* stream, uint16_t versionMajor, uint16_t versionMinor,
                         TraceHeader& header, TraceTrailer& trailer, TraceFault* out) {
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        return fault(out, ResultCode::CannotReadSource, TraceCheck::HeadUnreadable);
    }
    const long endPosition = std::ftell(stream);
    if (endPosition < 0) {
        return fault(out, ResultCode::CannotReadSource, TraceCheck::HeadUnreadable);
    }
    const uint64_t fileLength = static_cast<uint64_t>(endPosition);
    if (!acceptVersion(versionMajor, versionMinor)) {
        return fault(out, ResultCode::BadVersion, TraceCheck::VersionRefused, versionMajor,
                     versionMinor);
    }
    if (fileLength < kSmallestTrace) {
        return fault(out, ResultCode::CannotReadSource, TraceCheck::FileTooShort,
                     static_cast<int64_t>(fileLength),
                     kSmallestTrace);
    }
    Head head{};
    readFromStart(stream, head.data(), head.size());
    const HeaderMatch match = recogniseHeader(head, {false, versionMajor, versionMinor});
    if (match.size == 0) {
        return fault(out, ResultCode::BadFormat, TraceCheck::HeaderDamaged);
    }
    if (match.text.subVersion != 1) {
        return fault(out, ResultCode::BadFormat, TraceCheck::SubVersionRefused,
                     match.text.subVersion);
    }
    header = widenHeader(head, match.size);
    return validateTrailer(stream, fileLength, header, trailer, out);
}

ResultCode probeConvertibleTrace(const std::string& name, uint16_t& versionMajor,
                                 uint16_t& versionMinor, TraceFault& fault) {
    ResultCode rc = probeTrace(name, versionMajor, versionMinor, &fault);
    if (rc == ResultCode::Ok && !acceptVersion(versionMajor, versionMinor)) {
        rc = fault.code = ResultCode::BadVersion;
        fault.check = TraceCheck::VersionRefused;
        fault.actual = versionMajor;
        fault.limit = versionMinor;
    }
    return rc;
}

}  // namespace ornpcap
