#pragma once
// Large traces for runs of the tool: one port, many records, stored blocks.

#include <cstddef>
#include <cstdint>

#include "tests/support/temp_dir.hpp"

namespace ornpcap::test {

// Writes Trace.orn into the folder: port 30, records of `size` bytes starting
// with an IPv4 header, on LSNs 0 to lsns - 1 in turn, sent and received in
// turn, one a millisecond, in stored blocks of `chunk` bytes.
void writePortTrace(const TempDir& dir, unsigned long records, uint16_t lsns = 4,
                    size_t size = 100, size_t chunk = 60000);

}  // namespace ornpcap::test
