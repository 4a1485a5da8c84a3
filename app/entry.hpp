#pragma once
// The program: banner, options, trace probe, one converter, report.

namespace ornpcap {

// Runs the tool on the argument vector and returns the process exit code.
int runOrnPcap(int argc, const char* const* argv);

}  // namespace ornpcap
