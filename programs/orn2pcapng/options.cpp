#include "orn2pcapng/options.hpp"

#include <algorithm>
#include <cctype>
#include <getopt.h>

#include "frames/frame_format.hpp"

namespace ornpcap::orn2pcapng {

const char* const kOrn2PcapngHelp =
    "Usage: orn2pcapng [-p PORT[=FORMAT]]... [--split=linktype|port] TRACE [OUTPUT]\n"
    "Exports the frames of a Varnek ORN trace into one pcapng file, in one pass:\n"
    "one interface per port and LSN (per port for ETHERNET), the direction of\n"
    "every frame, absolute time stamps. TRACE - reads standard input (a pipe in\n"
    "one pass). OUTPUT defaults to TRACE with the extension .pcapng; - writes to\n"
    "standard output (the report then goes to standard error).\n"
    "\n"
    "  -p PORT[=FORMAT]  export this port (repeatable; default: every port) in\n"
    "                    FORMAT, else in the format its frames look like:\n"
    "                    1 or ethernet, 2 or ppp-sync, 3 or ppp-async,\n"
    "                    4 or raw-ip, 5 or i4b, 6 or internal-udp\n"
    "      --split=linktype  one pcap file per link type instead, for tcpdump:\n"
    "                    OUTPUT_ETHERNET.pcap, OUTPUT_PPP.pcap, ... (OUTPUT\n"
    "                    without its extension, by default TRACE's)\n"
    "      --split=port  one pcap file per port: OUTPUT_p30.pcap, ...\n"
    "  -h, --help        show this help and exit\n"
    "      --version     show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 the trace is damaged after what was exported,\n"
    "2 usage error or no trace to read, 3 or 6 the output cannot be created\n"
    "or written, 4 nothing exported, 18 out of memory.\n";

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
    settings.trace = names[0];
    if (settings.split != Split::None) {
        if (names.size() == 2 && names[1] == "-") {
            return "--split writes files: their names cannot be standard output";
        }
        if (names.size() == 1 && names[0] == "-") {
            return "--split of standard input: name the output files' stem, as OUTPUT";
        }
        settings.output = stemOf(names.size() == 2 ? names[1] : names[0]);
        return {};
    }
    if (names.size() == 1 && names[0] == "-") {
        return "the trace comes from standard input: name the output (- for standard output)";
    }
    settings.output = names.size() == 2 ? names[1] : defaultOutputName(names[0]);
    return {};
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string takeSplit(std::string_view value, Orn2PcapngSettings& settings) {
    const std::string lower = lowerCase(value);
    if (lower == "linktype") {
        settings.split = Split::LinkType;
    } else if (lower == "port") {
        settings.split = Split::Port;
    } else {
        return "--split=" + std::string(value) + ": linktype or port";
    }
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

std::string stemOf(const std::string& name) {
    const size_t slash = name.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > base;
    return hasExtension ? name.substr(0, dot) : name;
}

std::string defaultOutputName(const std::string& trace) { return stemOf(trace) + ".pcapng"; }

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args,
                                   Orn2PcapngSettings& settings) {
    enum : int { kVersion = 256, kSplit };
    static const struct option kLong[] = {
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion},
        {"split", required_argument, nullptr, kSplit},
        {nullptr, 0, nullptr, 0},
    };
    std::vector<std::string> words{"orn2pcapng"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    opterr = 0;
    optind = 0;  // from the start, whatever ran before
    for (;;) {
        const int c = getopt_long(argc, argv.data(), ":p:h", kLong, nullptr);
        if (c == -1) {
            break;
        }
        std::string error;
        const std::string seen = argv[optind - 1] != nullptr ? argv[optind - 1] : "";
        switch (c) {
            case 'h': return {CommandLine::Help, {}};
            case kVersion: return {CommandLine::Version, {}};
            case 'p': error = addPort(optarg, settings); break;
            case kSplit: error = takeSplit(optarg, settings); break;
            case ':':
                error = optopt == 'p' ? "-p wants a port: -p PORT[=FORMAT]"
                                      : seen + " wants a value: --split=linktype|port";
                break;
            default:
                error = optopt != 0 ? std::string("unknown option -") + static_cast<char>(optopt)
                                    : "unknown option " + seen.substr(0, seen.find('='));
                break;
        }
        if (!error.empty()) {
            return {CommandLine::Usage, error};
        }
    }
    // getopt_long has moved the names behind the options.
    std::vector<std::string> names(argv.begin() + optind, argv.end() - 1);
    std::string error = takeNames(names, settings);
    return {error.empty() ? CommandLine::Run : CommandLine::Usage, error};
}

}  // namespace ornpcap::orn2pcapng
