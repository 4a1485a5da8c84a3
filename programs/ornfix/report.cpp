#include "ornfix/report.hpp"

#include <cstdio>
#include <algorithm>

#include "suite/console.hpp"
#include "suite/record_time.hpp"
#include "suite/say.hpp"

namespace ornpcap::ornfix {

namespace {

std::string n(uint64_t value) { return std::to_string(value); }

std::string hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// "bytes 2010 to 2415 (406 bytes)": the last byte named, not the one after it.
std::string byteRange(uint64_t from, uint64_t to) {
    if (to <= from) {
        return "no bytes";
    }
    return "bytes " + n(from) + " to " + n(to - 1) + " (" + n(to - from) +
           (to - from == 1 ? " byte)" : " bytes)");
}

std::string plural(uint64_t count, const char* one, const char* many) {
    return n(count) + " " + (count == 1 ? one : many);
}

struct Context {
    const SalvagePlan& plan;
    TraceClock clock;  // of the record times
};

std::string timeOf(const Context& c, uint32_t ms) { return recordTime(c.clock, ms); }

// What a break did to the records, in one line.
std::string breakLine(const Context& c, const StreamBreak& b) {
    std::string text = "records: " + plural(b.recordsCut, "record", "records") +
                       " cut by it, " + plural(b.bytesDropped, "byte", "bytes") +
                       " of records dropped before the first whole record after it";
    if (b.hasBefore && b.hasAfter) {
        return text + "; records between " + timeOf(c, b.timeBefore) + " and " +
               timeOf(c, b.timeAfter) + " lost";
    }
    if (b.hasAfter) {
        return text + "; records before " + timeOf(c, b.timeAfter) + " lost";
    }
    return text + (b.hasBefore ? "; no whole record proven after " + timeOf(c, b.timeBefore)
                               : "; no whole record proven after it");
}

std::string nextBlock(const Finding& f) {
    return "block " + n(f.nextPosition) + " at offset " + n(f.nextOffset) + " intact" +
           (f.walkedOn ? " (reached by the damaged block's length)" : " (found by a search)");
}

std::string damaged(const Context&, const Finding& f) {
    const std::string lost = f.blocksLost == 0
                                 ? "no block lost: the record stream runs on"
                                 : plural(f.blocksLost, "block", "blocks") + " lost";
    return "damaged: " + describe(f.fault) + "; " + byteRange(f.from, f.to) +
           " dropped, " + lost + "; " + nextBlock(f);
}

std::string missing(const Context&, const Finding& f) {
    const uint32_t first = f.nextPosition - f.blocksLost;
    const std::string which =
        f.blocksLost == 1 ? "block " + n(first)
                          : "blocks " + n(first) + " to " + n(f.nextPosition - 1);
    const std::string where = first == 1 ? "the first intact block is block "
                                         : "block " + n(first - 1) + " is followed by block ";
    return "missing: " + which + ": " + where + n(f.nextPosition) + " at offset " +
           n(f.nextOffset);
}

std::string duplicate(const Context&, const Finding& f) {
    return "duplicate: block " + n(f.nextPosition) + " written again at offset " + n(f.from) +
           ", byte for byte as at offset " + n(f.nextOffset) + ": " + byteRange(f.from, f.to) +
           " dropped, the record stream runs on";
}

// Text bytes as they read, those that are not printable as \xNN.
std::string quoted(std::span<const uint8_t> bytes) {
    std::string text = "\"";
    for (const uint8_t b : bytes) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
        const bool plain = b >= 0x20 && b < 0x7F && b != '"' && b != '\\';
        text += plain ? std::string(1, static_cast<char>(b)) : std::string(escaped);
    }
    return text + "\"";
}

std::string headerRebuilt(const HeaderFinding& h) {
    const std::array<uint8_t, 203>& b = h.bytes;
    const std::string fcs =
        h.fcsRestored ? "with which the FCS-16 it carries is right again"
                      : "its FCS-16 still wrong (" + hex4(h.storedFcs) + ", its bytes give " +
                            hex4(h.rewrittenFcs) + "): FCS rewritten";
    return "header: FCS-16 wrong and its text " + quoted(h.damagedText) +
           " not that of the trace block 1 and the trailer show, version " + n(h.versionMajor) +
           " (header " + n(h.size) + " bytes): text rebuilt as " +
           quoted(std::span(b).subspan(header_offset::fileType, h.damagedText.size())) + ", " +
           fcs;
}

std::string headerRewritten(const Context& c, const Finding&) {
    const HeaderFinding& h = c.plan.header;
    if (h.state == HeaderState::Rebuilt) {
        return headerRebuilt(h);
    }
    return "header: FCS-16 wrong (" + hex4(h.storedFcs) + ", its bytes give " +
           hex4(h.rewrittenFcs) + ") while its fields are a trace's (TRC, version " +
           n(h.versionMajor) + "." + n(h.versionMinor) +
           ", sub-version 01): FCS rewritten; the header itself was damaged";
}

// What takes the old trailer's place: a new one, when anything is written.
std::string newTrailer(const Context& c, const char* lead) {
    if (c.plan.records.records == 0) {
        return "";
    }
    return lead + std::string("a new one computed from the blocks kept");
}

std::string cutShort(const Context& c, const Finding& f) {
    return "cut short: " + describe(f.fault) + ": the file ends there and its " +
           "trailer is gone; " + byteRange(f.from, f.to) + " dropped" +
           (c.plan.records.records != 0 ? "; a new trailer computed from the blocks kept" : "");
}

std::string afterStream(const Context&, const Finding& f) {
    return "after the block stream: " + byteRange(f.from, f.to) + " that are no block: dropped";
}

std::string damagedAtEnd(const Context&, const Finding& f) {
    return "damaged: " + describe(f.fault) + "; " + byteRange(f.from, f.to) +
           " dropped, no intact block after it";
}

std::string trailerDamaged(const Context& c, const Finding& f) {
    const std::string why = f.fault.check == TraceCheck::TrailerChecksum
                                ? "checksum wrong"
                                : describe(f.fault);
    return "trailer: " + why + newTrailer(c, ": ");
}

std::string trailerMissing(const Context& c, const Finding& f) {
    const std::string after =
        f.to == f.from ? "" : plural(f.to - f.from, "byte", "bytes") + " (dropped) ";
    const std::string why = "missing: the file ends " + after + "after the last intact block";
    return "trailer: " + why + newTrailer(c, ": ");
}

std::string trailerDisagrees(const Context& c, const Finding& f) {
    return "trailer: intact, but " + f.detail + newTrailer(c, ": ");
}

std::string lastRecord(const Context& c, const Finding&) {
    const StreamBreak& t = c.plan.tail;
    const std::string bytes = plural(t.bytesDropped, "byte", "bytes");
    const std::string text =
        "end of the records: " +
        (t.recordsCut != 0 ? "1 record cut short (" + bytes + ")"
                           : bytes + " not proven to be whole records") +
        " dropped";
    return t.hasBefore ? text + "; records after " + timeOf(c, t.timeBefore) + " lost" : text;
}

std::string tooMany(const Context&, const Finding& f) {
    return "too many blocks: a trace counts at most 65535; " + byteRange(f.from, f.to) +
           " dropped";
}

using Wording = std::string (*)(const Context&, const Finding&);
struct KindWording {
    FindingKind kind;
    Wording wording;
};
constexpr KindWording kWordings[] = {
    {FindingKind::HeaderRewritten, headerRewritten},
    {FindingKind::DamagedBlocks, damaged},
    {FindingKind::MissingBlocks, missing},
    {FindingKind::DuplicateBlock, duplicate},
    {FindingKind::CutShort, cutShort},
    {FindingKind::BytesAfterStream, afterStream},
    {FindingKind::DamagedAtEnd, damagedAtEnd},
    {FindingKind::TrailerDamaged, trailerDamaged},
    {FindingKind::TrailerMissing, trailerMissing},
    {FindingKind::TrailerDisagrees, trailerDisagrees},
    {FindingKind::IncompleteLastRecord, lastRecord},
    {FindingKind::TooManyBlocks, tooMany},
};

std::string wordingOf(const Context& c, const Finding& f) {
    for (const KindWording& w : kWordings) {
        if (w.kind == f.kind) {
            return w.wording(c, f);
        }
    }
    return "";
}

Context contextOf(const SalvagePlan& plan) {
    return {plan, traceClock(widenHeader(plan.header.bytes, plan.header.size),
                             plan.header.versionMajor)};
}

}  // namespace

void Report::line(std::string_view text) const {
    if (toStandardError_) {
        console::errorLine(text);
    } else {
        console::printLine(text);
    }
}

void Report::findings(const std::string& traceName, const SalvagePlan& plan) const {
    line(traceName + ": format version " + n(plan.header.versionMajor) + " (header " +
         n(plan.header.size) + " bytes), " + plural(plan.fileSize, "byte", "bytes"));
    const Context c = contextOf(plan);
    for (const Finding& f : plan.findings) {
        line(wordingOf(c, f));
        if (f.streamBreak >= 0) {
            line(breakLine(c, plan.breaks[static_cast<size_t>(f.streamBreak)]));
        }
    }
}

void Report::keptAndDropped(const SalvagePlan& plan) const {
    const Context c = contextOf(plan);
    const StreamCounts& r = plan.records;
    const uint32_t kept = plan.blocksKept();
    const auto whole = std::count_if(plan.blocks.begin(), plan.blocks.end(),
                                     [](const KeptBlock& b) { return b.wholeKept(); });
    std::string text = "kept: " + plural(r.records, "record", "records") + " in " +
                       plural(kept, "block", "blocks") + " (" + n(static_cast<uint64_t>(whole)) +
                       " of them whole)";
    if (r.records != 0) {
        text += ", " + timeOf(c, r.firstTime) + " to " + timeOf(c, r.lastTime);
    }
    line(text);
    uint64_t bytes = 0;
    uint64_t blocks = 0;
    for (const Finding& f : plan.findings) {
        bytes += f.to - f.from;
        blocks += f.blocksLost;
    }
    uint64_t cut = plan.tail.recordsCut;
    for (const StreamBreak& b : plan.breaks) {
        cut += b.recordsCut;
    }
    line("dropped: " + plural(bytes, "byte", "bytes") + " of the trace, " +
         plural(blocks, "block", "blocks") + " missing by their numbers, " +
         plural(cut, "record", "records") + " cut");
}

void Report::written(const std::string& outputName, const WriterCounts& counts,
                     bool dryRun) const {
    line(std::string(dryRun ? "dry run: nothing written; " : "written: ") + outputName +
         (dryRun ? " would hold " : " holds ") + plural(counts.blocks, "block", "blocks") + " (" +
         n(counts.copied) + " copied as they were, " + n(counts.newBlocks) + " new, " +
         n(counts.compressed) + " of them compressed)" +
         (counts.full ? "; it reached 65535 blocks and the rest was dropped" : ""));
}

TraceSummary plannedSummary(const SalvagePlan& plan, const WriterCounts& counts) {
    TraceSummary s;
    s.versionMajor = plan.header.versionMajor;
    s.blocks = counts.blocks;
    s.records = plan.records.records;
    s.firstTime = plan.records.firstTime;
    s.lastTime = plan.records.lastTime;
    s.header = widenHeader(plan.header.bytes, plan.header.size);
    return s;
}

}  // namespace ornpcap::ornfix
