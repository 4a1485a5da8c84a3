#include "orninfo/inventory.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "suite/say.hpp"
#include "base/file_io.hpp"
#include "orninfo/port_command.hpp"
#include "trace/trace_file.hpp"
#include "trace/trace_stream.hpp"

namespace ornpcap::orninfo {

namespace {

using Head = std::array<uint8_t, kHeaderSizeV8>;

// The size of a file that can be opened as a trace; false, with the reason,
// when there is none or it is a folder.
bool sizeOf(const std::string& name, uint64_t& size, std::string& reason) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        reason = std::strerror(EISDIR);
        return false;
    }
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

// What OrnPcap's probe and version test make of the trace.
ResultCode probe(const std::string& name, HeaderFacts& facts, TraceFault& fault) {
    return probeConvertibleTrace(name, facts.versionMajor, facts.versionMinor, fault);
}

// Up to n bytes from the given offset (from the end when negative); zeros
// where the file holds none.
template <size_t N>
std::array<uint8_t, N> readAt(const std::string& name, long offset) {
    std::array<uint8_t, N> bytes{};
    FileHandle file(std::fopen(name.c_str(), "rb"));
    if (file && std::fseek(file.get(), offset, offset < 0 ? SEEK_END : SEEK_SET) == 0) {
        (void)std::fread(bytes.data(), 1, N, file.get());
    }
    return bytes;
}

// The header of a trace the probe refused, where one of its forms is intact.
HeaderFacts headerOfRefused(const Head& head) {
    const HeaderMatch match = recogniseHeader(head, HeaderVersions{});
    const uint32_t size = match.size != 0 ? match.size : match.intactSize;
    HeaderFacts facts;
    if (size != 0) {
        facts.known = true;
        facts.header = widenHeader(head, size);
        facts.versionMajor = static_cast<uint16_t>(std::max(0L, match.text.versionMajor));
        facts.versionMinor = static_cast<uint16_t>(std::max(0L, match.text.versionMinor));
    }
    return facts;
}

// The trailer of a trace the probe refused, where it passes its checksum.
TrailerFacts trailerOfRefused(const std::string& name, const TraceInventory& inventory) {
    TrailerFacts facts;
    if (inventory.size < kSmallestTrace) {
        return facts;
    }
    facts.trailer.bytes = readAt<kTrailerSize>(name, -static_cast<long>(kTrailerSize));
    const uint32_t headerSize =
        inventory.header.known ? inventory.header.header.headerSize : kHeaderSizeV5;
    facts.known = checkTrailer(facts.trailer, inventory.size, headerSize) != TrailerCheck::BadFcs;
    return facts;
}

// A trace the probe refused: a damaged trace gets its report, anything else is no trace.
void refused(const std::string& name, const TraceFault& fault, InventoryResult& result) {
    const Head head = readAt<kHeaderSizeV8>(name, 0);
    if (fault.check == TraceCheck::CannotOpen || !hasTraceType(head)) {
        result.status = fault.check == TraceCheck::CannotOpen ? InventoryStatus::CannotOpen
                                                              : InventoryStatus::NotATrace;
        result.reason = describe(fault);
        return;
    }
    TraceInventory& inventory = result.inventory;
    inventory.header = headerOfRefused(head);
    inventory.trailer = trailerOfRefused(name, inventory);
    inventory.integrity.result = fault.code;
    inventory.integrity.intact = false;
    inventory.integrity.fault = fault;
    inventory.integrity.detail = describe(fault);
}

std::string detailOf(const Integrity& integrity, const TraceReport& report) {
    if (integrity.fault.failed()) {
        return describe(integrity.fault);
    }
    std::string detail;
    if (integrity.incompleteBytes != 0) {
        detail = "the record stream ends in an incomplete record of " +
                 std::to_string(integrity.incompleteBytes) + " bytes, dropped";
    }
    if (integrity.blockAfterEnd) {
        detail += (detail.empty() ? "" : "; ") + diagnostics::describeBlocksLeftUnread(report);
    }
    return detail;
}

Integrity integrityOf(ResultCode rc, const TraceReport& report) {
    Integrity integrity;
    // A trace without blocks is intact; OrnPcap finds no events in it.
    const bool noBlocks = rc == ResultCode::NoEvents && report.validated &&
                          report.trailer.blockCount() == 0;
    integrity.result = noBlocks ? ResultCode::Ok : rc;
    integrity.fault = report.fault;
    integrity.incompleteBytes = report.incompleteBytes;
    integrity.blockAfterEnd = report.blockAfterEnd;
    integrity.intact = integrity.result == ResultCode::Ok && integrity.incompleteBytes == 0 &&
                       !integrity.blockAfterEnd;
    integrity.detail = detailOf(integrity, report);
    return integrity;
}

PortSummary summaryOf(const std::string& trace, uint16_t port, const PortTally& tally,
                      const std::vector<ChannelTally>& channels) {
    PortSummary summary{port, tally.records, tally.recogniser.best(), {}, {}, {}};
    std::vector<uint16_t> every;
    for (const ChannelTally& channel : channels) {
        if (channel.port == port) {
            every.push_back(channel.lsn);
            if (channel.frames != 0) {
                summary.lsns.push_back(channel.lsn);
            }
        }
    }
    if (summary.lsns.empty()) {
        summary.lsns = every;
    }
    PortCommand command = portCommand(trace, port, summary.guess.format, summary.lsns);
    summary.command = std::move(command.command);
    summary.commandNote = std::move(command.note);
    return summary;
}

void collect(const RecordTally& tally, const BlockCounter& blocks, TraceInventory& inventory) {
    inventory.blocks = blocks.tally();
    inventory.records = tally.records();
    inventory.firstMs = tally.firstMs();
    inventory.lastMs = tally.lastMs();
    inventory.channels = tally.channels();
    // OrnPcap reads a file: a trace from standard input is named as the
    // file to save it to.
    const std::string trace = inventory.file == "-" ? "Trace.orn" : inventory.file;
    for (const auto& [port, counts] : tally.ports()) {
        inventory.ports.push_back(summaryOf(trace, port, counts, inventory.channels));
    }
}

// What a run that was not interrupted learned: header, trailer, integrity,
// the blocks and records read.
bool taken(ResultCode rc, const TraceReport& report, InventoryResult& result) {
    if (rc == ResultCode::Interrupted ||
        (rc == ResultCode::OutOfMemory && !report.fault.failed())) {
        result.status = rc == ResultCode::Interrupted ? InventoryStatus::Interrupted
                                                      : InventoryStatus::OutOfMemory;
        return false;
    }
    TraceInventory& inventory = result.inventory;
    inventory.header.header = report.header;
    inventory.trailer.trailer = report.trailer;
    // Read in one pass, a trailer whose checksum holds is known even where
    // its streamLength does not fit.
    inventory.trailer.known =
        report.validated ||
        (report.streamed && report.length >= kSmallestTrace &&
         checkTrailer(report.trailer, report.length, report.header.headerSize) !=
             TrailerCheck::BadFcs);
    inventory.header.known = report.validated || report.headerKnown;
    inventory.integrity = integrityOf(rc, report);
    return true;
}

// Every block of a trace the probe accepted, to the end or the first damage.
void readWhole(const std::string& path, BlockObserver* progress, InventoryResult& result) {
    TraceInventory& inventory = result.inventory;
    RecordTally tally;
    BlockCounter blocks(progress);
    TraceReport report;
    const TraceRequest request{path, inventory.header.versionMajor,
                               inventory.header.versionMinor, &blocks};
    const ResultCode rc = readTrace(request, tally, &report);
    if (taken(rc, report, result)) {
        collect(tally, blocks, inventory);
    }
}

// The trace in one pass, as it comes (a pipe), or a file whose trailer the
// probe refused (cut short, say): its blocks up to the damage, the trailer
// checked at the end.
void readOnePass(int fd, bool fromPipe, BlockObserver* progress, InventoryResult& result) {
    TraceInventory& inventory = result.inventory;
    RecordTally tally;
    BlockCounter blocks(progress);
    TraceReport report;
    const ResultCode rc = readTraceStream(fd, {inventory.file, 0, 0, &blocks}, tally, &report);
    if (!report.headerKnown && rc != ResultCode::Interrupted) {
        const TraceCheck check = report.fault.check;
        if (check == TraceCheck::NotATrace || check == TraceCheck::FileTooShort ||
            check == TraceCheck::HeadUnreadable || check == TraceCheck::HeaderDamaged) {
            result.status = InventoryStatus::NotATrace;
            result.reason = describe(report.fault);
            return;
        }
    }
    if (!taken(rc, report, result)) {
        return;
    }
    inventory.header.versionMajor = report.versionMajor;
    inventory.header.versionMinor = report.versionMinor;
    if (fromPipe) {
        inventory.size = report.length;
    }
    collect(tally, blocks, inventory);
}

// A trailer fault the probe found: the blocks before it may still read.
bool trailerFault(const TraceFault& fault) {
    return fault.check == TraceCheck::TrailerChecksum || fault.check == TraceCheck::StreamTooLong ||
           fault.check == TraceCheck::TrailerUnreadable;
}

void readRefusedTrailer(const std::string& path, BlockObserver* progress,
                        InventoryResult& result) {
    const FdHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.isOpen()) {
        readOnePass(fd.get(), false, progress, result);
    }
}

}  // namespace

InventoryResult takeInventory(const std::string& name, BlockObserver* progress) {
    InventoryResult result;
    result.inventory.file = name;
    try {
        if (name == "-" && readsInOnePass(STDIN_FILENO)) {
            readOnePass(STDIN_FILENO, true, progress, result);
            return result;
        }
        // Standard input that is a file is read as the file.
        const std::string path = name == "-" ? "/dev/stdin" : name;
        if (!sizeOf(path, result.inventory.size, result.reason)) {
            result.status = InventoryStatus::CannotOpen;
            return result;
        }
        TraceFault fault;
        if (probe(path, result.inventory.header, fault) != ResultCode::Ok) {
            refused(path, fault, result);
            if (result.status == InventoryStatus::Taken && result.inventory.header.known &&
                trailerFault(fault)) {
                readRefusedTrailer(path, progress, result);
            }
            return result;
        }
        readWhole(path, progress, result);
    } catch (const std::bad_alloc&) {
        result.status = InventoryStatus::OutOfMemory;
    }
    return result;
}

}  // namespace ornpcap::orninfo
