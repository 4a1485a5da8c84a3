// The manual page renders without a warning and gives every exit status of the
// tool with the very message the tool prints for it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>

#include "tests/support/man_page.hpp"
#include "tests/support/temp_dir.hpp"


namespace ornpcap::test {
namespace {

// Runs of blanks and line breaks as one blank, typographic hyphens and minus signs as '-'.
std::string flattened(const std::string& text) {
    return std::regex_replace(std::regex_replace(text, std::regex("\u2010|\u2212"), "-"),
                              std::regex("\\s+"), " ");
}

std::string contentOf(const TempDir& dir, const std::string& name) {
    const Bytes bytes = dir.read(name);
    return flattened(std::string(bytes.begin(), bytes.end()));
}

TEST(OrnPcapManPage, RendersCleanlyAndGivesEveryExitStatusWithItsMessage) {
    const RenderedPage rendered = renderManPage("OrnPcap.1");
    if (!rendered.groffInstalled) {
        GTEST_SKIP() << "groff is not installed: manual page check skipped";
    }
    ASSERT_TRUE(rendered.rendered);
    EXPECT_EQ(flattened(rendered.warnings), "");
    const std::string page = flattened(rendered.text);
    ASSERT_GT(page.size(), 1000u) << "the page renders (nearly) empty";

    EXPECT_NE(page.find(" 0 Success. "), std::string::npos);
    for (const char* status :
         {" 1 NO EVENTS WERE FOUND. Target file(s) deleted.",
          " 2 ERROR 2: file trace cannot be opened !!!",
          " 3 ERROR 3: file output cannot be created !!!", " 4 Unable to READ Source file.",
          " 6 Unable to WRITE Target file.",
          " 7 INVALID Source file format or BAD Source file version.",
          " 11 INVALID Source file format or BAD Source file version.",
          " 18 Allocation failure. Not enough memory to execute the program.",
          " 128+signal CONVERSION INTERRUPTED. Target file(s) completed up to the last record."}) {
        EXPECT_NE(page.find(status), std::string::npos) << status;
    }
}

// Every program's page: mandoc's lint and groff's warnings find nothing, and
// it points to the others and to the Wireshark tools.
TEST(OrnPcapManPage, EveryProgramHasAPageThatLintsClean) {
    if (std::system("command -v mandoc >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "mandoc is not installed: manual page lint skipped";
    }
    const std::string man = ORNPCAP_SOURCE_DIR "/man/";
    std::ifstream list(ORNPCAP_SOURCE_DIR "/scripts/programs");
    for (std::string program; std::getline(list, program);) {
        SCOPED_TRACE(program);
        TempDir dir;
        const std::string page = man + program + ".1";
        const std::string lint = "mandoc -T lint -W warning '" + page + "' >'" + dir / "lint" +
                                 "' 2>&1; groff -ww -man -Tutf8 -P-cbou -rHY=0 '" + page + "' 2>>'" +
                                 dir / "lint" + "' >'" + dir / "page" + "'";
        ASSERT_EQ(std::system(lint.c_str()), 0) << lint;
        EXPECT_EQ(contentOf(dir, "lint"), "");
        const std::string text = contentOf(dir, "page");
        for (const char* other : {"tshark(1)", "capinfos(1)", "editcap(1)", "OrnPcap(1)",
                                  "orninfo(1)", "ornfix(1)", "orn2pcapng(1)", "mktrace(1)"}) {
            if (program + "(1)" != other) {
                EXPECT_NE(text.find(other), std::string::npos) << other;
            }
        }
    }
}

}  // namespace
}  // namespace ornpcap::test
