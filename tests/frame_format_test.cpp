// The format table that every program and output reads: each name leads back
// to its row, and each output's view of a format agrees with the others.

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "frames/frame_format.hpp"
#include "frames/pcapng_framing.hpp"

namespace ornpcap::test {
namespace {

TEST(FramesTable, NamesLeadBackToTheirRowAndOutputsAgree) {
    std::set<std::string> names, cliNames;
    for (const FrameFormatRow& row : frameFormats()) {
        SCOPED_TRACE(std::string(row.name));
        EXPECT_TRUE(names.insert(std::string(row.name)).second);
        EXPECT_TRUE(cliNames.insert(std::string(row.cliName)).second);
        EXPECT_EQ(frameFormatByCliName(row.cliName), &row);
        std::string upper(row.cliName);
        for (char& c : upper) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        EXPECT_EQ(frameFormatByCliName(upper), &row) << "names are matched without case";
        EXPECT_EQ(&frameFormatRow(row.format), &row);
        ASSERT_NE(row.pcapngFrame, nullptr) << "pcapng holds every format";
        ASSERT_NE(row.fit, nullptr) << "the recogniser judges every format";
        // Where pcap holds a format, pcapng writes it with the same link type.
        EXPECT_EQ(row.pcapFrame != nullptr, row.pcapLinkType != 0);
        if (row.pcapFrame != nullptr) {
            EXPECT_EQ(row.pcapLinkType, row.pcapngLinkType);
        }
        EXPECT_LE(pcapngLongestPacket(row.format), kPcapngFrameRoom);
        EXPECT_GE(pcapngLongestPacket(row.format), row.pcapngLongest);
    }
    EXPECT_EQ(frameFormatByCliName("ppp"), nullptr);
    EXPECT_EQ(frameFormatByCliName(""), nullptr);
    EXPECT_FALSE(isValidFrameFormat(0));
    EXPECT_FALSE(isValidFrameFormat(static_cast<int32_t>(frameFormats().size()) + 1));
}

}  // namespace
}  // namespace ornpcap::test
