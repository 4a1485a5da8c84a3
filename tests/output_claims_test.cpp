// A run writes only into files it creates: what else stands at a name it
// could write (a link, a device, a FIFO, an old output it cannot delete) is
// left as it is, and the run ends with 3 before writing anything, saying
// which name and why. The output the user named is written through as
// `tcpdump -w` does, but no names are made beside a device or a FIFO.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "tests/support/capture_files.hpp"
#include "tests/support/port_trace.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

using Lines = std::vector<std::string>;

std::string cannotCreate(const std::string& name) {
    return " \n ERROR 3: file " + name + " cannot be created !!!\n";
}

struct Refusal {
    const char* name;
    Lines args;
    std::string standing;  // what stands at the refused name
    std::string said;      // standard error, whole
};

// Makes what the case needs in the folder: a link, a FIFO or a device node.
bool prepare(const TempDir& dir, const std::string& standing) {
    if (standing == "link") {
        dir.write("archive.pcap", Bytes(24, 0xA1));
        return ::symlink("archive.pcap", (dir / "Trace_0001.pcap").c_str()) == 0;
    }
    if (standing == "vn link") {
        dir.write("archive.vn", Bytes{0x05, 'V', 'N', 'F'});
        return ::symlink("archive.vn", (dir / "Trace_0001.vn").c_str()) == 0;
    }
    if (standing == "fifo") {
        return ::mkfifo((dir / "out.pcap").c_str(), 0600) == 0;
    }
    return ::mknod((dir / "null.pcap").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
}

TEST(OrnPcapOutputClaims, WhatTheRunDidNotCreateIsNeitherAppendedToNorTakenOver) {
    const Refusal cases[] = {
        {"link at an ALL-mode name", {"-f2", "-p30", "-lALL", "-d0"}, "link", ""},
        {"link at an ALL-mode name", {"-f4", "-p30", "-lALL"}, "link",
         "OrnPcap: Trace_0001.pcap: is a symbolic link, not a file this run created: nothing is "
         "written to it (exit 3)\n"},
        {"link at a .vn name", {"-f2", "-p30", "-lALL"}, "vn link",
         "OrnPcap: Trace_0001.vn: is a symbolic link, not a file this run created: nothing is "
         "written to it (exit 3)\n"},
        {"FIFO output, ALL mode", {"-f4", "-p30", "-lALL", "-oout.pcap"}, "fifo",
         "OrnPcap: out.pcap: is a FIFO: the files named after it (_XXXX, _In, _Out) are not made "
         "beside it (exit 3)\n"},
        {"FIFO output, one direction", {"-f4", "-p30", "-d1", "-oout.pcap"}, "fifo",
         "OrnPcap: out.pcap: is a FIFO: the files named after it (_XXXX, _In, _Out) are not made "
         "beside it (exit 3)\n"},
        {"device output, ALL mode", {"-f4", "-p30", "-lALL", "-onull.pcap"}, "device",
         "OrnPcap: null.pcap: is a device: the files named after it (_XXXX, _In, _Out) are not "
         "made beside it (exit 3)\n"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.args[0]);
        TempDir dir;
        writePortTrace(dir, 40, 4, 60);
        if (!prepare(dir, c.standing)) {
            ASSERT_EQ(c.standing, "device") << "cannot make the " << c.standing;
            continue;  // no device node can be made here (not root)
        }
        const Lines before = dir.list();
        const Bytes archive = dir.exists("archive.pcap") ? dir.read("archive.pcap") : Bytes{};
        const ToolRun run = runOrnPcap(dir, c.args);
        if (dir.exists("archive.pcap")) {
            EXPECT_EQ(dir.read("archive.pcap"), archive);
        }
        if (c.said.empty()) {
            // -d0 names Trace_0001_In.pcap: the link is no name of that run.
            EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
            continue;
        }
        EXPECT_EQ(run.exitCode, 3) << run.out;
        EXPECT_EQ(dir.list(), before) << "nothing is written when the run is refused";
        EXPECT_EQ(run.err, c.said);
        const std::string name = c.said.substr(9, c.said.find(": ", 9) - 9);
        EXPECT_TRUE(run.out.ends_with(cannotCreate(name))) << run.out;
    }
}

// Written through: the output the user named, when it is a link, the way
// `tcpdump -w` writes through one; made anew, never appended to.
TEST(OrnPcapOutputClaims, TheNamedOutputIsWrittenThroughALinkAsANewFile) {
    TempDir dir;
    writePortTrace(dir, 40, 4, 60);
    dir.write("old.vn", Bytes(300, 0x55));
    ASSERT_EQ(::symlink("old.vn", (dir / "Trace.vn").c_str()), 0);
    const ToolRun run = runOrnPcap(dir, {"-f2", "-p30", "-lANY"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const VnFile vn = readVn(dir.read("old.vn"));
    EXPECT_EQ(vn.fault, "");
    EXPECT_EQ(vn.packets.size(), 40u) << "a new file of the run's packets alone";
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "Trace.vn").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// An old output that cannot be deleted would mix with the new packets.
TEST(OrnPcapOutputClaims, AnOldOutputThatCannotBeDeletedEndsTheRunBeforeWriting) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);  // for the run as nobody
    writePortTrace(dir, 40, 4, 60);
    dir.makeDir("out");
    dir.write("out/Trace.pcap", Bytes(24, 0x77));
    dir.write("out/Trace_0002.pcap", Bytes(24, 0x78));
    ASSERT_EQ(::chmod((dir / "out").c_str(), 0555), 0);
    RunOptions options;
    options.unprivileged = true;
    const ToolRun run = runOrnPcap(dir, {"-f4", "-p30", "-lALL", "-oout/Trace.pcap"}, options);
    ::chmod((dir / "out").c_str(), 0755);
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
    EXPECT_TRUE(run.out.ends_with(cannotCreate("out/Trace.pcap"))) << run.out;
    EXPECT_EQ(run.err, "OrnPcap: out/Trace.pcap: an old output that cannot be deleted: old and new "
                       "packets would mix: Permission denied (exit 3)\n");
    EXPECT_EQ(dir.list("out"), (Lines{"Trace.pcap", "Trace_0002.pcap"}));
    EXPECT_EQ(dir.read("out/Trace.pcap"), Bytes(24, 0x77));
}

}  // namespace
}  // namespace ornpcap::test
