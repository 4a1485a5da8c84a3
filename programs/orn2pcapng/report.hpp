#pragma once
// What orn2pcapng tells once the trace is exported: the report (how each
// port's format was chosen, one row per interface with its packets, totals),
// and the warnings about ports that were not exported.

#include <string>
#include <vector>

#include "orn2pcapng/format_choice.hpp"
#include "orn2pcapng/options.hpp"
#include "writers/pcapng_writer.hpp"

namespace ornpcap::orn2pcapng {

struct ExportSummary {
    const Orn2PcapngSettings& settings;
    const PcapngSink& writer;
    std::vector<PortChoice> ports;
};

// The report, one line each.
std::vector<std::string> reportLines(const ExportSummary& summary);

// Warnings for standard error, without the program's name: ports whose format
// could not be recognised, ports asked for that the trace does not hold.
std::vector<std::string> portWarnings(const ExportSummary& summary);

}  // namespace ornpcap::orn2pcapng
