// mktrace: a trace file from a scenario.
#include "mktrace/run.hpp"
#include "suite/program_main.hpp"

int main(int argc, char** argv) {
    return ornpcap::guardedMain(ornpcap::mktrace::kProgram, ornpcap::mktrace::run, argc, argv);
}
