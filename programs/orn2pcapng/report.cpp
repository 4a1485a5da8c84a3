#include "orn2pcapng/report.hpp"

#include <cstdarg>
#include <cstdio>

#include "frames/frame_format.hpp"
#include "frames/pcapng_framing.hpp"

namespace ornpcap::orn2pcapng {

namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* pattern, ...) {
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

using Count = unsigned long long;

std::string formatNameOf(int32_t format) {
    return format != 0 ? std::string(frameFormatName(static_cast<FrameFormat>(format))) : "-";
}

std::string howChosen(const PortChoice& p) {
    switch (p.choice) {
        case Choice::Named: return "named on the command line";
        case Choice::Recognised:
            return format("recognised from %s%llu frames, confidence %.2f",
                          p.early ? "its first " : "", Count(p.judged), p.confidence);
        case Choice::Unrecognised:
            return p.judged == 0 ? "no frames: not exported"
                                 : format("not recognised from %llu frames: not exported",
                                          Count(p.judged));
        case Choice::NotAsked: break;
    }
    return "not asked for";
}

void portRows(const ExportSummary& s, std::vector<std::string>& lines) {
    lines.push_back(format("%5s  %8s  %-12s  %s", "Port", "Records", "Format", "Chosen"));
    for (const PortChoice& p : s.ports) {
        if (p.choice != Choice::NotAsked) {
            lines.push_back(format("%5u  %8llu  %-12s  %s", p.port, Count(p.records),
                                   formatNameOf(p.format).c_str(), howChosen(p).c_str()));
        }
    }
}

constexpr const char* kInterfaceRow = "%9s  %-17s  %-12s  %-14s  %7s  %7s  %5s  %7s  %7s";

std::string interfaceRow(const PcapngChannel& c) {
    const PcapngLink link = pcapngLinkOf(c.format);
    return format("%9lld  %-17s  %-12s  %-14s  %7llu  %7llu  %5llu  %7llu  %7llu",
                  static_cast<long long>(c.interfaceId), c.name.c_str(),
                  std::string(frameFormatName(c.format)).c_str(),
                  format("%u %s", link.linkType, std::string(link.name).c_str()).c_str(),
                  Count(c.in), Count(c.out), Count(c.crcErrors), Count(c.skipped),
                  Count(c.refused));
}

struct Sums {
    Count in = 0, out = 0, crc = 0, skipped = 0, refused = 0;
};

void interfaceRows(const ExportSummary& s, std::vector<std::string>& lines, Sums& sums) {
    lines.push_back(format(kInterfaceRow, "Interface", "Name", "Format", "Link type", "In", "Out",
                           "CRC", "Skipped", "Refused"));
    for (const PcapngChannel* c : s.writer.interfaces()) {
        lines.push_back(interfaceRow(*c));
        sums.in += c->in;
        sums.out += c->out;
        sums.crc += c->crcErrors;
        sums.skipped += c->skipped;
        sums.refused += c->refused;
    }
    lines.push_back(format("%9s  %-17s  %-12s  %-14s  %7llu  %7llu  %5llu  %7llu  %7llu", "",
                           "Total", "", "", sums.in, sums.out, sums.crc, sums.skipped,
                           sums.refused));
}

}  // namespace

std::vector<std::string> reportLines(const ExportSummary& s) {
    const std::string output = s.settings.output == "-" ? "standard output" : s.settings.output;
    std::vector<std::string> lines;
    Sums sums;
    std::vector<std::string> table;
    interfaceRows(s, table, sums);
    if (s.settings.split != Split::None) {
        lines.push_back(format("%s -> %zu pcap files: %zu interfaces, %llu packets",
                               s.settings.trace.c_str(), s.writer.splitFiles().size(),
                               s.writer.interfaces().size(), sums.in + sums.out));
        for (const SplitFile& f : s.writer.splitFiles()) {
            lines.push_back(format("  %s: link type %u, %llu packets", f.name.c_str(),
                                   unsigned{f.linkType}, Count(f.packets)));
        }
    } else {
        lines.push_back(format("%s -> %s: %zu interfaces, %llu packets",
                               s.settings.trace.c_str(), output.c_str(),
                               s.writer.interfaces().size(), sums.in + sums.out));
    }
    lines.emplace_back();
    portRows(s, lines);
    lines.emplace_back();
    lines.insert(lines.end(), table.begin(), table.end());
    lines.emplace_back();
    const PcapngTotals& t = s.writer.totals();
    const Count skipped = sums.skipped + s.writer.skippedWithoutInterface();
    lines.push_back(format("%llu records: %llu packets, %llu skipped by the filter, %llu refused "
                           "by the framing, %llu on ports not exported",
                           Count(t.records), sums.in + sums.out, skipped, sums.refused,
                           Count(t.notExported)));
    return lines;
}

std::vector<std::string> portWarnings(const ExportSummary& s) {
    std::vector<std::string> warnings;
    std::string unnamed;
    int count = 0;
    for (const PortChoice& p : s.ports) {
        if (p.choice == Choice::Unrecognised && p.judged != 0) {
            unnamed += (count++ == 0 ? "" : ", ") + std::to_string(p.port);
        }
        if (p.choice != Choice::NotAsked && p.records == 0) {
            warnings.push_back("port " + std::to_string(p.port) + ": no records in the trace");
        }
    }
    if (!unnamed.empty()) {
        warnings.insert(warnings.begin(),
                        "not exported, frame format not recognised: " +
                            std::string(count == 1 ? "port " : "ports ") + unnamed +
                            "; name it with -p PORT=FORMAT (ethernet, ppp-sync, ppp-async, "
                            "raw-ip, i4b or internal-udp)");
    }
    return warnings;
}

}  // namespace ornpcap::orn2pcapng
