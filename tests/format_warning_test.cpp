// OrnPcap's warning on a -f that does not fit the port's frames: one line on
// standard error when the frames clearly look like another format, nothing
// when they fit or say too little; standard output and exit code as without it.

#include <gtest/gtest.h>

#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

void writeSample(const TempDir& dir) {
    dir.write("Trace.orn",
              tracebuild::readFile(std::string(ORNPCAP_SOURCE_DIR) + "/examples/Trace.orn"));
}

TEST(OrnPcapFormatWarning, NoneForTheSamplesPortsWithTheirFormat) {
    TempDir dir;
    writeSample(dir);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-f1", "-p30"}, {"-f2", "-p20", "-lALL"}, {"-f2", "-p20", "-l1", "-d0"},
          {"-f3", "-p21", "-l0"}, {"-f3", "-p21", "-lANY", "-d1"}, {"-f4", "-p40"}, {"-f5", "-p3"},
          {"-f6", "-p50"}}) {
        const ToolRun run = runOrnPcap(dir, args);
        EXPECT_EQ(run.exitCode, 0) << args[1];
        EXPECT_EQ(run.err, "") << args[1];
    }
}

TEST(OrnPcapFormatWarning, OneLineWhenTheFramesLookLikeAnotherFormat) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* warning;
    } cases[] = {
        {{"-f1", "-p20"}, 0, "port 20 look like PPP-Sync (confidence 1.00), not ETHERNET: use -f2"},
        {{"-f4", "-p50"}, 0, "port 50 look like Internal-UDP (confidence 0.88), not Raw-IP: use -f6"},
        {{"-f2", "-p21", "-l0"}, 0, "port 21 look like PPP-Async (confidence 0.94), not PPP-Sync: use -f3"},
        {{"-f5", "-p30"}, 0, "port 30 look like ETHERNET (confidence 1.00), not I4B ISDN: use -f1"},
        // Nothing converts: the warning says why, then the run says what it found.
        {{"-f1", "-p3"}, 1,
         "port 3 look like I4B ISDN (confidence 1.00), not ETHERNET: use -f5\n"
         "OrnPcap: Trace.orn: the 12 frames of port 3 that the filter took were all refused by "
         "the ETHERNET framing: is -f the port's format? (exit 1)"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeSample(dir);
        const ToolRun run = runOrnPcap(dir, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.warning;
        EXPECT_EQ(run.err, std::string("OrnPcap: Trace.orn: the frames of ") + c.warning + "\n");
        EXPECT_EQ(run.out.find("look like"), std::string::npos);
    }
}

// Two LCP frames on a port: PPP-Sync, but with a confidence of 0.75, too
// little to contradict -f1.
TEST(OrnPcapFormatWarning, NoneWhenTheFramesSayTooLittle) {
    const Bytes lcp = {0xff, 0x03, 0xc0, 0x21, 0x01, 0x01, 0x00, 0x0e, 0x01,
                       0x04, 0x05, 0xdc, 0x05, 0x06, 0x3c, 0x1d, 0x9e, 0x01};
    std::vector<tracebuild::Record> records(2);
    for (size_t n = 0; n < records.size(); ++n) {
        records[n].header.port = 7;
        records[n].header.eventType = n % 2 ? kEventFrameReceived : kEventFrameSent;
        records[n].header.origLength = static_cast<uint16_t>(lcp.size());
        records[n].payload = lcp;
    }
    TempDir dir;
    dir.write("Trace.orn", tracebuild::traceOfRecords(records));
    const ToolRun run = runOrnPcap(dir, {"-f1", "-p7"});
    EXPECT_EQ(run.err, "OrnPcap: Trace.orn: the 2 frames of port 7 that the filter took were all "
                       "refused by the ETHERNET framing: is -f the port's format? (exit 1)\n")
        << "no warning of the format, only why nothing was converted";
}

}  // namespace
}  // namespace ornpcap::test
