#pragma once
// How much more memory the process may map under its limits (ulimit -v, the
// address space; ulimit -d, the data segments). Work that only speeds a run
// up, such as blocks read ahead for worker threads, is sized against it, so
// that it never takes what the run itself needs.

#include <cstdint>
#include <optional>

namespace ornpcap {

// Bytes still free under the tighter of the two limits; none when neither is set.
std::optional<uint64_t> memoryHeadroom();

}  // namespace ornpcap
