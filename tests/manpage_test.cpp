// The manual page renders without a warning and gives every exit status of the
// tool with the very message the tool prints for it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "app/console.hpp"
#include "app/report.hpp"
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

TEST(ManPage, RendersCleanlyAndGivesEveryExitStatusWithItsMessage) {
    if (std::system("groff --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "groff is not installed: manual page check skipped";
    }
    TempDir dir;
    // Plain text without hyphenation, so that messages stay whole.
    const std::string command = "groff -ww -man -Tutf8 -P-cbou -rHY=0 '" ORNPCAP_SOURCE_DIR
                                "/man/OrnPcap.1' >'" + dir / "page" + "' 2>'" + dir / "warnings" + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(contentOf(dir, "warnings"), "");
    const std::string page = contentOf(dir, "page");
    ASSERT_GT(page.size(), 1000u) << "the page renders (nearly) empty";

    EXPECT_NE(page.find(" 0 Success. "), std::string::npos);
    for (int code : {1, 2, 3, 4, 5, 6, 7, 11, 18, 128}) {
        console::Capture printed;
        printFailure(static_cast<ResultCode>(code), "trace", "output");
        const std::string status = code == 128 ? "128+signal" : std::to_string(code);
        EXPECT_NE(page.find(" " + status + flattened(printed.text())), std::string::npos)
            << status << flattened(printed.text());
    }
}

}  // namespace
}  // namespace ornpcap::test
