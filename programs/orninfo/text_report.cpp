#include "orninfo/text_report.hpp"

#include <algorithm>
#include <cstdio>

#include "orninfo/text_table.hpp"
#include "orninfo/trace_text.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap::orninfo {

namespace {

constexpr size_t kNameWidth = 22;

void field(std::string& text, std::string_view name, const std::string& value) {
    std::string label = std::string(name) + ":";
    label.resize(std::max(label.size() + 1, kNameWidth), ' ');
    text += label + value + "\n";
}

std::string n(uint64_t value) { return std::to_string(value); }

// Control characters of a description shown as '.'.
std::string printable(std::string text) {
    for (char& c : text) {
        c = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '.' : c;
    }
    return text;
}

void headerFields(std::string& text, const HeaderFacts& h) {
    if (!h.known) {
        field(text, "Header", "damaged: its fields are not shown");
        return;
    }
    field(text, "Format version", n(h.versionMajor) + "." + n(h.versionMinor));
    field(text, "Header size", n(h.header.headerSize) + " bytes");
    field(text, "Description", printable(descriptionOf(h.header)));
    const std::optional<std::string> offset = utcOffsetOf(h);
    field(text, "Start (as recorded)",
          startOf(h.header) + (offset ? " (device clock, UTC" + *offset + ")" : " (device clock)"));
    field(text, "UTC offset", offset.value_or("(not recorded before version 8)"));
    field(text, "Snap length", n(h.header.snapLength()) + " bytes");
}

std::string blockCounts(const TraceInventory& inventory) {
    const BlockTally& b = inventory.blocks;
    const TrailerFacts& t = inventory.trailer;
    const std::string kinds = n(b.compressed) + " compressed, " + n(b.stored) + " stored";
    const uint32_t read = b.stored + b.compressed;
    if (t.known && read == t.trailer.blockCount()) {
        return n(read) + " (" + kinds + ")";
    }
    const std::string announced = t.known ? n(t.trailer.blockCount()) + " in the trailer, " : "";
    return announced + n(read) + " read (" + kinds + ")";
}

std::string ratio(const BlockTally& b) {
    if (b.blockBytes == 0) {
        return n(b.expandedBytes);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%s (%.2f times the block data)", n(b.expandedBytes).c_str(),
                  double(b.expandedBytes) / double(b.blockBytes));
    return text;
}

void blockFields(std::string& text, const TraceInventory& inventory) {
    const TrailerFacts& t = inventory.trailer;
    if (!t.known) {
        field(text, "Trailer", "damaged: its fields are not shown");
    }
    field(text, "Blocks", blockCounts(inventory));
    if (t.known) {
        field(text, "Largest block", n(t.trailer.maxBlockLength()) + " bytes (maxBlockLength)");
        field(text, "Block stream", n(t.trailer.streamLength()) + " bytes (streamLength)");
    }
    field(text, "Expanded bytes", ratio(inventory.blocks));
}

void recordFields(std::string& text, const TraceInventory& inventory) {
    field(text, "Event records", n(inventory.records));
    if (inventory.records == 0 || !inventory.header.known) {
        return;
    }
    const TraceClock clock = clockOf(inventory.header);
    const auto when = [&](uint32_t ms) {
        return recordTime(clock, ms) + " (" + secondsOf(ms) + " s)";
    };
    field(text, "First record", when(inventory.firstMs));
    field(text, "Last record", when(inventory.lastMs));
    const int64_t elapsed = int64_t{inventory.lastMs} - inventory.firstMs;
    field(text, "Elapsed time", elapsed >= 0 ? durationOf(static_cast<uint64_t>(elapsed))
                                             : "-" + durationOf(static_cast<uint64_t>(-elapsed)));
}

void integrityFields(std::string& text, const Integrity& integrity) {
    if (integrity.intact) {
        field(text, "Integrity", "OK");
        return;
    }
    field(text, "Integrity", "DAMAGED: " + integrity.detail);
    const int code = exitCode(integrity.result);
    field(text, "OrnPcap exits with",
          code == 0 ? "0 (converts the records read)"
                    : n(code) + " (" + std::string(resultMessage(integrity.result)) + ")");
}

// What the lsn field of an ETHERNET record holds: the protocol code.
struct ProtocolCode {
    uint16_t code;
    const char* name;
};
constexpr ProtocolCode kProtocolCodes[] = {
    {1, "IPv4"}, {2, "ARP"}, {5, "PPPoE Discovery"}, {6, "PPPoE Session"}, {7, "whole frame"},
};

std::string lsnText(uint16_t lsn, bool ethernet) {
    char text[48];
    if (!ethernet) {
        std::snprintf(text, sizeof text, "%04X", unsigned{lsn});
        return text;
    }
    const char* name = "not converted";
    for (const ProtocolCode& p : kProtocolCodes) {
        name = p.code == lsn ? p.name : name;
    }
    std::snprintf(text, sizeof text, "code %u (%s)", unsigned{lsn}, name);
    return text;
}

bool looksEthernet(const TraceInventory& inventory, uint16_t port) {
    for (const PortSummary& p : inventory.ports) {
        if (p.port == port) {
            return p.guess.format == static_cast<int32_t>(FrameFormat::Ethernet);
        }
    }
    return false;
}

std::string channelTable(const TraceInventory& inventory) {
    TextTable table{{{"Port"}, {"LSN", false}, {"Records"}, {"In"}, {"Out"}, {"Other"},
                     {"Bad status"}, {"Bytes"}, {"First (s)"}, {"Last (s)"}},
                    {}};
    for (const ChannelTally& c : inventory.channels) {
        table.rows.push_back({n(c.port), lsnText(c.lsn, looksEthernet(inventory, c.port)),
                              n(c.records), n(c.in), n(c.out), n(c.otherEvents), n(c.badStatus),
                              n(c.capturedBytes), secondsOf(c.firstMs), secondsOf(c.lastMs)});
    }
    std::string text = table.render();
    for (const PortSummary& p : inventory.ports) {
        if (looksEthernet(inventory, p.port)) {
            text += "  (the LSN of an ETHERNET port is the protocol code of its frames)\n";
            break;
        }
    }
    return text;
}

// Where the format is unknown, how to name it.
std::string commandCell(const PortSummary& p) {
    if (!p.command.empty()) {
        return p.command;
    }
    return p.commandNote.empty() ? "(name the format with -f)"
                                 : "(name the format: orn2pcapng -p" + n(p.port) + "=FORMAT)";
}

std::string portTable(const TraceInventory& inventory) {
    TextTable table{{{"Port"}, {"Records"}, {"Format", false}, {"Confidence"}, {"Command", false}},
                    {}};
    for (const PortSummary& p : inventory.ports) {
        const int32_t id = p.guess.format;
        char confidence[16];
        std::snprintf(confidence, sizeof confidence, "%.2f", p.guess.confidence);
        table.rows.push_back(
            {n(p.port), n(p.records),
             id == 0 ? "unknown" : std::string(frameFormatName(static_cast<FrameFormat>(id))),
             confidence, commandCell(p)});
    }
    std::string text = table.render();
    for (const PortSummary& p : inventory.ports) {
        if (!p.commandNote.empty()) {
            text += "  (port " + n(p.port) + ": " + p.commandNote + ")\n";
        }
    }
    return text;
}

}  // namespace

std::string inventoryAsText(const TraceInventory& inventory) {
    std::string text;
    field(text, "File name", inventory.file);
    field(text, "File size", n(inventory.size) + " bytes");
    headerFields(text, inventory.header);
    blockFields(text, inventory);
    recordFields(text, inventory);
    integrityFields(text, inventory.integrity);
    if (!inventory.channels.empty()) {
        text += "\nChannels:\n" + channelTable(inventory);
        text += "\nPorts:\n" + portTable(inventory);
    }
    return text;
}

}  // namespace ornpcap::orninfo
