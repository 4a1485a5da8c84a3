#include "orndump/options.hpp"

#include <algorithm>
#include <cctype>
#include <getopt.h>

namespace ornpcap::orndump {

const char* const kOrnDumpHelp =
    "Usage: orndump --extcap-interfaces\n"
    "       orndump --extcap-interface=orn --extcap-dlts | --extcap-config\n"
    "       orndump --extcap-interface=orn --capture --fifo=FIFO --trace=TRACE\n"
    "               [--ports=LIST] [-p PORT[=FORMAT]]...\n"
    "Wireshark's capture interface \"ORN trace\" (an extcap): the frames of a\n"
    "Varnek ORN trace, every port in one pcapng stream as orn2pcapng writes it,\n"
    "into the FIFO Wireshark reads.\n"
    "\n"
    "  --extcap-interfaces          list the interface\n"
    "  --extcap-version=VERSION     the Wireshark version asking (taken, not used)\n"
    "  --extcap-interface=orn       the interface the other options are for\n"
    "  --extcap-dlts                list its link type\n"
    "  --extcap-config              list its options\n"
    "  --extcap-capture-filter=F    check a capture filter (none can be applied)\n"
    "  --capture                    run the capture\n"
    "  --fifo=FIFO                  where the pcapng stream goes\n"
    "  --trace=TRACE                the trace file\n"
    "  --ports=LIST                 the ports to export, as 20 or 21=ppp-async,\n"
    "                               apart by blanks or commas (default: every port,\n"
    "                               its format recognised from its frames)\n"
    "  -p, --port=PORT[=FORMAT]     one port more (repeatable); FORMAT 1 to 6 or\n"
    "                               ethernet, ppp-sync, ppp-async, raw-ip, i4b,\n"
    "                               internal-udp\n"
    "  -h, --help                   show this help and exit\n"
    "      --version                show the version and exit\n"
    "\n"
    "Exit status: 0 the capture ended (also when stopped); 1 the trace is damaged\n"
    "after what was delivered; 2 usage error, no trace, or orn2pcapng cannot be\n"
    "run; 3 or 6 the FIFO cannot be opened or written; 18 out of memory.\n";

namespace {

enum LongOnly {
    kInterfaces = 256,
    kExtcapVersion,
    kInterfaceName,
    kDlts,
    kConfig,
    kCaptureFilter,
    kCapture,
    kFifo,
    kTrace,
    kPorts,
    kVersion,
};

const struct option kLongOptions[] = {
    {"extcap-interfaces", no_argument, nullptr, kInterfaces},
    {"extcap-version", optional_argument, nullptr, kExtcapVersion},
    {"extcap-interface", required_argument, nullptr, kInterfaceName},
    {"extcap-dlts", no_argument, nullptr, kDlts},
    {"extcap-config", no_argument, nullptr, kConfig},
    {"extcap-capture-filter", required_argument, nullptr, kCaptureFilter},
    {"capture", no_argument, nullptr, kCapture},
    {"fifo", required_argument, nullptr, kFifo},
    {"trace", required_argument, nullptr, kTrace},
    {"ports", required_argument, nullptr, kPorts},
    {"port", required_argument, nullptr, 'p'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// PORT (0 to 65535) or PORT=FORMAT; which formats exist is orn2pcapng's to say.
bool portItemReads(const std::string& item) {
    const size_t equals = item.find('=');
    const std::string port = item.substr(0, equals);
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), isDigit) ||
        std::stoul(port) > 65535) {
        return false;
    }
    if (equals == std::string::npos) {
        return true;
    }
    const std::string format = item.substr(equals + 1);
    return !format.empty() && std::all_of(format.begin(), format.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-';
    });
}

std::string portItemError(const std::string& item) {
    return "'" + item + "': a port is a number from 0 to 65535, then =FORMAT where wanted";
}

DumpSettings usage(std::string error) {
    DumpSettings settings;
    settings.error = std::move(error);
    return settings;
}

struct Requested {
    bool interfaces = false;
    bool dlts = false;
    bool config = false;
    bool capture = false;
    bool help = false;
    bool version = false;
};

// What the options ask for, checked against what that action needs.
DumpSettings decide(const Requested& asked, DumpSettings settings) {
    if (asked.help || asked.version) {
        settings.action = asked.help ? Action::Help : Action::Version;
        return settings;
    }
    if (asked.interfaces) {
        settings.action = Action::Interfaces;
        return settings;
    }
    if (!asked.dlts && !asked.config && !asked.capture && !settings.captureFilter) {
        return usage("nothing to do: --extcap-interfaces, --extcap-dlts, --extcap-config or "
                     "--capture");
    }
    if (settings.interface.empty()) {
        return usage("no interface named: --extcap-interface=" + std::string(kInterface));
    }
    if (settings.interface != kInterface) {
        return usage("no interface " + settings.interface + ": the one interface is " +
                     std::string(kInterface));
    }
    if (asked.dlts || asked.config) {
        settings.action = asked.dlts ? Action::Dlts : Action::Config;
        return settings;
    }
    if (!asked.capture) {
        settings.action = Action::CheckFilter;
        return settings;
    }
    if (settings.fifo.empty()) {
        return usage("--capture wants --fifo=FIFO");
    }
    if (settings.fifo == "-") {
        return usage("--fifo=-: the capture goes to a named FIFO or file (orn2pcapng TRACE - "
                     "writes to standard output)");
    }
    if (settings.trace.empty()) {
        return usage("--capture wants --trace=TRACE");
    }
    settings.action = Action::Capture;
    return settings;
}

}  // namespace

bool splitPorts(const std::string& list, std::vector<std::string>& ports, std::string& error) {
    size_t at = 0;
    while (at < list.size()) {
        const size_t start = list.find_first_not_of(" ,\t", at);
        if (start == std::string::npos) {
            break;
        }
        const size_t end = std::min(list.find_first_of(" ,\t", start), list.size());
        const std::string item = list.substr(start, end - start);
        if (!portItemReads(item)) {
            error = "--ports: " + portItemError(item);
            return false;
        }
        ports.push_back(item);
        at = end;
    }
    return true;
}

DumpSettings parseCommandLine(int argc, char** argv) {
    DumpSettings settings;
    Requested asked;
    optind = 0;  // from the start, also when called again
    opterr = 0;  // the errors are said here, in the suite's words
    for (;;) {
        optopt = 0;
        const int option = ::getopt_long(argc, argv, ":hp:", kLongOptions, nullptr);
        if (option == -1) {
            break;
        }
        // The option a fault is in: a short one by its letter, a long one by its word.
        const std::string word = optopt > 0 && optopt < 256
                                     ? std::string{'-', static_cast<char>(optopt)}
                                     : std::string(argv[std::min(optind, argc) - 1]);
        std::string error;
        switch (option) {
            case kInterfaces: asked.interfaces = true; break;
            case kExtcapVersion: break;
            case kInterfaceName: settings.interface = optarg; break;
            case kDlts: asked.dlts = true; break;
            case kConfig: asked.config = true; break;
            case kCaptureFilter: settings.captureFilter = optarg; break;
            case kCapture: asked.capture = true; break;
            case kFifo: settings.fifo = optarg; break;
            case kTrace: settings.trace = optarg; break;
            case kPorts: splitPorts(optarg, settings.ports, error); break;
            case 'p':
                if (portItemReads(optarg)) {
                    settings.ports.emplace_back(optarg);
                } else {
                    error = "-p: " + portItemError(optarg);
                }
                break;
            case 'h': asked.help = true; break;
            case kVersion: asked.version = true; break;
            case ':': error = word + " wants a value"; break;
            default: error = "unknown option " + word; break;
        }
        if (!error.empty()) {
            return usage(error);
        }
    }
    if (optind < argc) {
        return usage(std::string("unexpected argument ") + argv[optind]);
    }
    return decide(asked, std::move(settings));
}

}  // namespace ornpcap::orndump
