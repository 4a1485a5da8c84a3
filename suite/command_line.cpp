#include "suite/command_line.hpp"

#include <algorithm>
#include <cstring>

#include "suite/say.hpp"

namespace ornpcap::command_line {

int usageError(std::string_view program, std::string_view what) {
    diagnostics::say(program, "",
                     std::string(what) + " (try '" + std::string(program) + " --help')");
    return kUsageStatus;
}

std::string namesProblem(const std::vector<std::string>& names,
                         std::initializer_list<std::string_view> wanted, size_t most) {
    if (names.size() < wanted.size()) {
        return "no " + std::string(wanted.begin()[names.size()]) + " given";
    }
    return names.size() > most ? "too many names: " + names[most] : "";
}

OptionReader::OptionReader(int argc, const char* const* argv, std::string_view shortOptions,
                           const option* longOptions)
    : storage_(argv, argv + argc),
      // ':' first: a missing value is told apart from an unknown option.
      shortOptions_(":" + std::string(shortOptions)),
      longOptions_(longOptions) {
    for (std::string& arg : storage_) {
        argv_.push_back(arg.data());
    }
    argv_.push_back(nullptr);
    optind = 0;  // glibc starts afresh, whatever an earlier reader left
    opterr = 0;
}

int OptionReader::next() {
    const int argc = static_cast<int>(argv_.size()) - 1;
    const int result = getopt_long(argc, argv_.data(), shortOptions_.c_str(), longOptions_, nullptr);
    value_ = optarg;
    if (result == '?' || result == ':') {
        problem_ = describeProblem(result);
        return '?';
    }
    return result;
}

std::vector<std::string> OptionReader::operands() const {
    const int argc = static_cast<int>(argv_.size()) - 1;
    return std::vector<std::string>(argv_.begin() + optind, argv_.begin() + argc);
}

// The long option's name as the table spells it, from what getopt_long put
// in optopt; empty when no long option has that value.
std::string OptionReader::longNameOf(int value) const {
    for (const option* o = longOptions_; o != nullptr && o->name != nullptr; ++o) {
        if (o->flag == nullptr && o->val == value) {
            return "--" + std::string(o->name);
        }
    }
    return "";
}

// getopt_long leaves optopt 0 for a long option it does not know (or cannot
// tell from another by the letters given), the letter of an unknown short
// option, and the option's value where a value is missing or unwanted. A long
// option always moves optind on, so its argument is the one before optind.
std::string OptionReader::describeProblem(int result) const {
    const std::string previous = optind > 0 ? argv_[static_cast<size_t>(optind - 1)] : "";
    const bool wasLong = previous.starts_with("--");
    if (optopt == 0) {
        const std::string name = previous.substr(0, previous.find('='));
        size_t matches = 0;
        for (const option* o = longOptions_; o != nullptr && o->name != nullptr; ++o) {
            matches += std::string_view(o->name).starts_with(
                std::string_view(name).substr(std::min<size_t>(2, name.size())));
        }
        return matches > 1 ? "option " + name + " is ambiguous" : "unknown option " + name;
    }
    const bool isLetter = optopt < 256 && std::strchr(shortOptions_.c_str() + 1, optopt) != nullptr;
    std::string name;
    if (wasLong && (result == ':' || isLetter || optopt >= 256)) {
        name = longNameOf(optopt);
        if (name.empty()) {
            name = previous.substr(0, previous.find('='));
        }
    } else {
        name = std::string("-") + static_cast<char>(optopt);
    }
    if (result == ':') {
        return "option " + name + " needs a value";
    }
    return isLetter || optopt >= 256 ? "option " + name + " takes no value"
                                     : "unknown option " + name;
}

}  // namespace ornpcap::command_line
