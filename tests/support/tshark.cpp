#include "tests/support/tshark.hpp"

#include <sstream>
#include <unistd.h>

#include "tests/support/tool_run.hpp"

namespace ornpcap::test {

namespace {
const char* const kTshark = "/usr/bin/tshark";
}  // namespace

bool haveTshark() { return ::access(kTshark, X_OK) == 0; }

TsharkRun tshark(const std::string& file, const std::vector<std::string>& args) {
    TempDir home;  // tshark wants a writable home for its profile
    std::vector<std::string> all{"-n", "-r", file};
    all.insert(all.end(), args.begin(), args.end());
    ::setenv("HOME", home.path().c_str(), 1);
    const ToolRun run = runIn(home, kTshark, all);
    return {run.exitCode, run.out, run.err};
}

std::vector<std::string> tsharkFields(const std::string& file, const std::vector<std::string>& fields) {
    std::vector<std::string> args{"-T", "fields", "-E", "separator=|"};
    for (const std::string& f : fields) {
        args.push_back("-e");
        args.push_back(f);
    }
    const TsharkRun run = tshark(file, args);
    std::vector<std::string> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace ornpcap::test
