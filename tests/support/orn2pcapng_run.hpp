#pragma once
// Running orn2pcapng in tests, and the traces its tests share: every frame
// format on a port of its own, interleaved in time as a device records them.

#include <string>
#include <vector>

#include "tests/support/pcapng_file.hpp"
#include "tests/support/tool_run.hpp"
#include "tracebuild/trace_builder.hpp"

namespace ornpcap::test {

inline ToolRun runOrn2Pcapng(const TempDir& dir, const std::vector<std::string>& args,
                             const RunOptions& options = {}) {
    return runIn(dir, ORN2PCAPNG_BINARY, args, options);
}

// The time base of the builder's default header: 2009-12-09 12:00:00 at UTC+1.
inline constexpr uint64_t kDefaultTimeBase = 1260356400;

// Realistic traffic of the six formats (ports 30 ETHERNET, 20 PPP-Sync on
// three LSNs, 21 PPP-Async on two, 40 Raw-IP on two, 3 I4B on two, 50
// Internal-UDP), merged in time order, with records the filter skips on
// exported channels: status 1, event type 22, no payload.
std::vector<tracebuild::Record> mixedPortRecords(unsigned long perPort = 240);

// The packets of one interface, in file order.
std::vector<PcapngPacketRead> packetsOf(const PcapngRead& file, uint32_t interfaceId);

}  // namespace ornpcap::test
