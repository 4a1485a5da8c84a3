#pragma once
// orn2pcapng's command line:
//
//   orn2pcapng [-p PORT[=FORMAT]]... [--split=linktype|port] [-h|--help] [--version]
//              TRACE [OUTPUT]
//
// Read with getopt_long: options may stand before, between or after the
// names, short ones combine (-p3 -p5 as -p3 -p5, -hp3), a long one takes
// its value after "=" or as the next argument; "--" ends them. TRACE "-" is
// standard input.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ornpcap::orn2pcapng {

struct PortRequest {
    uint16_t port = 0;
    int32_t format = 0;  // FrameFormat id; 0: recognised from the port's frames
};

// With --split, one classic pcap file per link type or per port, each of
// one link type, in place of the pcapng file.
enum class Split { None, LinkType, Port };

struct Orn2PcapngSettings {
    std::string trace;                // "-": standard input
    std::string output;               // "-": standard output; with a split, the names' stem
    std::vector<PortRequest> ports;   // empty: every port of the trace
    Split split = Split::None;
};

enum class CommandLine { Run, Help, Version, Usage };

struct ParsedCommandLine {
    CommandLine outcome = CommandLine::Run;
    std::string error;  // with Usage
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args,
                                   Orn2PcapngSettings& settings);

// The FrameFormat id of a -p FORMAT: 1 to 6 or a name (any letter case):
// ethernet, ppp-sync, ppp-async, raw-ip, i4b, internal-udp; 0 for none.
int32_t formatByName(std::string_view name);

// The trace's name with the extension .pcapng in place of its own.
std::string defaultOutputName(const std::string& trace);
// A name without its extension: "out/Trace.orn" -> "out/Trace".
std::string stemOf(const std::string& name);

extern const char* const kOrn2PcapngHelp;

}  // namespace ornpcap::orn2pcapng
