#pragma once
// What orndump tells Wireshark about its interface, in the extcap grammar: one
// sentence a line, each "kind {key=value}{key=value}...". A value can hold no
// brace, so none of these texts has one.

#include <string>

namespace ornpcap::orndump {

// --extcap-interfaces: the tool and its one interface.
std::string interfacesText();
// --extcap-dlts: the link type the interface declares. The stream carries
// one pcapng interface per channel, each with its own link type, so the
// one declared is USER0, as for Wireshark's own generators.
std::string dltsText();
// --extcap-config: the trace (a file selector) and the ports.
std::string configText();
// --extcap-capture-filter without --capture: nothing when the filter is
// empty, else the one line saying why no filter can be applied.
std::string filterCheckText(const std::string& filter);

// A capture filter other than blanks: a trace is not filtered as it is read.
bool isFilter(const std::string& filter);
extern const char* const kNoFilter;

}  // namespace ornpcap::orndump
