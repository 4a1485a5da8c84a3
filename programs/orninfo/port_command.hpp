#pragma once
// The OrnPcap command line that extracts one port of a trace, as a user can
// paste it into a shell and run it as it stands:
//
//   OrnPcap -iTrace.orn -oTrace_p20.pcap -f2 -p20 -lALL
//
// -f names the format; -l is given where it is the useful choice: PPP-Sync
// and PPP-Async must have one (ALL for several links, else the one LSN), and
// Raw-IP and Internal-UDP with several links get one file per link; ETHERNET
// (whose lsn field holds protocol codes) and I4B ignore it. Each port writes
// under a name of its own (trace name, "_p", port), so that the commands of a
// trace's ports, run one after the other, do not delete each other's outputs.
//
// Names are quoted where the shell would split or expand them; as OrnPcap
// skips the blanks in front of a name, a relative name that begins with one
// is given as "./ name". OrnPcap takes ports 1 to 65535: port 0 gets the
// orn2pcapng command that exports it alone, with a note that says why:
//
//   orn2pcapng -p0=ppp-sync Trace.orn Trace_p0.pcapng

#include <cstdint>
#include <string>
#include <vector>

namespace ornpcap::orninfo {

// Empty when the format is unknown (0). lsns: the port's LSNs that carry frames.
std::string ornpcapCommand(const std::string& trace, uint16_t port, int32_t format,
                           const std::vector<uint16_t>& lsns);
std::string orn2pcapngCommand(const std::string& trace, uint16_t port, int32_t format);

struct PortCommand {
    std::string command;  // empty when the format is unknown
    std::string note;     // why it is not OrnPcap's; empty when it is
};
// OrnPcap's command for the port, or orn2pcapng's for port 0.
PortCommand portCommand(const std::string& trace, uint16_t port, int32_t format,
                        const std::vector<uint16_t>& lsns);

// The argument as the shell reads it: quoted where it holds more than plain
// name characters.
std::string shellWord(const std::string& word);

}  // namespace ornpcap::orninfo
