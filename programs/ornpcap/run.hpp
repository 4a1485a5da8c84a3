#pragma once
// OrnPcap: banner, options, trace probe, one converter, report.

namespace ornpcap::converter {

// Runs the tool on the argument vector and returns the process exit code.
int run(int argc, char** argv);

}  // namespace ornpcap::converter
