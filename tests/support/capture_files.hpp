#pragma once
// Reading our output files back in tests: a pcap file into its records, a .vn
// file into its packets, each with a verdict on whether it holds together.

#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"
#include "frames/pcap_framing.hpp"

namespace ornpcap::test {

struct PcapFile {
    Bytes header;  // empty when the file is shorter than a file header
    std::vector<PcapRecordHeader> records;
    std::vector<Bytes> frames;
    bool whole = false;  // ends exactly after its last complete record
};
PcapFile parsePcap(const Bytes& file);

struct VnFile {
    std::string fault;                 // empty when the file holds together
    std::string header;                // "packetCount startTime maxLength: index entries"
    std::vector<std::string> packets;  // "timeDelta actualLength/capturedLength status frame"
};
// Checks magic and fixed header fields, packets back to back from offset 192
// up to the index, one index entry per packet.
VnFile readVn(const Bytes& file);

std::string hex(const uint8_t* p, size_t n);

}  // namespace ornpcap::test
