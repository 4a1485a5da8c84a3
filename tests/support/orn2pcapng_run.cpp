#include "tests/support/orn2pcapng_run.hpp"

#include <algorithm>

#include "tracebuild/traffic.hpp"

namespace ornpcap::test {

using tracebuild::Record;
using tracebuild::TrafficFormat;

std::vector<Record> mixedPortRecords(unsigned long perPort) {
    struct Port {
        TrafficFormat format;
        uint16_t port;
        uint16_t lsns;
    };
    constexpr Port kPorts[] = {
        {TrafficFormat::Ethernet, 30, 1}, {TrafficFormat::PppSync, 20, 3},
        {TrafficFormat::PppAsync, 21, 2}, {TrafficFormat::RawIp, 40, 2},
        {TrafficFormat::I4b, 3, 2},       {TrafficFormat::InternalUdp, 50, 1},
    };
    std::vector<Record> records;
    uint32_t seed = 5;
    for (const Port& p : kPorts) {
        const tracebuild::TrafficSpec recipe{p.format, p.port, 0, p.lsns, perPort, seed++, 0, 10};
        tracebuild::generateTraffic(recipe, [&](const EventRecord& r, std::span<const uint8_t> b) {
            records.push_back({r, Bytes(b.begin(), b.end())});
        });
    }
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return a.header.timeMs < b.header.timeMs;
    });
    // What the filter skips, in the middle of the traffic.
    const size_t middle = records.size() / 2;
    Record status = records[middle];
    status.header.eventStatus = 1;
    Record otherEvent = records[middle + 1];
    otherEvent.header.eventType = 22;
    Record empty = records[middle + 2];
    empty.payload.clear();
    records.insert(records.begin() + middle, {status, otherEvent, empty});
    return records;
}

std::vector<PcapngPacketRead> packetsOf(const PcapngRead& file, uint32_t interfaceId) {
    std::vector<PcapngPacketRead> out;
    for (const PcapngPacketRead& p : file.packets) {
        if (p.interfaceId == interfaceId) {
            out.push_back(p);
        }
    }
    return out;
}

}  // namespace ornpcap::test
