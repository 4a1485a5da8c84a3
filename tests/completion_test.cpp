// The bash completions, loaded as bash-completion loads them, on a few words.

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"

namespace ornpcap::test {
namespace {

// What bash offers for the last of the words, in a folder with a trace in it.
// The words are split as bash splits them, at blanks and at "=".
std::string complete(const std::string& program, const std::string& words) {
    TempDir dir;
    dir.write("sample.orn", Bytes{1});
    dir.write("notes.txt", Bytes{1});
    const std::string script =
        "shopt -s extglob; . '" ORNPCAP_SOURCE_DIR "/completions/" + program + "';"
        "COMP_LINE='" + program + " " + words + "'; COMP_POINT=${#COMP_LINE};"
        "COMP_WORDS=(${COMP_LINE//=/ = }); COMP_CWORD=$((${#COMP_WORDS[@]} - 1));"
        "f=$(complete -p " + program + " | sed -n 's/.*-F \\([^ ]*\\).*/\\1/p');"
        "$f; echo \"${COMPREPLY[*]}\"";
    return runIn(dir, "/bin/bash", {"-c", script}).out;
}

TEST(SuiteCompletion, EveryProgramCompletesItsOptionsAndTraces) {
    std::ifstream list(ORNPCAP_SOURCE_DIR "/scripts/programs");
    for (std::string program; std::getline(list, program);) {
        SCOPED_TRACE(program);
        EXPECT_NE(complete(program, "-"), "\n") << "no options offered";
        if (program != "OrnPcap") {
            EXPECT_NE(complete(program, "--"), "\n") << "no long options offered";
        }
    }
    EXPECT_EQ(complete("OrnPcap", "-p30 -f"), "-f1 -f2 -f3 -f4 -f5 -f6\n");
    EXPECT_EQ(complete("OrnPcap", "-l"), "-lANY -lALL\n");
    EXPECT_EQ(complete("OrnPcap", "-i"), "-isample.orn\n") << "traces only";
    EXPECT_EQ(complete("orninfo", "--j"), "--json\n");
    EXPECT_EQ(complete("orninfo", "--t"), "--tsv\n");
    EXPECT_EQ(complete("orninfo", "-- -"), "\n") << "after --, names only";
    EXPECT_EQ(complete("ornfix", "-- -"), "\n") << "after --, names only";
    EXPECT_EQ(complete("ornfix", "-f -- s"), "sample.orn\n");
    EXPECT_EQ(complete("orninfo", "s"), "sample.orn\n");
    EXPECT_EQ(complete("mktrace", "--v"), "--version\n");
    EXPECT_EQ(complete("mktrace", "-- -"), "\n") << "after --, names only";
    EXPECT_EQ(complete("mktrace", "s"), "\n") << "a scenario first";
    EXPECT_EQ(complete("mktrace", "- s"), "sample.orn\n") << "then the trace, after -";
    EXPECT_EQ(complete("mktrace", "--version -- x.scn s"), "sample.orn\n");
    EXPECT_EQ(complete("ornfix", "--d"), "--dry-run\n");
    EXPECT_EQ(complete("orn2pcapng", "-p 3=ppp"), "ppp-sync ppp-async\n");
    EXPECT_EQ(complete("orn2pcapng", "-p3=e"), "ethernet\n");
    EXPECT_EQ(complete("orn2pcapng", "-p 3=i4b s"), "sample.orn\n") << "the trace first";
}

}  // namespace
}  // namespace ornpcap::test
