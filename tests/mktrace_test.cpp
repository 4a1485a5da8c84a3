// mktrace as a command: help, version, standard streams, a scenario's errors.

#include <gtest/gtest.h>

#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

ToolRun mktrace(const TempDir& dir, const std::vector<std::string>& args) {
    return runIn(dir, MKTRACE_BINARY, args);
}

TEST(Mktrace, FollowsTheConventionsOfTheSuite) {
    TempDir dir;
    const ToolRun help = mktrace(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: mktrace ")) << help.out;
    EXPECT_EQ(mktrace(dir, {"-h"}).out, help.out);
    const ToolRun version = mktrace(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.starts_with("mktrace (OrnPcap suite) ")) << version.out;
    const ToolRun usage = mktrace(dir, {"only-one"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_TRUE(usage.err.starts_with("mktrace: usage: ")) << usage.err;
}

TEST(Mktrace, WritesToStandardOutputAndNamesTheBadLine) {
    TempDir dir;
    const std::string sample = std::string(ORNPCAP_SOURCE_DIR) + "/examples/";
    const ToolRun piped = mktrace(dir, {sample + "sample.scn", "-"});
    EXPECT_EQ(piped.exitCode, 0);
    const Bytes bundled = tracebuild::readFile(sample + "Trace.orn");
    EXPECT_EQ(piped.out, std::string(bundled.begin(), bundled.end()));
    EXPECT_EQ(piped.err, "mktrace: -: 63 records in 9 blocks\n");

    dir.write("bad.scn", Bytes{'v', 'e', 'r', 's', 'i', 'o', 'n', ' ', '9', '\n'});
    const ToolRun bad = mktrace(dir, {"bad.scn", "out.orn"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "mktrace: bad.scn: line 1: cannot read the version line\n");
}

// A trailer counts 65535 blocks: a scenario that needs more leaves no trace
// whose count wrapped, and an older trace of the name stays as it was.
TEST(Mktrace, MoreBlocksThanATrailerCountsLeaveNoTrace) {
    TempDir dir;
    const std::string scenario = "blocks 64 stored\nbulk count=50000 port=1 lsn=0 size=64\n";
    dir.write("many.scn", Bytes(scenario.begin(), scenario.end()));
    dir.write("kept.orn", Bytes{1, 2, 3});
    for (const char* name : {"new.orn", "kept.orn"}) {
        SCOPED_TRACE(name);
        const ToolRun run = mktrace(dir, {"many.scn", name});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "mktrace: many.scn: more than the 65535 blocks (and 4 GiB) a trailer "
                           "counts: use larger blocks\n");
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"kept.orn", "many.scn"}));
    }
    EXPECT_EQ(dir.read("kept.orn"), (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace ornpcap::test
