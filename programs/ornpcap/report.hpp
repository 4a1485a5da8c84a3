#pragma once
// The fixed texts of the tool: banner, help, parameter echo, result messages,
// statistics. Their wording, spacing and line ends are part of the interface.

#include <string>
#include <string_view>

#include "ornpcap/plan.hpp"
#include "base/conversion_stats.hpp"
#include "base/result_code.hpp"

namespace ornpcap::converter {

inline constexpr const char* kVersionText = "v. 6.05.00 - 09/12/2009";
// How the tool names itself on standard error.
inline constexpr std::string_view kProgram = "OrnPcap";

void printBanner();
void printHelp();
// The "Conversion parameters" block: of the pcap and Visual Networks paths,
// or the shorter one of the I4B path.
void printParameterEcho(const ConversionPlan& plan);
void printStatistics(const ConversionStats& stats);
// The report of a failed run: a blank line, then the message of the code.
// inputName names the trace (code 2), targetName the output (code 3).
void printFailure(ResultCode code, const std::string& inputName, const std::string& targetName);

}  // namespace ornpcap::converter
