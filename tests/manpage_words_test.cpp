// Every manual page renders with its words apart: a font macro (.BR, .IR,
// ...) joins its arguments without a blank, so words written as arguments of
// one run together ("Trace.orn),sothatthecommands"). A rendered word that the
// page's source never writes, but that splits into words it does write, is
// such a run.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <set>

#include "tests/support/man_page.hpp"
#include "tests/support/temp_dir.hpp"

namespace ornpcap::test {
namespace {

// The runs of letters of a text, in lower case.
std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text + " ") {
        if (std::isalpha(static_cast<unsigned char>(c))) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

// The words of a page's source, its escapes (\fB, \(aq, \-, ...) taken as blanks.
std::set<std::string> vocabularyOf(const std::string& path) {
    std::ifstream in(path);
    std::string source{std::istreambuf_iterator<char>(in), {}};
    for (size_t at = source.find('\\'); at != std::string::npos; at = source.find('\\', at)) {
        const size_t kind = at + 1 < source.size() ? source[at + 1] : ' ';
        const size_t length = kind == '(' ? 4 : (kind == 'f' || kind == '*') ? 3 : 2;
        source.replace(at, std::min(length, source.size() - at), " ");
    }
    const std::vector<std::string> words = wordsOf(source);
    return {words.begin(), words.end()};
}

// Whether the word is two words or more of the page run together (each of
// two letters at least, or "a").
bool runsTogether(const std::string& word, const std::set<std::string>& vocabulary) {
    if (vocabulary.count(word) != 0) {
        return false;
    }
    std::vector<int> most(word.size() + 1, -1);  // words the first i letters split into
    most[0] = 0;
    for (size_t i = 0; i < word.size(); ++i) {
        for (size_t j = i + 1; most[i] >= 0 && j <= word.size(); ++j) {
            const std::string part = word.substr(i, j - i);
            if ((part.size() >= 2 || part == "a") && vocabulary.count(part) != 0) {
                most[j] = std::max(most[j], most[i] + 1);
            }
        }
    }
    return most.back() >= 2;
}

std::vector<std::string> runTogetherWords(const std::string& path) {
    const RenderedPage page = renderManFile(path);
    EXPECT_TRUE(page.rendered) << path << ": " << page.warnings;
    const std::set<std::string> vocabulary = vocabularyOf(path);
    std::set<std::string> found;
    for (const std::string& word : wordsOf(page.text)) {
        if (runsTogether(word, vocabulary)) {
            found.insert(word);
        }
    }
    return {found.begin(), found.end()};
}

TEST(SuiteManPageWords, NoPageRunsWordsTogether) {
    if (!renderManPage("OrnPcap.1").groffInstalled) {
        GTEST_SKIP() << "groff is not installed: manual page check skipped";
    }
    std::ifstream list(ORNPCAP_SOURCE_DIR "/scripts/programs");
    size_t pages = 0;
    for (std::string program; std::getline(list, program); ++pages) {
        const std::string path = ORNPCAP_SOURCE_DIR "/man/" + program + ".1";
        EXPECT_EQ(runTogetherWords(path), std::vector<std::string>{}) << path;
    }
    EXPECT_EQ(pages, 6u);
}

// The check finds the fault it is for, and takes an option joined to its
// value (-itrace) or a name built of parts (trace_pport.pcap) for no fault.
TEST(SuiteManPageWords, FindsTheWordsAFontMacroRunsTogether) {
    if (!renderManPage("OrnPcap.1").groffInstalled) {
        GTEST_SKIP() << "groff is not installed: manual page check skipped";
    }
    TempDir dir;
    const std::string page =
        ".TH T 1\n.SH NAME\nt \\- a test\n.SH DESCRIPTION\n"
        ".BI \\-i trace\nreads\n.IR trace \\fB_p\\fP port \\fB.pcap\\fP\nfor port 30 of\n"
        ".IR Trace.orn ), so that the commands of a trace\ncan run.\n";
    dir.write("t.1", Bytes(page.begin(), page.end()));
    EXPECT_EQ(runTogetherWords(dir / "t.1"), std::vector<std::string>{"sothatthecommandsofatrace"});
}

}  // namespace
}  // namespace ornpcap::test
