// ornfix's manual page renders without a warning and gives every exit status
// with the very message the program prints for it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "tests/support/temp_dir.hpp"


namespace ornpcap::test {
namespace {

std::string flattened(const std::string& text) {
    return std::regex_replace(std::regex_replace(text, std::regex("\u2010|\u2212"), "-"),
                              std::regex("\\s+"), " ");
}

TEST(OrnfixManPage, RendersCleanlyAndGivesEveryExitStatusWithItsMessage) {
    if (std::system("groff --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "groff is not installed: manual page check skipped";
    }
    TempDir dir;
    const std::string command = "groff -ww -man -Tutf8 -P-cbou -rHY=0 '" ORNPCAP_SOURCE_DIR
                                "/man/ornfix.1' >'" +
                                dir / "page" + "' 2>'" + dir / "warnings" + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const Bytes warnings = dir.read("warnings");
    EXPECT_EQ(std::string(warnings.begin(), warnings.end()), "");
    const Bytes bytes = dir.read("page");
    const std::string page = flattened(std::string(bytes.begin(), bytes.end()));
    ASSERT_GT(page.size(), 3000u);
    EXPECT_NE(page.find(" 0 Success. "), std::string::npos);
    EXPECT_EQ(page.find(" 1 A usage error"), std::string::npos) << "a usage error is 2";
    EXPECT_NE(page.find("Or a usage error (see CONVENTIONS)"), std::string::npos);
    EXPECT_NE(page.find("ornfix: unknown option --frob (try 'ornfix --help')"), std::string::npos);
    for (const char* entry : {" 2 Unable to OPEN Source file.", " 3 Unable to OPEN/CREATE Target file.",
                              " 4 Unable to READ Source file.", " 6 Unable to WRITE Target file.",
                              " 15 Unable to repair Source file.",
                              " 16 Source file is GOOD and doesn't need to be repaired.",
                              " 18 Allocation failure. Not enough memory to execute the program."}) {
        EXPECT_NE(page.find(entry), std::string::npos) << entry;
    }
    EXPECT_NE(page.find(" 128+signal "), std::string::npos);
}

}  // namespace
}  // namespace ornpcap::test
