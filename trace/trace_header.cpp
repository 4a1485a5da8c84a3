#include "trace/trace_header.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "trace/fcs16.hpp"
#include "trace/file_io.hpp"

namespace ornpcap {

namespace {

constexpr char kFileType[] = "TRC   ";

// A decimal number in a fixed-width text field: blanks, an optional sign,
// then digits up to the end of the field; -1 when there is no digit.
long readDecimalField(std::span<const uint8_t> header, size_t offset, size_t width) {
    if (header.size() < offset + width) {
        return -1;
    }
    size_t i = offset;
    const size_t end = offset + width;
    while (i < end && std::isspace(header[i])) {
        ++i;
    }
    bool negative = false;
    if (i < end && (header[i] == '+' || header[i] == '-')) {
        negative = header[i] == '-';
        ++i;
    }
    long value = 0;
    size_t digits = 0;
    while (i < end && std::isdigit(header[i])) {
        value = value * 10 + (header[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0) {
        return -1;
    }
    return negative ? -value : value;
}

bool subVersionIsOne(std::span<const uint8_t> header) {
    return readHeaderText(header).subVersion == 1;
}

// Reads exactly n bytes at the descriptor's position.
bool readFully(int fd, uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t got = ::read(fd, out + done, n - done);
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

// Reads up to n bytes from the stream's start; bytes not read stay zero.
void readFromStart(std::FILE* stream, uint8_t* out, size_t n) {
    std::memset(out, 0, n);
    if (std::fseek(stream, 0, SEEK_SET) == 0) {
        (void)std::fread(out, 1, n, stream);
    }
}

ResultCode probeTrailer(int fd, uint64_t fileLength, uint32_t headerSize) {
    TraceTrailer trailer;
    if (::lseek(fd, static_cast<off_t>(fileLength - kTrailerSize), SEEK_SET) < 0 ||
        !readFully(fd, trailer.bytes.data(), kTrailerSize)) {
        return ResultCode::CannotReadSource;
    }
    if (!hasGoodFcs(trailer.bytes.data(), kTrailerSize)) {
        return ResultCode::BadFormat;
    }
    return streamFits(trailer, fileLength, headerSize) ? ResultCode::Ok : ResultCode::BadFormat;
}

// Reads the first n bytes of the file into the buffer.
bool readHead(int fd, uint8_t* out, size_t n) {
    return ::lseek(fd, 0, SEEK_SET) == 0 && readFully(fd, out, n);
}

void setDefaultOffsets(TraceHeader& header) {
    constexpr uint8_t kPlusOneHour[4] = {1, 1, 0, 0};
    for (size_t offset : {header_offset::utcOffset, header_offset::timeOffset2,
                          header_offset::timeOffset3}) {
        std::memcpy(&header.bytes[offset], kPlusOneHour, sizeof kPlusOneHour);
    }
}

}  // namespace

bool acceptVersion(uint16_t versionMajor, uint16_t versionMinor) {
    return versionMajor >= 5 && versionMajor <= 8 && versionMinor == 0;
}

HeaderText readHeaderText(std::span<const uint8_t> header) {
    return {readDecimalField(header, header_offset::versionMajor, 5),
            readDecimalField(header, header_offset::versionMinor, 3),
            readDecimalField(header, header_offset::subVersion, 2)};
}

bool isIntactHeader(std::span<const uint8_t> header) {
    return header.size() >= header_offset::fileType + 6 &&
           hasGoodFcs(header.data(), static_cast<uint32_t>(header.size())) &&
           std::memcmp(&header[header_offset::fileType], kFileType, 6) == 0;
}

bool isHeaderForm(std::span<const uint8_t> header, uint16_t versionMajor, uint16_t versionMinor) {
    if (!isIntactHeader(header)) {
        return false;
    }
    HeaderText text = readHeaderText(header);
    return text.versionMajor == versionMajor && text.versionMinor == versionMinor;
}

bool streamFits(const TraceTrailer& trailer, uint64_t fileLength, uint32_t headerSize) {
    const uint64_t overhead = uint64_t{headerSize} + kTrailerSize;
    return fileLength >= overhead && trailer.streamLength() <= fileLength - overhead;
}

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

    std::array<uint8_t, kHeaderSizeV8> head{};
    auto report = [&](uint32_t headerSize) {
        HeaderText text = readHeaderText(std::span(head.data(), headerSize));
        if (text.subVersion != 1) {
            return ResultCode::BadVersion;
        }
        versionMajor = static_cast<uint16_t>(text.versionMajor);
        versionMinor = static_cast<uint16_t>(text.versionMinor);
        return probeTrailer(fd.get(), fileLength, headerSize);
    };

    if (!readHead(fd.get(), head.data(), kHeaderSizeV8)) {
        return ResultCode::CannotReadSource;
    }
    if (isHeaderForm(std::span(head.data(), kHeaderSizeV8), 8, 0)) {
        return report(kHeaderSizeV8);
    }
    if (!readHead(fd.get(), head.data(), kHeaderSizeV7)) {
        return ResultCode::CannotReadSource;
    }
    if (isHeaderForm(std::span(head.data(), kHeaderSizeV7), 7, 0)) {
        return report(kHeaderSizeV7);
    }
    if (!readHead(fd.get(), head.data(), kHeaderSizeV5)) {
        return ResultCode::CannotReadSource;
    }
    const auto small = std::span(head.data(), kHeaderSizeV5);
    if (!isIntactHeader(small)) {
        return ResultCode::CannotReadSource;
    }
    if (!isHeaderForm(small, 6, 0) && !isHeaderForm(small, 5, 0)) {
        return ResultCode::BadVersion;
    }
    return report(kHeaderSizeV5);
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

    header = TraceHeader{};
    readFromStart(stream, header.bytes.data(), kHeaderSizeV8);
    header.headerSize = kHeaderSizeV8;
    if (isHeaderForm(header.bytes, versionMajor, versionMinor)) {
        if (!subVersionIsOne(header.bytes)) {
            return ResultCode::BadFormat;
        }
    } else {
        std::array<uint8_t, kHeaderSizeV7> v7{};
        readFromStart(stream, v7.data(), v7.size());
        if (isHeaderForm(v7, versionMajor, versionMinor)) {
            if (!subVersionIsOne(v7)) {
                return ResultCode::BadFormat;
            }
            header.bytes.fill(0);
            std::copy(v7.begin(), v7.end(), header.bytes.begin());
            header.headerSize = kHeaderSizeV7;
        } else {
            std::array<uint8_t, kHeaderSizeV5> v5{};
            readFromStart(stream, v5.data(), v5.size());
            if (!isHeaderForm(v5, versionMajor, versionMinor) || !subVersionIsOne(v5)) {
                return ResultCode::BadFormat;
            }
            header.bytes.fill(0);
            std::copy(v5.begin(), v5.end(), header.bytes.begin());
            header.headerSize = kHeaderSizeV5;
        }
        setDefaultOffsets(header);
    }

    trailer = TraceTrailer{};
    if (std::fseek(stream, static_cast<long>(fileLength - kTrailerSize), SEEK_SET) == 0) {
        (void)std::fread(trailer.bytes.data(), 1, kTrailerSize, stream);
    }
    if (!hasGoodFcs(trailer.bytes.data(), kTrailerSize)) {
        return ResultCode::CannotReadSource;
    }
    if (!streamFits(trailer, fileLength, header.headerSize)) {
        return ResultCode::BadFormat;
    }
    if (std::fseek(stream, static_cast<long>(header.headerSize), SEEK_SET) != 0) {
        return ResultCode::CannotReadSource;
    }
    return ResultCode::Ok;
}

}  // namespace ornpcap
