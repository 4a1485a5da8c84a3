// orninfo: what a trace holds.
#include "orninfo/options.hpp"
#include "orninfo/run.hpp"
#include "suite/program_main.hpp"

int main(int argc, char** argv) {
    return ornpcap::guardedMain(ornpcap::orninfo::kProgram, ornpcap::orninfo::run, argc, argv);
}
