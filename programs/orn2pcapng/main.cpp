// orn2pcapng: every port of a Varnek ORN trace into one pcapng file.
//
//   orn2pcapng [-p PORT[=FORMAT]]... [-h|--help] [--version] TRACE [OUTPUT]

#include "orn2pcapng/run.hpp"
#include "suite/program_main.hpp"

int main(int argc, char** argv) {
    return ornpcap::guardedMain(ornpcap::orn2pcapng::kProgram, ornpcap::orn2pcapng::run, argc,
                                argv);
}
