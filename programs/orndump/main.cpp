// orndump: Wireshark's capture interface "ORN trace", an extcap.
//
//   orndump --extcap-interfaces
//   orndump --extcap-interface=orn --extcap-dlts | --extcap-config
//   orndump --extcap-interface=orn --capture --fifo=FIFO --trace=TRACE [--ports=LIST]

#include "orndump/run.hpp"
#include "suite/program_main.hpp"

int main(int argc, char** argv) {
    return ornpcap::guardedMain(ornpcap::orndump::kProgram, ornpcap::orndump::run, argc, argv);
}
