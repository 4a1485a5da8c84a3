// Damaged traces and hostile surroundings, end to end: each class of damage
// gives its exit code and message, the trace is never changed, and any output
// left on disk is a whole file.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/support/capture_files.hpp"
#include "tests/support/damage_catalogue.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

const std::string kStatistics = "\nConversion statistics:\n";

bool isWholePcap(const Bytes& file) { return parsePcap(file).whole; }

class OrnPcapDamage : public testing::TestWithParam<size_t> {};

TEST_P(OrnPcapDamage, GivesItsCodeAndLeavesWholeFiles) {
    const DamageCase& c = damageCatalogue()[GetParam()];
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("Trace.orn", c.trace);
    const ToolRun run = runOrnPcap(dir, {"-f4", "-p3"});
    EXPECT_EQ(run.exitCode, c.ornpcapExit);
    if (c.ornpcapExit == 0) {
        EXPECT_NE(run.out.find(kStatistics), std::string::npos) << run.out;
    } else if (c.ornpcapTail.empty()) {
        EXPECT_TRUE(run.out.ends_with(" -p - Port to be extracted: 3\n")) << run.out;
    } else {
        EXPECT_TRUE(run.out.ends_with(c.ornpcapTail)) << run.out;
    }
    EXPECT_EQ(dir.read("Trace.orn"), c.trace) << "the trace must not change";
    EXPECT_EQ(dir.exists("Trace.pcap"), c.outputLeft);
    if (c.outputLeft) {
        EXPECT_TRUE(isWholePcap(dir.read("Trace.pcap")));
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, OrnPcapDamage,
                         testing::Range<size_t>(0, damageCatalogue().size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return damageCaseName(info.param);
                         });

TEST(OrnPcapSurroundings, MissingTraceFolderAsTraceAndMissingOutputFolder) {
    TempDir dir;
    EXPECT_EQ(runOrnPcap(dir, {"-f4", "-p3"}).exitCode, 2) << "no trace";
    dir.makeDir("Trace.orn");
    EXPECT_EQ(runOrnPcap(dir, {"-f4", "-p3"}).exitCode, 4) << "a folder is not a trace";

    TempDir out;
    out.write("Trace.orn", goodDamageBase());
    const ToolRun run = runOrnPcap(out, {"-f4", "-p3", "-onosuch/x.pcap"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.out.ends_with(" \n ERROR 3: file nosuch/x.pcap cannot be created !!!\n"));
}

TEST(OrnPcapSurroundings, ReadOnlyTraceConverts) {
    TempDir dir;
    const Bytes trace = goodDamageBase();
    dir.write("Trace.orn", trace);
    ASSERT_EQ(::chmod((dir / "Trace.orn").c_str(), 0444), 0);
    const ToolRun run = runOrnPcap(dir, {"-f4", "-p3"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find(kStatistics), std::string::npos);
    EXPECT_TRUE(isWholePcap(dir.read("Trace.pcap")));
    EXPECT_EQ(dir.read("Trace.orn"), trace);
}

}  // namespace
}  // namespace ornpcap::test
