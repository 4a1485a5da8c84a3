// A record's time as every companion prints it: in UTC where a version 8
// header gives the device clock's offset, on the device clock before.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "suite/record_time.hpp"
#include "tracebuild/trace_builder.hpp"

namespace ornpcap::test {
namespace {

TraceClock clockOf(const tracebuild::HeaderSpec& recipe) {
    const auto bytes = tracebuild::buildHeader(recipe);
    std::array<uint8_t, kHeaderSizeV8> head{};
    std::copy(bytes.begin(), bytes.end(), head.begin());
    return traceClock(widenHeader(head, static_cast<uint32_t>(bytes.size())), recipe.versionMajor);
}

TEST(SuiteRecordTime, UtcWhereTheHeaderGivesTheOffsetElseTheDeviceClock) {
    tracebuild::HeaderSpec recipe;  // 2009-12-09 12:00:00, UTC+01:00
    const TraceClock v8 = clockOf(recipe);
    EXPECT_TRUE(v8.utc);
    EXPECT_EQ(recordTime(v8, 1250), "2009-12-09 11:00:01.250 UTC");
    EXPECT_EQ(recordTimeBare(v8, 1250), "2009-12-09 11:00:01.250");
    EXPECT_EQ(recordTimeIso(v8, 1250), "2009-12-09T11:00:01.250Z");
    EXPECT_EQ(clockSeconds(v8, 1250), 1260356401u) << "the pcap time stamp";
    EXPECT_STREQ(clockName(v8), "UTC");

    recipe.utcOffset = {0xFF, 5, 30, 0};  // UTC-05:30: UTC is later
    recipe.hour = 20;
    EXPECT_EQ(recordTime(clockOf(recipe), 3600 * 1000 + 7), "2009-12-10 02:30:00.007 UTC")
        << "past midnight";

    for (const uint16_t version : {7, 6, 5}) {
        recipe.versionMajor = version;
        const TraceClock device = clockOf(recipe);
        EXPECT_FALSE(device.utc) << version;
        EXPECT_EQ(recordTime(device, 999), "2009-12-09 20:00:00.999 (device clock)") << version;
        EXPECT_EQ(recordTimeIso(device, 999), "2009-12-09T20:00:00.999") << "no zone";
        EXPECT_STREQ(clockName(device), "device clock");
    }
}

}  // namespace
}  // namespace ornpcap::test
