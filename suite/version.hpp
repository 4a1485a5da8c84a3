#pragma once
// What the companion programs (orninfo, ornfix, orn2pcapng) share with OrnPcap:
// the version of the suite, and the conventions of a modern command line:
// -h/--help on standard output with exit 0, --version, and errors and warnings
// on standard error as "NAME: FILE: reason" (diagnostics::say).

#include <string>
#include <string_view>

namespace ornpcap {

// The version of the OrnPcap suite, as the build gives it.
inline constexpr std::string_view kSuiteVersion = ORNPCAP_VERSION;

// "orninfo (OrnPcap suite) 6.5.0"
inline std::string versionLine(std::string_view program) {
    return std::string(program) + " (OrnPcap suite) " + std::string(kSuiteVersion);
}

}  // namespace ornpcap
