#include "base/memory_headroom.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

namespace ornpcap {

namespace {

std::optional<uint64_t> limitOf(int resource) {
    struct rlimit limit {};
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(limit.rlim_cur);
}

// A "Vm...:  1234 kB" line of /proc/self/status, in bytes; 0 when unknown.
uint64_t statusBytes(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) {
        return 0;
    }
    char line[256];
    unsigned long long kib = 0;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            std::sscanf(line + length + 1, "%llu", &kib);
            break;
        }
    }
    std::fclose(status);
    return kib * 1024;
}

std::optional<uint64_t> freeUnder(int resource, const char* usedField) {
    const std::optional<uint64_t> limit = limitOf(resource);
    if (!limit) {
        return std::nullopt;
    }
    const uint64_t used = statusBytes(usedField);
    return *limit > used ? *limit - used : 0;
}

}  // namespace

std::optional<uint64_t> memoryHeadroom() {
    const std::optional<uint64_t> space = freeUnder(RLIMIT_AS, "VmSize");
    const std::optional<uint64_t> data = freeUnder(RLIMIT_DATA, "VmData");
    if (space && data) {
        return std::min(*space, *data);
    }
    return space ? space : data;
}

}  // namespace ornpcap
