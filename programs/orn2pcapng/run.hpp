#pragma once
// orn2pcapng: every port of a trace into one pcapng file, in one pass.
//
// Exit status: 0 done; 1 the trace is damaged after what was exported (the
// output holds everything before the damage); 2 a usage error, or no trace
// to read (missing, not a trace, header or trailer damaged); 3 and 6, as
// OrnPcap, when the output cannot be created or written; 18 out of memory;
// 128 + the signal when interrupted (the output is complete up to then).

#include <string_view>

namespace ornpcap::orn2pcapng {

inline constexpr std::string_view kProgram = "orn2pcapng";

int run(int argc, char** argv);

}  // namespace ornpcap::orn2pcapng
