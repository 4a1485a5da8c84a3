#pragma once
// tshark, the reader the output files are checked against. Tests that need it
// skip with a message where it is not installed.

#include <string>
#include <vector>

namespace ornpcap::test {

bool haveTshark();

struct TsharkRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// tshark -r <file> with the extra arguments.
TsharkRun tshark(const std::string& file, const std::vector<std::string>& args);

// One line per packet with the given fields, separated by '|'.
std::vector<std::string> tsharkFields(const std::string& file, const std::vector<std::string>& fields);

}  // namespace ornpcap::test

#define REQUIRE_TSHARK()                                                  \
    do {                                                                  \
        if (!::ornpcap::test::haveTshark()) {                             \
            GTEST_SKIP() << "tshark is not installed: reader check skipped"; \
        }                                                                 \
    } while (0)
