#pragma once
// How much of an exhaustive loop a test runs. The plain build runs every
// case; under a sanitizer's runtime, many times slower, a test runs every
// n-th case, from an offset that ORNPCAP_TEST_SEED moves (0 when unset), so
// that a run under the sanitizers stays within minutes while different seeds
// cover different cases. A failure names its case, which the plain build
// runs in any event.

#include <cstddef>
#include <cstdlib>

namespace ornpcap::test {

#if defined(ORNPCAP_TSAN)
inline constexpr size_t kSanitizerStride = 8;
#elif defined(ORNPCAP_SANITIZE)
inline constexpr size_t kSanitizerStride = 4;
#else
inline constexpr size_t kSanitizerStride = 1;
#endif

inline size_t sampleOffset() {
    const char* seed = std::getenv("ORNPCAP_TEST_SEED");
    return seed == nullptr ? 0 : static_cast<size_t>(std::strtoul(seed, nullptr, 10)) % kSanitizerStride;
}

// Whether case `index` of an exhaustive loop runs in this build.
inline bool sampled(size_t index) { return index % kSanitizerStride == sampleOffset(); }

}  // namespace ornpcap::test
