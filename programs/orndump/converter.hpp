#pragma once
// orn2pcapng, run as a program of its own: found, started with its arguments
// (no shell between), its standard error relayed as orndump's, the signals
// that stop a capture passed on to it, and how it ended.

#include <string>
#include <string_view>
#include <vector>

namespace ornpcap::orndump {

inline constexpr std::string_view kConverter = "orn2pcapng";

// The folder of the running executable (symbolic links resolved), or empty.
std::string ownFolder();

// Where orn2pcapng is, in the order looked: beside orndump itself (the build
// folder, or a folder both were installed into), in the bindir the install
// puts it in, then on the PATH given. Empty when none is executable.
std::string findConverter(const std::string& ownFolder, const std::string& installBindir,
                          const char* path);

// A line orn2pcapng wrote on its standard error, as orndump says it:
// "orn2pcapng: FILE: reason" becomes "orndump: FILE: reason", any other
// line gets "orndump: " in front.
std::string relayedLine(std::string_view line);

struct ConverterEnd {
    int spawnError = 0;     // errno when it could not be started
    int waitStatus = 0;     // as waitpid gives it
    int stopSignal = 0;     // the signal orndump received and passed on, or 0
    bool killed = false;    // it outlived the grace after the stop and was killed
    bool stoppedBeforeStart = false;  // a stop came while the FIFO had no reader yet
    size_t relayed = 0;     // lines relayed while it ran
    // What it said after the stop was passed on, held back: a capture that
    // Wireshark stops has nothing to report.
    std::vector<std::string> held;
};

// Seconds a converter may take to end after the stop was passed on.
inline constexpr int kStopGraceSeconds = 10;

// Runs the converter with the arguments (args[0] its name), its standard
// output to /dev/null, its standard error relayed line by line, SIGPIPE at
// its default (a reader that closes the FIFO ends it), until it ends.
// SIGINT, SIGTERM and SIGHUP received meanwhile are passed on to it. When
// `fifo` names a FIFO, orndump first waits for its reader and holds a write
// end of its own until the converter has ended.
ConverterEnd runConverter(const std::string& path, const std::vector<std::string>& args,
                          const std::string& fifo);

}  // namespace ornpcap::orndump
