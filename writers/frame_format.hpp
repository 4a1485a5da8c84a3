#pragma once
// The frame formats a port's frames can have, with the name the tool shows
// and the pcap link type their frames are written as: one table, looked up.

#include <cstdint>
#include <span>
#include <string_view>

namespace ornpcap {

enum class FrameFormat : int32_t {
    Ethernet = 1,
    PppSync = 2,
    PppAsync = 3,
    RawIp = 4,
    I4bIsdn = 5,
    InternalUdp = 6,
};

struct FrameFormatRow {
    FrameFormat format;
    std::string_view name;
    uint32_t linkType;  // of the pcap file; 0 for I4B, which is never written as pcap
};

// In the order the help lists them.
std::span<const FrameFormatRow> frameFormats();

bool isValidFrameFormat(int32_t id);
std::string_view frameFormatName(FrameFormat format);
uint32_t linkTypeOf(FrameFormat format);

inline bool isPppFormat(FrameFormat format) {
    return format == FrameFormat::PppSync || format == FrameFormat::PppAsync;
}

}  // namespace ornpcap
