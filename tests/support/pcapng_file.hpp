#pragma once
// Reading pcapng files back in tests: every block, checked against its own
// lengths, with the options the tests look at.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace ornpcap::test {

using PcapngOptions = std::multimap<uint16_t, Bytes>;

struct PcapngInterfaceRead {
    uint16_t linkType = 0;
    uint32_t snapLength = 0;
    std::string name;
    std::string description;
    int tsresol = -1;  // -1 when absent
};

struct PcapngPacketRead {
    uint32_t interfaceId = 0;
    uint64_t timestamp = 0;
    uint32_t originalLength = 0;
    Bytes data;
    uint32_t flags = 0;
    bool hasFlags = false;
};

struct PcapngStatisticsRead {
    uint32_t interfaceId = 0;
    uint64_t timestamp = 0;
    PcapngOptions options;
    uint64_t u64(uint16_t code) const;        // 0 when absent
    uint64_t timestampOf(uint16_t code) const; // high word first
};

struct PcapngRead {
    std::string fault;  // empty when every block holds together up to the end
    std::vector<uint32_t> blockTypes;
    std::string application;
    std::string comment;
    std::vector<PcapngInterfaceRead> interfaces;
    std::vector<PcapngPacketRead> packets;
    std::vector<PcapngStatisticsRead> statistics;
};

PcapngRead parsePcapng(const Bytes& file);

}  // namespace ornpcap::test
