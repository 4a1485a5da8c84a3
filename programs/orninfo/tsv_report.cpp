#include "orninfo/tsv_report.hpp"

#include <vector>

#include "orninfo/outcome.hpp"
#include "orninfo/trace_text.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap::orninfo {

namespace {

constexpr const char* kColumns[] = {"file",     "exitStatus", "verdict",   "version", "size",
                                    "blocks",   "records",    "clock",     "firstTime",
                                    "lastTime", "duration",   "channels",  "ports",   "problem"};
constexpr size_t kColumnCount = std::size(kColumns);

std::string escaped(std::string_view text) {
    std::string cell;
    for (const char c : text) {
        switch (c) {
            case '\\': cell += "\\\\"; break;
            case '\t': cell += "\\t"; break;
            case '\n': cell += "\\n"; break;
            case '\r': cell += "\\r"; break;
            default: cell += c;
        }
    }
    return cell;
}

std::string joined(const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        line += (i == 0 ? "" : "\t") + escaped(cells[i]);
    }
    return line + "\n";
}

std::string n(uint64_t value) { return std::to_string(value); }

std::string portList(const TraceInventory& inventory) {
    std::string list;
    for (const PortSummary& p : inventory.ports) {
        const int32_t id = p.guess.format;
        list += (list.empty() ? "" : ",") + n(p.port) + ":" +
                (id == 0 ? "unknown" : std::string(frameFormatName(static_cast<FrameFormat>(id))));
    }
    return list;
}

// The columns from version to ports of a trace that has a report.
void traceCells(const TraceInventory& inventory, std::vector<std::string>& cells) {
    const HeaderFacts& h = inventory.header;
    const bool timed = h.known && inventory.records != 0;
    const TraceClock clock = clockOf(h);
    const int64_t elapsed = int64_t{inventory.lastMs} - inventory.firstMs;
    cells.push_back(h.known ? n(h.versionMajor) + "." + n(h.versionMinor) : "");
    cells.push_back(n(inventory.size));
    cells.push_back(n(inventory.blocks.stored + inventory.blocks.compressed));
    cells.push_back(n(inventory.records));
    cells.push_back(h.known ? clockName(clock) : "");
    cells.push_back(timed ? recordTimeBare(clock, inventory.firstMs) : "");
    cells.push_back(timed ? recordTimeBare(clock, inventory.lastMs) : "");
    cells.push_back(inventory.records == 0 ? ""
                    : elapsed >= 0         ? secondsOf(static_cast<uint64_t>(elapsed))
                                           : "-" + secondsOf(static_cast<uint64_t>(-elapsed)));
    cells.push_back(n(inventory.channels.size()));
    cells.push_back(portList(inventory));
}

}  // namespace

std::string tsvHeader() {
    return joined(std::vector<std::string>(std::begin(kColumns), std::end(kColumns)));
}

std::string tsvLine(const InventoryResult& result) {
    const int status = exitStatusOf(result);
    std::vector<std::string> cells = {result.inventory.file, n(static_cast<uint64_t>(status)),
                                      status == kIntact    ? "intact"
                                      : status == kDamaged ? "damaged"
                                                           : "failed"};
    if (status == kFailed) {
        cells.resize(kColumnCount - 1);
        cells.push_back(errorOf(result));
    } else {
        traceCells(result.inventory, cells);
        cells.push_back(result.inventory.integrity.detail);
    }
    return joined(cells);
}

}  // namespace ornpcap::orninfo
