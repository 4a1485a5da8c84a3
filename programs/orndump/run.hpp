#pragma once
// orndump: Wireshark's capture interface "ORN trace" (an extcap). It tells
// Wireshark about the interface and its options, and for a capture runs
// orn2pcapng on the trace with the FIFO Wireshark reads as its output.
//
// Exit status: 0 the listings, a capture that ended, also one Wireshark
// stopped (a signal, or the FIFO closed by its reader); orn2pcapng's status
// when it fails (1 the trace is damaged after what was delivered; 2 no
// trace to read; 3, 6 the FIFO cannot be opened or written; 18); 2 a usage
// error, or orn2pcapng cannot be found or started; 128 + the signal that
// ended orn2pcapng otherwise. Wireshark shows whatever orndump writes on
// standard error as the capture's error, so a capture that ends well
// writes nothing there.

#include <string_view>

namespace ornpcap::orndump {

inline constexpr std::string_view kProgram = "orndump";

int run(int argc, char** argv);

}  // namespace ornpcap::orndump
