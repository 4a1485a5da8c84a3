#include "writers/frame_format.hpp"

namespace ornpcap {

namespace {

constexpr FrameFormatRow kFrameFormats[] = {
    {FrameFormat::Ethernet, "ETHERNET", 1},  {FrameFormat::PppSync, "PPP-Sync", 9},
    {FrameFormat::PppAsync, "PPP-Async", 9}, {FrameFormat::RawIp, "Raw-IP", 101},
    {FrameFormat::I4bIsdn, "I4B ISDN", 0},   {FrameFormat::InternalUdp, "Internal-UDP", 1},
};

const FrameFormatRow& rowOf(FrameFormat format) {
    return kFrameFormats[static_cast<int32_t>(format) - 1];
}

}  // namespace

std::span<const FrameFormatRow> frameFormats() { return kFrameFormats; }

bool isValidFrameFormat(int32_t id) { return id >= 1 && id <= 6; }

std::string_view frameFormatName(FrameFormat format) { return rowOf(format).name; }

uint32_t linkTypeOf(FrameFormat format) { return rowOf(format).linkType; }

}  // namespace ornpcap
