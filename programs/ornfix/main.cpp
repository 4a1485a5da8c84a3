// ornfix: salvages every intact record of a damaged or truncated trace.
#include "ornfix/run.hpp"
#include "suite/program_main.hpp"

int main(int argc, char** argv) {
    return ornpcap::guardedMain(ornpcap::ornfix::kProgram, ornpcap::ornfix::run, argc, argv);
}
