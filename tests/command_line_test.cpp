// The command line every companion reads through suite/command_line: what
// getopt_long takes (letters combined, values joined or apart, "--", names
// among the options) and the words of each kind of usage error.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "suite/command_line.hpp"

namespace ornpcap::test {
namespace {

using command_line::OptionReader;

constexpr int kVersion = 256;
constexpr int kVerbose = 257;
const option kOptions[] = {
    {"force", no_argument, nullptr, 'f'},     {"dry-run", no_argument, nullptr, 'n'},
    {"port", required_argument, nullptr, 'p'}, {"version", no_argument, nullptr, kVersion},
    {"verbose", no_argument, nullptr, kVerbose}, {nullptr, 0, nullptr, 0},
};

// Every option as "letter[=value]" (long-only ones by their value), then
// "| " and the names; or "error: " and the problem.
std::string read(std::vector<const char*> args) {
    args.insert(args.begin(), "prog");
    OptionReader reader(static_cast<int>(args.size()), args.data(), "fnp:", kOptions);
    std::string seen;
    for (int c; (c = reader.next()) != -1;) {
        if (c == '?') {
            return "error: " + reader.problem();
        }
        seen += c < 256 ? std::string(1, static_cast<char>(c)) : std::to_string(c);
        seen += reader.value() != nullptr ? "=" + std::string(reader.value()) + " " : " ";
    }
    seen += "|";
    for (const std::string& name : reader.operands()) {
        seen += " " + name;
    }
    return seen;
}

TEST(SuiteCommandLine, ReadsOptionsAsGetoptLongDoes) {
    EXPECT_EQ(read({"-fn", "a.orn"}), "f n | a.orn");
    EXPECT_EQ(read({"-nfp30"}), "n f p=30 |");
    EXPECT_EQ(read({"-p", "30", "--port=31", "--port", "32"}), "p=30 p=31 p=32 |");
    EXPECT_EQ(read({"a.orn", "--force", "b.orn", "-n"}), "f n | a.orn b.orn")
        << "options after names";
    EXPECT_EQ(read({"-f", "--", "-n", "--port=1"}), "f | -n --port=1");
    EXPECT_EQ(read({"-", "-f"}), "f | -") << "- names standard input";
    EXPECT_EQ(read({"--for", "--dry", "--vers"}), "f n 256 |") << "unique abbreviations";
    EXPECT_EQ(read({"-p", "-n"}), "p=-n |") << "a value may begin with -";
}

TEST(SuiteCommandLine, SaysEachKindOfUsageErrorInWords) {
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{"-x"}, "unknown option -x"},
        {{"-fxn"}, "unknown option -x"},
        {{"--force", "-nx"}, "unknown option -x"},
        {{"--frob"}, "unknown option --frob"},
        {{"--frob=3", "a.orn"}, "unknown option --frob"},
        {{"-f", "-p"}, "option -p needs a value"},
        {{"-fp"}, "option -p needs a value"},
        {{"a.orn", "--port"}, "option --port needs a value"},
        {{"--force=yes"}, "option --force takes no value"},
        {{"--version=2"}, "option --version takes no value"},
        {{"--ver"}, "option --ver is ambiguous"},
    };
    for (const auto& [args, problem] : cases) {
        EXPECT_EQ(read(args), "error: " + problem) << args.front();
    }
}

TEST(SuiteCommandLine, EachReaderStartsAfreshAndLeavesTheArgumentsAsTheyWere) {
    std::vector<const char*> args = {"prog", "a.orn", "-f", "b.orn"};
    const std::vector<const char*> before = args;
    for (int round = 0; round < 2; ++round) {
        OptionReader reader(static_cast<int>(args.size()), args.data(), "f", kOptions);
        EXPECT_EQ(reader.next(), 'f');
        EXPECT_EQ(reader.next(), -1);
        EXPECT_EQ(reader.operands(), (std::vector<std::string>{"a.orn", "b.orn"}));
    }
    EXPECT_EQ(args, before) << "getopt_long permutes a copy";
    EXPECT_EQ(read({"-x"}), "error: unknown option -x");
    EXPECT_EQ(read({"-f"}), "f |") << "after a reader that stopped at an error";
}

TEST(SuiteCommandLine, NamesTheFirstNameMissingOrTooMany) {
    using command_line::namesProblem;
    const std::vector<std::string> none, one{"a.scn"}, two{"a.scn", "b.orn"},
        three{"a.scn", "b.orn", "c.orn"};
    EXPECT_EQ(namesProblem(none, {"scenario", "trace"}, 2), "no scenario given");
    EXPECT_EQ(namesProblem(one, {"scenario", "trace"}, 2), "no trace given");
    EXPECT_EQ(namesProblem(two, {"scenario", "trace"}, 2), "");
    EXPECT_EQ(namesProblem(three, {"scenario", "trace"}, 2), "too many names: c.orn");
    EXPECT_EQ(namesProblem(one, {"trace"}, 2), "");
    EXPECT_EQ(namesProblem(three, {"trace"}, SIZE_MAX), "");
}

}  // namespace
}  // namespace ornpcap::test
