#include "trace/trace_header.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "trace/fcs16.hpp"

namespace ornpcap {

namespace {

constexpr char kFileType[] = "TRC   ";
constexpr uint32_t kForms[] = {kHeaderSizeV8, kHeaderSizeV7, kHeaderSizeV5};

// A decimal number in a fixed-width text field: blanks, an optional sign,
// then digits up to the end of the field; -1 when there is no digit.
long readDecimalField(std::span<const uint8_t> header, size_t offset, size_t width) {
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
    for (; i < end && std::isdigit(header[i]); ++i, ++digits) {
        value = value * 10 + (header[i] - '0');
    }
    if (digits == 0) {
        return -1;
    }
    return negative ? -value : value;
}

HeaderText readFormText(std::span<const uint8_t> header) {
    return {readDecimalField(header, header_offset::versionMajor, 5),
            readDecimalField(header, header_offset::versionMinor, 3),
            readDecimalField(header, header_offset::subVersion, 2)};
}

// The FCS residue check over the form, and the file type.
bool isIntact(std::span<const uint8_t> form) {
    return hasGoodFcs(form.data(), static_cast<uint32_t>(form.size())) &&
           std::memcmp(&form[header_offset::fileType], kFileType, 6) == 0;
}

bool formCarries(uint32_t size, const HeaderText& text, const HeaderVersions& versions) {
    if (!versions.byForm) {
        return text.versionMajor == versions.major && text.versionMinor == versions.minor;
    }
    if (text.versionMinor != 0) {
        return false;
    }
    switch (size) {
        case kHeaderSizeV8: return text.versionMajor == 8;
        case kHeaderSizeV7: return text.versionMajor == 7;
        default: return text.versionMajor == 6 || text.versionMajor == 5;
    }
}

}  // namespace

bool acceptVersion(uint16_t versionMajor, uint16_t versionMinor) {
    return versionMajor >= 5 && versionMajor <= 8 && versionMinor == 0;
}

HeaderMatch recogniseHeader(std::span<const uint8_t, kHeaderSizeV8> head,
                            const HeaderVersions& versions) {
    HeaderMatch match;
    for (uint32_t size : kForms) {
        const std::span<const uint8_t> form = head.first(size);
        if (!isIntact(form)) {
            continue;
        }
        match.intactSize = size;
        match.text = readFormText(form);
        if (formCarries(size, match.text, versions)) {
            match.size = size;
            return match;
        }
    }
    return match;
}

HeaderText readHeaderText(std::span<const uint8_t, kHeaderSizeV8> head) {
    return readFormText(head);
}

bool hasTraceType(std::span<const uint8_t, kHeaderSizeV8> head) {
    return std::memcmp(&head[header_offset::fileType], kFileType, 6) == 0;
}

TraceHeader widenHeader(std::span<const uint8_t, kHeaderSizeV8> head, uint32_t size) {
    TraceHeader header;
    header.headerSize = size;
    std::copy(head.begin(), head.begin() + size, header.bytes.begin());
    if (size != kHeaderSizeV8) {
        constexpr uint8_t kPlusOneHour[4] = {1, 1, 0, 0};
        for (size_t offset : {header_offset::utcOffset, header_offset::timeOffset2,
                              header_offset::timeOffset3}) {
            std::memcpy(&header.bytes[offset], kPlusOneHour, sizeof kPlusOneHour);
        }
    }
    return header;
}

TrailerCheck checkTrailer(const TraceTrailer& trailer, uint64_t fileLength, uint32_t headerSize) {
    if (!hasGoodFcs(trailer.bytes.data(), kTrailerSize)) {
        return TrailerCheck::BadFcs;
    }
    const uint64_t overhead = uint64_t{headerSize} + kTrailerSize;
    if (fileLength < overhead || trailer.streamLength() > fileLength - overhead) {
        return TrailerCheck::StreamTooLong;
    }
    return TrailerCheck::Good;
}

}  // namespace ornpcap
