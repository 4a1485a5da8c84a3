// OrnPcap: one port of a trace into pcap, Visual Networks or I4B files.
#include "ornpcap/report.hpp"
#include "ornpcap/run.hpp"
#include "suite/program_main.hpp"

int main(int argc, char** argv) {
    // On standard output too, as every other failure of a conversion.
    const auto failed = [] {
        ornpcap::converter::printFailure(ornpcap::ResultCode::OutOfMemory, {}, {});
    };
    return ornpcap::guardedMain(ornpcap::converter::kProgram, ornpcap::converter::run, argc, argv,
                                failed);
}
