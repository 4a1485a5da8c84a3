#pragma once
// orn2pcapng's command line:
//
//   orn2pcapng [-p PORT[=FORMAT]]... [-h|--help] [--version] TRACE [OUTPUT]
//
// Options may stand before, between or after the names; "--" ends them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ornpcap::orn2pcapng {

struct PortRequest {
    uint16_t port = 0;
    int32_t format = 0;  // FrameFormat id; 0: recognised from the port's frames
};

struct Orn2PcapngSettings {
    std::string trace;
    std::string output;               // "-": standard output
    std::vector<PortRequest> ports;   // empty: every port of the trace
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

extern const char* const kOrn2PcapngHelp;

}  // namespace ornpcap::orn2pcapng
