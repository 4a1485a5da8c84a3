#include "orndump/extcap_texts.hpp"

#include "orndump/options.hpp"
#include "suite/version.hpp"

namespace ornpcap::orndump {

const char* const kNoFilter =
    "a trace cannot be filtered as it is read: leave the capture filter empty and use a "
    "display filter";

namespace {

// Items of a --ports value; the check Wireshark makes as the value is typed.
constexpr const char* kPortsPattern =
    "^[ ,]*([0-9]+(=[A-Za-z0-9-]+)?([ ,]+[0-9]+(=[A-Za-z0-9-]+)?)*)?[ ,]*$";

}  // namespace

std::string interfacesText() {
    return "extcap {version=" + std::string(kSuiteVersion) + "}\n"
           "interface {value=" + std::string(kInterface) + "}{display=ORN trace}\n";
}

std::string dltsText() {
    return "dlt {number=147}{name=USER0}{display=ORN trace: each port with its own link type}\n";
}

std::string configText() {
    return std::string(
               "arg {number=0}{call=--trace}{display=Trace file}{type=fileselect}"
               "{mustexist=true}{required=true}"
               "{fileext=ORN traces (*.orn *.ORN);;All files (*)}"
               "{tooltip=The trace file a Varnek ORN device recorded (Trace.orn)}\n"
               "arg {number=1}{call=--ports}{display=Ports}{type=string}"
               "{placeholder=every port}{validation=") +
           kPortsPattern +
           "}{tooltip=The ports to export, as 20 or 21=ppp-async, apart by blanks or commas; "
           "empty: every port, in the format its frames look like. Formats: ethernet, "
           "ppp-sync, ppp-async, raw-ip, i4b, internal-udp (or 1 to 6)}\n";
}

bool isFilter(const std::string& filter) {
    return filter.find_first_not_of(" \t\r\n") != std::string::npos;
}

std::string filterCheckText(const std::string& filter) {
    return isFilter(filter) ? std::string(kNoFilter) + "\n" : std::string();
}

}  // namespace ornpcap::orndump
