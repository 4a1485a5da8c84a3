#include "orninfo/json_report.hpp"

#include "orninfo/json_writer.hpp"
#include "orninfo/outcome.hpp"
#include "orninfo/trace_text.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap::orninfo {

namespace {

// The value, or null where the trace does not tell it.
template <class Write>
void valueOrNull(JsonWriter& json, std::string_view key, bool known, Write write) {
    json.key(key);
    if (known) {
        write();
    } else {
        json.null();
    }
}

void writeHeader(JsonWriter& json, const HeaderFacts& h) {
    valueOrNull(json, "version", h.known, [&] {
        json.beginObject().key("major").number(h.versionMajor);
        json.key("minor").number(h.versionMinor).endObject();
    });
    valueOrNull(json, "headerSize", h.known, [&] { json.number(h.header.headerSize); });
    valueOrNull(json, "description", h.known, [&] { json.string(descriptionOf(h.header)); });
    valueOrNull(json, "start", h.known, [&] { json.string(startOf(h.header)); });
    const std::optional<std::string> offset = utcOffsetOf(h);
    valueOrNull(json, "utcOffset", offset.has_value(), [&] { json.string(*offset); });
    valueOrNull(json, "snapLength", h.known, [&] { json.number(h.header.snapLength()); });
}

void writeBlocks(JsonWriter& json, const TraceInventory& inventory) {
    const TrailerFacts& t = inventory.trailer;
    const BlockTally& b = inventory.blocks;
    json.key("blocks").beginObject();
    valueOrNull(json, "count", t.known, [&] { json.number(t.trailer.blockCount()); });
    json.key("stored").number(b.stored);
    json.key("compressed").number(b.compressed);
    valueOrNull(json, "maxBlockLength", t.known, [&] { json.number(t.trailer.maxBlockLength()); });
    valueOrNull(json, "streamLength", t.known, [&] { json.number(t.trailer.streamLength()); });
    json.key("expandedBytes").number(b.expandedBytes);
    json.endObject();
}

void writeIntegrity(JsonWriter& json, const Integrity& integrity) {
    const int code = exitCode(integrity.result);
    const bool atBlock = integrity.fault.failed() && integrity.fault.block != 0;
    json.key("integrity").beginObject();
    json.key("result").number(code);
    json.key("message").string(code == 0 ? std::string_view() : resultMessage(integrity.result));
    json.key("detail").string(integrity.detail);
    valueOrNull(json, "block", atBlock, [&] { json.number(integrity.fault.block); });
    valueOrNull(json, "offset", atBlock, [&] { json.number(integrity.fault.offset); });
    json.key("incompleteLastRecord").boolean(integrity.incompleteBytes != 0);
    json.endObject();
}

// An absolute time in ISO 8601 beside the milliseconds: null where the header
// is not known.
void writeTime(JsonWriter& json, std::string_view key, const HeaderFacts& h, uint32_t ms) {
    valueOrNull(json, key, h.known, [&] { json.string(recordTimeIso(clockOf(h), ms)); });
}

void writeChannel(JsonWriter& json, const HeaderFacts& h, const ChannelTally& c) {
    json.beginObject();
    json.key("port").number(c.port);
    json.key("lsn").number(c.lsn);
    json.key("records").number(c.records);
    json.key("in").number(c.in);
    json.key("out").number(c.out);
    json.key("otherEvents").number(c.otherEvents);
    json.key("badStatus").number(c.badStatus);
    json.key("capturedBytes").number(c.capturedBytes);
    json.key("firstMs").number(c.firstMs);
    json.key("lastMs").number(c.lastMs);
    writeTime(json, "firstTime", h, c.firstMs);
    writeTime(json, "lastTime", h, c.lastMs);
    json.endObject();
}

void writePort(JsonWriter& json, const PortSummary& p) {
    const int32_t id = p.guess.format;
    json.beginObject();
    json.key("port").number(p.port);
    json.key("records").number(p.records);
    valueOrNull(json, "format", id != 0, [&] {
        json.beginObject().key("id").number(id);
        json.key("name").string(frameFormatName(static_cast<FrameFormat>(id))).endObject();
    });
    json.key("confidence").fraction(p.guess.confidence, 3);
    valueOrNull(json, "command", !p.command.empty(), [&] { json.string(p.command); });
    valueOrNull(json, "commandNote", !p.commandNote.empty(),
                [&] { json.string(p.commandNote); });
    json.endObject();
}

void writeTrace(JsonWriter& json, const InventoryResult& result) {
    const TraceInventory& inventory = result.inventory;
    const HeaderFacts& h = inventory.header;
    const bool any = inventory.records != 0;
    json.beginObject();
    json.key("file").string(inventory.file);
    json.key("exitStatus").number(exitStatusOf(result));
    if (result.status != InventoryStatus::Taken) {
        json.key("error").string(errorOf(result)).endObject();
        return;
    }
    json.key("size").number(inventory.size);
    writeHeader(json, h);
    writeBlocks(json, inventory);
    json.key("records").number(inventory.records);
    valueOrNull(json, "firstMs", any, [&] { json.number(inventory.firstMs); });
    valueOrNull(json, "lastMs", any, [&] { json.number(inventory.lastMs); });
    valueOrNull(json, "clock", h.known, [&] { json.string(clockOf(h).utc ? "UTC" : "device"); });
    writeTime(json, "firstTime", any ? h : HeaderFacts{}, inventory.firstMs);
    writeTime(json, "lastTime", any ? h : HeaderFacts{}, inventory.lastMs);
    writeIntegrity(json, inventory.integrity);
    json.key("channels").beginArray();
    for (const ChannelTally& channel : inventory.channels) {
        writeChannel(json, h, channel);
    }
    json.endArray();
    json.key("ports").beginArray();
    for (const PortSummary& port : inventory.ports) {
        writePort(json, port);
    }
    json.endArray();
    json.endObject();
}

}  // namespace

std::string inventoriesAsJson(const std::vector<InventoryResult>& results) {
    JsonWriter json;
    json.beginArray();
    for (const InventoryResult& result : results) {
        writeTrace(json, result);
    }
    json.endArray();
    return json.text();
}

}  // namespace ornpcap::orninfo
