#include "orn2pcapng/options.hpp"

#include <algorithm>
#include <cctype>

#include "frames/frame_format.hpp"

namespace ornpcap::orn2pcapng {

const char* const kOrn2PcapngHelp =
    "Usage: orn2pcapng [-p PORT[=FORMAT]]... [-h|--help] [--version] TRACE [OUTPUT]\n"
    "Exports the frames of a Varnek ORN trace into one pcapng file, in one pass:\n"
    "one interface per port and LSN (per port for ETHERNET), the direction of\n"
    "every frame, absolute time stamps. OUTPUT defaults to TRACE with the\n"
    "extension .pcapng; - writes to standard output (the report then goes to\n"
    "standard error).\n"
    "\n"
    "  -p PORT[=FORMAT]  export this port (repeatable; default: every port) in\n"
    "                    FORMAT, else in the format its frames look like:\n"
    "                    1 or ethernet, 2 or ppp-sync, 3 or ppp-async,\n"
    "                    4 or raw-ip, 5 or i4b, 6 or internal-udp\n"
    "  -h, --help        show this help and exit\n"
    "      --version     show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 the trace is damaged after what was exported,\n"
    "2 usage error or no trace to read, 3 or 6 the output cannot be created\n"
    "or written, 18 out of memory.\n";

namespace {

bool parsePort(std::string_view text, uint16_t& port) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const unsigned long value = std::stoul(std::string(text));
    port = static_cast<uint16_t>(value);
    return value <= 65535;
}

// "PORT" or "PORT=FORMAT"; an error text, empty when it reads.
std::string parsePortRequest(std::string_view value, PortRequest& request) {
    const size_t equals = value.find('=');
    const std::string_view port = value.substr(0, equals);
    if (!parsePort(port, request.port)) {
        return "-p " + std::string(value) + ": the port is a number from 0 to 65535";
    }
    if (equals == std::string_view::npos) {
        return {};
    }
    request.format = formatByName(value.substr(equals + 1));
    if (request.format == 0) {
        return "-p " + std::string(value) +
               ": the format is 1 to 6 or ethernet, ppp-sync, ppp-async, raw-ip, i4b, "
               "internal-udp";
    }
    return {};
}

std::string addPort(const std::string& value, Orn2PcapngSettings& settings) {
    PortRequest request;
    if (std::string error = parsePortRequest(value, request); !error.empty()) {
        return error;
    }
    const bool twice = std::any_of(settings.ports.begin(), settings.ports.end(),
                                   [&](const PortRequest& r) { return r.port == request.port; });
    if (twice) {
        return "-p: port " + std::to_string(request.port) + " is given twice";
    }
    settings.ports.push_back(request);
    return {};
}

// The names, once the options are out of the way.
std::string takeNames(const std::vector<std::string>& names, Orn2PcapngSettings& settings) {
    if (names.empty()) {
        return "no trace named";
    }
    if (names.size() > 2) {
        return "one trace and one output at most, not " + std::to_string(names.size()) + " names";
    }
    if (names[0] == "-") {
        return "the trace is read from a file, not from standard input";
    }
    settings.trace = names[0];
    settings.output = names.size() == 2 ? names[1] : defaultOutputName(names[0]);
    return {};
}

}  // namespace

int32_t formatByName(std::string_view name) {
    if (name.size() == 1 && name[0] >= '1' && name[0] <= '6') {
        return name[0] - '0';
    }
    const FrameFormatRow* row = frameFormatByCliName(name);
    return row != nullptr ? static_cast<int32_t>(row->format) : 0;
}

std::string defaultOutputName(const std::string& trace) {
    const size_t slash = trace.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = trace.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > base;
    return (hasExtension ? trace.substr(0, dot) : trace) + ".pcapng";
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args,
                                   Orn2PcapngSettings& settings) {
    std::vector<std::string> names;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string error;
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            names.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            return {CommandLine::Help, {}};
        } else if (arg == "--version") {
            return {CommandLine::Version, {}};
        } else if (arg == "-p" && i + 1 == args.size()) {
            error = "-p wants a port: -p PORT[=FORMAT]";
        } else if (arg.starts_with("-p")) {
            error = addPort(arg == "-p" ? args[++i] : arg.substr(2), settings);
        } else {
            error = "unknown option " + arg;
        }
        if (!error.empty()) {
            return {CommandLine::Usage, error};
        }
    }
    std::string error = takeNames(names, settings);
    return {error.empty() ? CommandLine::Run : CommandLine::Usage, error};
}

}  // namespace ornpcap::orn2pcapng
