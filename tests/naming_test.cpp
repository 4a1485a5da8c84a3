// Output names and the clean-up of old outputs.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ornpcap/naming.hpp"
#include "ornpcap/plan.hpp"
#include "tests/support/temp_dir.hpp"

using namespace ornpcap::converter;

namespace ornpcap::test {
namespace {

// The name the plan of these settings gives the output of the LSN.
std::string nameFor(FrameFormat format, Direction direction, uint16_t lsn,
                    const std::string& output) {
    ConversionSettings s;
    s.format = format;
    s.direction = direction;
    s.outputName = output;
    return makePlan(s).naming.nameFor(lsn);
}

TEST(OrnPcapOutputNaming, SuffixesAndExtensions) {
    using enum FrameFormat;
    EXPECT_EQ(nameFor(Ethernet, Direction::InOut, 0, "Trace.pcap"), "Trace.pcap");
    EXPECT_EQ(nameFor(Ethernet, Direction::InOut, 0x1A, "Trace.pcap"), "Trace_001A.pcap");
    EXPECT_EQ(nameFor(PppSync, Direction::In, 1, "Trace.pcap"), "Trace_0001_In.pcap");
    EXPECT_EQ(nameFor(RawIp, Direction::Out, 0, "Trace.pcap"), "Trace_Out.pcap");
    EXPECT_EQ(nameFor(PppSync, Direction::InOut, 1, "Trace.pcap"), "Trace_0001.vn");
    EXPECT_EQ(nameFor(PppAsync, Direction::InOut, 1, "capture.cap"), "capture_0001.cap");
    EXPECT_EQ(nameFor(PppAsync, Direction::In, 0, "Trace.PCAP"), "Trace_In.PCAP")
        << "the .vn extension is for both directions only";
    EXPECT_EQ(nameFor(I4bIsdn, Direction::InOut, 0, "capture.PCAP"), "capture.i4b");
    EXPECT_EQ(nameFor(I4bIsdn, Direction::InOut, 0, "capture.cap"), "capture.cap");
    EXPECT_EQ(nameFor(Ethernet, Direction::InOut, 5, "out"), "out_0005");
    EXPECT_EQ(nameFor(Ethernet, Direction::Out, 0xFFFF, "dir.d/sub/x"), "dir.d/sub/x_FFFF_Out");
    EXPECT_EQ(nameFor(Ethernet, Direction::InOut, 2, "a.b.pcap"), "a.b_0002.pcap");
}

TEST(OrnPcapOutputNaming, OutputNameTakesTheConverterExtension) {
    EXPECT_EQ(OutputNaming("Trace.pcap", ".vn", Direction::InOut).outputName(), "Trace.vn");
    EXPECT_EQ(OutputNaming("Trace.Pcap", ".i4b", Direction::InOut).outputName(), "Trace.i4b");
    EXPECT_EQ(OutputNaming("Trace.pcap", "", Direction::In).outputName(), "Trace.pcap");
    EXPECT_EQ(OutputNaming("Trace.vn", ".i4b", Direction::InOut).outputName(), "Trace.vn");
}

TEST(OrnPcapOutputNaming, SplitsAtTheFinalComponent) {
    const NameParts parts = splitName("dir.x/sub/.pcap");
    EXPECT_EQ(parts.directory, "dir.x/sub/");
    EXPECT_EQ(parts.baseName, "");
    EXPECT_EQ(parts.extension, ".pcap");
    EXPECT_EQ(splitName("sub.d/z").extension, "");
}

TEST(OrnPcapOutputNaming, RecognisesOnlyNamesItCanProduce) {
    const NameParts trace = splitName("Trace.pcap");
    for (const char* yes : {"Trace.pcap", "Trace_0001.pcap", "Trace_In.pcap", "Trace_001A_Out.pcap",
                            "Trace_FFFF.pcap"}) {
        EXPECT_TRUE(isOutputNameOf(trace, yes)) << yes;
    }
    for (const char* no : {"Trace.vn", "Trace_backup.pcap", "Trace_abcd.pcap", "Trace_00011.pcap",
                           "Trace_In_0001.pcap", "Trace_0001_In_Out.pcap", "TraceX.pcap",
                           "Trace.PCAP", "Trace.pcap.bak"}) {
        EXPECT_FALSE(isOutputNameOf(trace, no)) << no;
    }
    const NameParts bare = splitName("capture");
    EXPECT_TRUE(isOutputNameOf(bare, "capture_0001_In"));
    EXPECT_FALSE(isOutputNameOf(bare, "capture.pcap"));
    EXPECT_FALSE(isOutputNameOf(bare, "captured"));
}

bool clearOld(const std::string& outputName, const FileIdentity& keep) {
    OutputRefusal refusal;
    return clearOldOutputs(outputName, keep, refusal);
}

TEST(OrnPcapClearOldOutputs, DeletesOldOutputsAndKeepsTheRest) {
    TempDir dir;
    for (const char* name : {"Trace.pcap", "Trace_0001.pcap", "Trace_In.pcap", "Trace.vn",
                             "Trace_backup.pcap", "other.pcap"}) {
        dir.write(name, Bytes{1});
    }
    EXPECT_TRUE(clearOld(dir / "Trace.pcap", FileIdentity{}));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"Trace.vn", "Trace_backup.pcap", "other.pcap"}));
    EXPECT_TRUE(clearOld(dir / "Trace.pcap", FileIdentity{})) << "nothing to delete is fine";
}

TEST(OrnPcapClearOldOutputs, NeverDeletesTheTrace) {
    TempDir dir;
    dir.write("Trace.pcap", Bytes{1, 2, 3});  // the trace, by an unlucky name
    dir.write("Trace_In.pcap", Bytes{4});
    ASSERT_EQ(::symlink("Trace.pcap", (dir / "Trace_Out.pcap").c_str()), 0);
    const FileIdentity trace = identityOfPath(dir / "Trace.pcap");
    EXPECT_TRUE(clearOld(dir / "Trace.pcap", trace));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"Trace.pcap", "Trace_Out.pcap"}));
    EXPECT_EQ(dir.read("Trace.pcap"), (Bytes{1, 2, 3}));
}

TEST(OrnPcapClearOldOutputs, LeavesWhatIsNotARegularFile) {
    TempDir dir;
    dir.makeDir("Trace.pcap");
    dir.write("elsewhere", Bytes{1});
    ASSERT_EQ(::symlink("elsewhere", (dir / "Trace_0001.pcap").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "Trace_0002.pcap").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "Trace_In.pcap").c_str(), 0600), 0);
    dir.write("Trace_Out.pcap", Bytes{2});
    EXPECT_TRUE(clearOld(dir / "Trace.pcap", FileIdentity{}));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"Trace.pcap", "Trace_0001.pcap",
                                                     "Trace_0002.pcap", "Trace_In.pcap",
                                                     "elsewhere"}));
    EXPECT_EQ(dir.read("elsewhere"), Bytes{1});
}

TEST(OrnPcapClearOldOutputs, StopsAtTheFirstFailure) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may delete from a read-only folder";
    }
    TempDir dir;
    dir.makeDir("out");
    dir.write("out/Trace.pcap", Bytes{1});
    ASSERT_EQ(::chmod((dir / "out").c_str(), 0555), 0);
    EXPECT_FALSE(clearOld(dir / "out/Trace.pcap", FileIdentity{}));
    ASSERT_EQ(::chmod((dir / "out").c_str(), 0755), 0);
    EXPECT_TRUE(dir.exists("out/Trace.pcap"));
}

}  // namespace
}  // namespace ornpcap::test
