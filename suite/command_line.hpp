#pragma once
// The command line of every companion program, read the same way: getopt_long
// (short options combine, "-fn"; a value joins its option, "-p30",
// "--port=30", or follows it, "-p 30"; "--" ends the options; options and
// names may come in any order), with getopt_long's own messages silenced so
// that each program says a usage error in one line of its own:
//
//   ornfix: unknown option --frob (try 'ornfix --help')
//
// and ends with kUsageStatus. -h/--help and --version print on standard
// output and end with 0; that is each program's own switch.

#include <getopt.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace ornpcap::command_line {

// What every companion exits with on a usage error.
inline constexpr int kUsageStatus = 2;

// "PROGRAM: WHAT (try 'PROGRAM --help')" on standard error; kUsageStatus.
int usageError(std::string_view program, std::string_view what);

// What is wrong with the names (the operands) a command line gives, in the
// words of a usage error: "no trace given" for the first of `wanted` that is
// missing, "too many names: EXTRA" for the first past `most`; empty when
// nothing is.
//
//   namesProblem(names, {"scenario", "trace"}, 2)
std::string namesProblem(const std::vector<std::string>& names,
                         std::initializer_list<std::string_view> wanted, size_t most);

// getopt_long over a copy of the arguments (the caller's stay as they are),
// from the first argument after the program's name.
//
//   OptionReader options(argc, argv, "fnh", kLongOptions);
//   for (int c; (c = options.next()) != -1;) {
//       switch (c) {
//           case 'f': ...; break;
//           case '?': return usageError(kProgram, options.problem());
//       }
//   }
//   const std::vector<std::string> names = options.operands();
//
// Give every option without a letter a value above 255 in its `option`.
class OptionReader {
public:
    OptionReader(int argc, const char* const* argv, std::string_view shortOptions,
                 const option* longOptions);
    OptionReader(const OptionReader&) = delete;
    OptionReader& operator=(const OptionReader&) = delete;

    // The next option, as getopt_long gives it: its letter or value; -1 when
    // the options are over; '?' for an unknown option, a value missing or one
    // given to an option that takes none, which problem() then says in words.
    int next();
    // The value of the option next() gave.
    const char* value() const { return value_; }
    // "unknown option --frob", "unknown option -x", "option -o needs a value",
    // "option --force takes no value", "option --ver is ambiguous".
    const std::string& problem() const { return problem_; }
    // Once next() gave -1: the arguments that are no options, in order.
    std::vector<std::string> operands() const;

private:
    std::string describeProblem(int result) const;
    std::string longNameOf(int value) const;

    std::vector<std::string> storage_;
    std::vector<char*> argv_;
    std::string shortOptions_;
    const option* longOptions_;
    const char* value_ = nullptr;
    std::string problem_;
};

}  // namespace ornpcap::command_line
