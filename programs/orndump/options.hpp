#pragma once
// orndump's command line, as Wireshark's extcap interface calls it and as a
// user may:
//
//   orndump --extcap-interfaces [--extcap-version=VERSION]
//   orndump --extcap-interface=orn --extcap-dlts
//   orndump --extcap-interface=orn --extcap-config
//   orndump --extcap-interface=orn --extcap-capture-filter=FILTER
//   orndump --extcap-interface=orn --capture --fifo=FIFO --trace=TRACE
//           [--ports=LIST] [-p PORT[=FORMAT]]...
//
// Wireshark gives each value as a word of its own ("--fifo /tmp/x"); both
// forms are taken.

#include <optional>
#include <string>
#include <vector>

namespace ornpcap::orndump {

// The one interface orndump offers.
inline constexpr const char* kInterface = "orn";

enum class Action { Interfaces, Dlts, Config, CheckFilter, Capture, Help, Version, Usage };

struct DumpSettings {
    Action action = Action::Usage;
    std::string interface;
    std::string fifo;
    std::string trace;
    // PORT or PORT=FORMAT, each for one -p of orn2pcapng; empty: every port.
    std::vector<std::string> ports;
    std::optional<std::string> captureFilter;
    std::string error;  // with Action::Usage
};

DumpSettings parseCommandLine(int argc, char** argv);

// The ports of a --ports value: PORT[=FORMAT] items apart by blanks or
// commas. False, with the reason, when an item is not of that shape.
bool splitPorts(const std::string& list, std::vector<std::string>& ports, std::string& error);

extern const char* const kOrnDumpHelp;

}  // namespace ornpcap::orndump
