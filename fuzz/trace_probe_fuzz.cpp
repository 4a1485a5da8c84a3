// Fuzz target: the trace checks on arbitrary bytes. The header recogniser
// and the trailer check take the bytes directly; the probe reads them as a
// file by name, the validation as an open stream, with the probed version and
// with every version a converter may ask for. Besides crashes it stops on a
// broken promise of any check.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "trace/trace_file.hpp"
#include "trace/trace_header.hpp"

using namespace ornpcap;

namespace {

void check(bool promiseKept) {
    if (!promiseKept) {
        std::abort();
    }
}

const std::string& traceName() {
    static const std::string name = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/trace_probe_fuzz." +
               std::to_string(::getpid()) + ".orn";
    }();
    return name;
}

// The recogniser over the first 203 bytes (zeros where there are fewer): a
// form it finds is intact, of a size it knows, and carries what was asked.
void checkRecogniser(const uint8_t* data, size_t size) {
    std::array<uint8_t, kHeaderSizeV8> head{};
    std::memcpy(head.data(), data, std::min<size_t>(size, head.size()));
    for (const HeaderVersions& asked : {HeaderVersions{}, HeaderVersions{false, 8, 0},
                                        HeaderVersions{false, 5, 0}}) {
        const HeaderMatch match = recogniseHeader(head, asked);
        if (match.size == 0) {
            continue;
        }
        check(match.size == kHeaderSizeV8 || match.size == kHeaderSizeV7 ||
              match.size == kHeaderSizeV5);
        check(asked.byForm ? match.text.versionMinor == 0
                           : match.text.versionMajor == asked.major &&
                                 match.text.versionMinor == asked.minor);
        check(std::memcmp(&head[header_offset::fileType], "TRC   ", 6) == 0);
        const TraceHeader widened = widenHeader(head, match.size);
        check(std::memcmp(widened.bytes.data(), head.data(), match.size - 2) == 0);
    }
    if (size >= kTrailerSize) {
        TraceTrailer trailer;
        std::memcpy(trailer.bytes.data(), data + size - kTrailerSize, kTrailerSize);
        const TrailerCheck verdict = checkTrailer(trailer, size, kHeaderSizeV5);
        check(verdict != TrailerCheck::Good ||
              trailer.streamLength() <= size - kHeaderSizeV5 - kTrailerSize);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkRecogniser(data, size);
    const std::string& name = traceName();
    std::FILE* out = std::fopen(name.c_str(), "wb");
    check(out != nullptr && std::fwrite(data, 1, size, out) == size && std::fclose(out) == 0);

    uint16_t major = 0;
    uint16_t minor = 0;
    const int probed = static_cast<int>(probeTrace(name, major, minor));
    check(probed == 0 || probed == 4 || probed == 7 || probed == 11);
    check(probed != 0 || (acceptVersion(major, minor) && size >= kSmallestTrace));

    std::FILE* in = std::fopen(name.c_str(), "rb");
    check(in != nullptr);
    const uint16_t versions[][2] = {{major, minor}, {5, 0}, {6, 0}, {7, 0}, {8, 0}};
    for (const auto& version : versions) {
        TraceHeader header;
        TraceTrailer trailer;
        const int rc = static_cast<int>(validateTrace(in, version[0], version[1], header, trailer));
        check(rc == 0 || rc == 4 || rc == 7 || rc == 11);
        check(rc != 7 || !acceptVersion(version[0], version[1]));
        if (rc != 0) {
            continue;
        }
        const uint32_t headerSize = header.headerSize;
        check(headerSize == kHeaderSizeV8 || headerSize == kHeaderSizeV7 ||
              headerSize == kHeaderSizeV5);
        check(size >= headerSize + kTrailerSize &&
              trailer.streamLength() <= size - headerSize - kTrailerSize);
        check(std::ftell(in) == static_cast<long>(headerSize));
        // The header as read (its FCS aside), the trailer as read.
        check(std::memcmp(header.bytes.data(), data, headerSize - 2) == 0);
        check(std::memcmp(trailer.bytes.data(), data + size - kTrailerSize, kTrailerSize) == 0);
        const uint8_t plusOneHour[4] = {1, 1, 0, 0};
        check(headerSize == kHeaderSizeV8 ||
              std::memcmp(&header.bytes[header_offset::utcOffset], plusOneHour, 4) == 0);
    }
    std::fclose(in);
    std::remove(name.c_str());
    return 0;
}
