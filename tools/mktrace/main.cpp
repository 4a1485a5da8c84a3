// mktrace: writes a trace file from a scenario, so that traces can be made
// without a device. See tools/tracebuild/scenario.hpp for the scenario format.
//
//   mktrace <scenario file | -> <trace file>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <fstream>

#include "tools/tracebuild/scenario.hpp"
#include "base/file_io.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mktrace <scenario file | -> <trace file>\n");
        return 2;
    }
    const std::string scenarioName = argv[1];
    std::string text;
    if (scenarioName == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(scenarioName);
        if (!in) {
            std::fprintf(stderr, "mktrace: cannot read %s\n", scenarioName.c_str());
            return 1;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ornpcap::FileHandle out(std::fopen(argv[2], "wb"));
    if (!out) {
        std::fprintf(stderr, "mktrace: cannot create %s\n", argv[2]);
        return 1;
    }
    const auto result = ornpcap::tracebuild::runScenario(text, out.get());
    if (!result.ok) {
        std::fprintf(stderr, "mktrace: %s: %s\n", scenarioName.c_str(), result.error.c_str());
        return 1;
    }
    if (std::fflush(out.get()) != 0) {
        std::fprintf(stderr, "mktrace: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("mktrace: %s: %lu records in %u blocks\n", argv[2], result.records, result.blocks);
    return 0;
}
