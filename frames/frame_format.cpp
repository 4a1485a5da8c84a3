#include "frames/frame_format.hpp"

#include <cctype>

#include "frames/frame_fits.hpp"
#include "frames/pcap_framing.hpp"
#include "frames/pcapng_framing.hpp"
#include "frames/vn_framing.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kLongestPayload = 65535;  // a record's dataLength

// By FrameFormat id. Unstuffing only ever shortens a PPP-Async frame.
constexpr FrameFormatRow kFrameFormats[] = {
    {FrameFormat::Ethernet, "ETHERNET", "ethernet", LsnRule::ProtocolCode,
     1, frameEthernetForPcap, 1, "ETHERNET", kLongestPayload + 2, framePcapngAsPcap,
     nullptr, fits::ethernetFit, 4},
    {FrameFormat::PppSync, "PPP-Sync", "ppp-sync", LsnRule::Channel,
     9, framePppSyncForPcap, 9, "PPP", kLongestPayload, framePcapngAsPcap,
     framePppSyncForVn, fits::pppSyncFit, 2},
    {FrameFormat::PppAsync, "PPP-Async", "ppp-async", LsnRule::Channel,
     9, framePppAsyncForPcap, 9, "PPP", kLongestPayload, framePcapngPppAsync,
     framePppAsyncForVn, fits::pppAsyncFit, 0},
    {FrameFormat::RawIp, "Raw-IP", "raw-ip", LsnRule::Channels,
     101, frameRawIpForPcap, 101, "RAW", kLongestPayload, framePcapngAsPcap,
     nullptr, fits::rawIpFit, 5},
    {FrameFormat::I4bIsdn, "I4B ISDN", "i4b", LsnRule::Every,
     0, nullptr, 177, "LINUX_LAPD", kLongestPayload + kLapdPseudoHeaderSize, framePcapngLapd,
     nullptr, fits::lapdFit, 3},
    {FrameFormat::InternalUdp, "Internal-UDP", "internal-udp", LsnRule::Channels,
     1, frameInternalUdpForPcap, 1, "ETHERNET", kLongestPayload - 12, framePcapngAsPcap,
     nullptr, fits::internalUdpFit, 1},
};

constexpr int32_t kFormatCount = static_cast<int32_t>(std::size(kFrameFormats));

constexpr bool rowsInIdOrder() {
    for (int32_t i = 0; i < kFormatCount; ++i) {
        if (static_cast<int32_t>(kFrameFormats[i].format) != i + 1) {
            return false;
        }
    }
    return true;
}
static_assert(rowsInIdOrder(), "a format's row stands at its id");

constexpr bool ranksDistinct() {
    for (int32_t i = 0; i < kFormatCount; ++i) {
        int32_t holders = 0;
        for (const FrameFormatRow& row : kFrameFormats) {
            holders += row.tieRank == i ? 1 : 0;
        }
        if (holders != 1) {
            return false;
        }
    }
    return true;
}
static_assert(ranksDistinct(), "the recogniser's tie ranks are 0 to the number of formats less 1");

bool sameWithoutCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::span<const FrameFormatRow> frameFormats() { return kFrameFormats; }

bool isValidFrameFormat(int32_t id) { return id >= 1 && id <= kFormatCount; }

const FrameFormatRow& frameFormatRow(FrameFormat format) {
    return kFrameFormats[static_cast<int32_t>(format) - 1];
}

const FrameFormatRow* frameFormatByCliName(std::string_view name) {
    for (const FrameFormatRow& row : kFrameFormats) {
        if (sameWithoutCase(row.cliName, name)) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace ornpcap
