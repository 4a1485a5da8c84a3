// Fuzz target: the trace checks on arbitrary bytes. The probe reads the file
// by name; the validation reads it as an open stream, with the probed version
// and with every version a converter may ask for. Besides crashes it stops on
// a broken promise of either check.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
