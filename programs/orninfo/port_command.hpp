#pragma once
// The OrnPcap command line that extracts one port of a trace, as a user can
// paste it into a shell:
//
//   OrnPcap -iTrace.orn -oTrace_p20.pcap -f2 -p20 -lALL
//
// -f names the format; -l is given where it is the useful choice: PPP-Sync
// and PPP-Async must have one (ALL for several links, else the one LSN), and
// Raw-IP and Internal-UDP with several links get one file per link; ETHERNET
// (whose lsn field holds protocol codes) and I4B ignore it. Each port writes
// under a name of its own (trace name, "_p", port), so that the commands of a
// trace's ports, run one after the other, do not delete each other's outputs.

#include <cstdint>
#include <string>
#include <vector>

namespace ornpcap::orninfo {

// Empty when the format is unknown (0). lsns: the port's LSNs that carry frames.
std::string ornpcapCommand(const std::string& trace, uint16_t port, int32_t format,
                           const std::vector<uint16_t>& lsns);

// The argument as the shell reads it: quoted where it holds more than plain
// name characters.
std::string shellWord(const std::string& word);

}  // namespace ornpcap::orninfo
