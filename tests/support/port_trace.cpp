#include "tests/support/port_trace.hpp"

#include <gtest/gtest.h>

#include "base/file_io.hpp"

namespace ornpcap::test {

void writePortTrace(const TempDir& dir, unsigned long records, uint16_t lsns, size_t size,
                    size_t chunk) {
    FileHandle out(std::fopen((dir / "Trace.orn").c_str(), "wb"));
    tracebuild::TraceWriter writer(out.get(), tracebuild::HeaderSpec{}, chunk,
                                   tracebuild::BlockMode::Stored);
    Bytes payload(size, 0x11);
    payload[0] = 0x45;
    for (unsigned long n = 0; n < records; ++n) {
        EventRecord r;
        r.timeMs = static_cast<uint32_t>(n);
        r.port = 30;
        r.lsn = static_cast<uint16_t>(n % lsns);
        r.eventType = n % 2 ? kEventFrameReceived : kEventFrameSent;
        r.origLength = static_cast<uint16_t>(size);
        payload[1] = static_cast<uint8_t>(n);
        writer.addRecord(r, payload);
    }
    EXPECT_TRUE(writer.finish());
}

}  // namespace ornpcap::test
