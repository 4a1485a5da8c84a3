#include "writers/vn_writer.hpp"

#include <algorithm>
#include <array>
#include <deque>
#include <cstring>
#include <new>
#include <string>

#include "base/byte_order.hpp"
#include "frames/vn_framing.hpp"
#include "writers/lsn_outputs.hpp"
#include "writers/output_file.hpp"
#include "frames/pcap_framing.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kMagicSize = 4;
constexpr uint32_t kFileHeaderSize = 188;
constexpr uint32_t kFirstPacket = kMagicSize + kFileHeaderSize;  // 192
constexpr uint32_t kPacketHeaderSize = 20;

constexpr uint32_t kStatusSent = 64;

constexpr uint8_t kMagic[kMagicSize] = {0x05, 'V', 'N', 'F'};
constexpr char kDescription[] = "Visual PPP trace created from Varnek ORN trace";
constexpr uint16_t kMediaType = 22;
constexpr uint8_t kEncapsulationHint = 14;

namespace field {
constexpr size_t packetCount = 0;
constexpr size_t startTime = 4;
constexpr size_t mediaType = 8;
constexpr size_t maxLength = 10;
constexpr size_t fileFlags = 12;
constexpr size_t fileVersion = 14;
constexpr size_t description = 124;
}  // namespace field

using FileHeader = std::array<uint8_t, kFileHeaderSize>;

}  // namespace

// One output file this run created, and what still has to be written into it.
struct VnOutput {
    std::string name;
    OutputFile file;
    FileHeader vnHeader{};
    // Offsets of the packets written so far; in chunks, so that it grows
    // without ever being copied whole.
    std::deque<uint32_t> vnIndex;
    uint64_t dataEnd = kFirstPacket;   // where the next packet goes
    bool started = false;              // header and index are held here
    // The next packet would start beyond what the index can address: the
    // file takes no more, and the run notes how many records it left out.
    FormatLimit* full = nullptr;
};

namespace {

// The header image of a new file: packetCount 0, the fixed fields, the description.
FileHeader headerDefaults() {
    FileHeader header{};
    storeLe16(&header[field::mediaType], kMediaType);
    storeLe16(&header[field::fileFlags], 1);
    storeLe16(&header[field::fileVersion], 1);
    std::memcpy(&header[field::description], kDescription, sizeof kDescription - 1);
    return header;
}

// Magic and header, as they stand at offset 0.
std::array<uint8_t, kFirstPacket> headerImage(const VnOutput& output) {
    std::array<uint8_t, kFirstPacket> image{};
    std::memcpy(image.data(), kMagic, kMagicSize);
    std::memcpy(image.data() + kMagicSize, output.vnHeader.data(), kFileHeaderSize);
    return image;
}

bool writeFileHeader(VnOutput& output) {
    const auto image = headerImage(output);
    return output.file.writeAt(0, image.data(), image.size());
}

// Writes the index behind the packets, a piece at a time, then the header in
// front, and cuts the file there.
bool writeIndexAndHeader(VnOutput& output) {
    std::array<uint8_t, 4096> piece;
    uint64_t at = output.dataEnd;
    size_t filled = 0;
    bool ok = true;
    for (size_t i = 0; i < output.vnIndex.size() && ok; ++i) {
        storeLe32(&piece[filled], output.vnIndex[i]);
        filled += 4;
        if (filled == piece.size() || i + 1 == output.vnIndex.size()) {
            ok = output.file.writeAt(at, piece.data(), filled);
            at += filled;
            filled = 0;
        }
    }
    storeLe32(&output.vnHeader[field::packetCount], static_cast<uint32_t>(output.vnIndex.size()));
    ok = ok && writeFileHeader(output);
    return ok && output.file.truncate(at);
}

// The file as readers find it if the run ends here, killed outright: the
// packets written so far on disk, the header counting them. (Readers go
// through the packets from the header on; the index follows at the end.)
bool checkpointFile(VnOutput& output) {
    if (!output.started) {
        return output.file.flush();
    }
    storeLe32(&output.vnHeader[field::packetCount], static_cast<uint32_t>(output.vnIndex.size()));
    return output.file.flush() && writeFileHeader(output);
}

// Keeps the first count packets.
void keepPackets(VnOutput& output, size_t count) {
    if (count < output.vnIndex.size()) {
        output.dataEnd = output.vnIndex[count];
        output.vnIndex.resize(count);
    }
}

// Keeps the packets that reached the disk, and returns how far that is.
uint64_t keepWrittenPackets(VnOutput& output) {
    const uint64_t written = std::min<uint64_t>(output.dataEnd, output.file.durableEnd());
    size_t kept = output.vnIndex.size();
    while (kept > 0 && output.vnIndex[kept - 1] >= written) {
        --kept;
    }
    keepPackets(output, kept);
    output.dataEnd = std::min(output.dataEnd, written);
    return written;
}

// No room for the whole index (disk full, size limit): keeps the packets
// whose index fits in the space the file had already taken.
void keepWhatTheIndexFits(VnOutput& output, uint64_t written) {
    size_t kept = output.vnIndex.size();
    while (kept > 0) {
        --kept;
        if (output.vnIndex[kept] + 4ull * kept <= written) {
            break;
        }
    }
    keepPackets(output, kept);
    writeIndexAndHeader(output);
}

// Writes index and header and closes, reopening the file first when it was
// closed to make room for others.
bool completeFile(VnOutput& output) {
    if (!output.started) {
        return output.file.close();
    }
    if (!output.file.isOpen() &&
        output.file.reopen(output.name, output.file.identity()) != ResultCode::Ok) {
        return false;
    }
    bool ok = output.file.flush();
    const uint64_t written = keepWrittenPackets(output);
    if (written < kFirstPacket) {
        // Not even the header reached the disk: no file is better than half of one.
        output.file.close();
        removeRegularFile(output.name);
        return false;
    }
    if (!writeIndexAndHeader(output)) {
        ok = false;
        keepWhatTheIndexFits(output, written);
    }
    return output.file.close() && ok;
}

bool convertFrame(FrameFormat format, const EventRecord& record, const uint8_t* payload,
                  uint8_t* frame, VnFrame& out) {
    const VnFramer framer = frameFormatRow(format).vnFrame;
    return framer != nullptr && framer(record, payload, frame, out);
}

// actualLength counts the 2 FCS bytes that the line carries for the media
// type (HDLC) but the file does not hold: readers take them off again.
void storePacketHeader(uint8_t* out, uint32_t timeDelta, const VnFrame& frame, uint32_t status) {
    constexpr uint32_t kLineFcs = 2;
    std::memset(out, 0, kPacketHeaderSize);
    storeLe32(out + 0, timeDelta);
    storeLe16(out + 4, static_cast<uint16_t>(std::min<uint32_t>(frame.actualLength + kLineFcs,
                                                                0xFFFF)));
    storeLe16(out + 6, frame.capturedLength);
    storeLe32(out + 8, status);
    out[12] = kEncapsulationHint;
}

// Counts the packet into the file header: the first packet sets the start
// time and the maximum length. Returns the packet's time since the start.
uint32_t countPacket(FileHeader& header, uint32_t timeMs, uint16_t snapLength) {
    const uint32_t packetCount = loadLe32(&header[field::packetCount]) + 1;
    storeLe32(&header[field::packetCount], packetCount);
    if (packetCount == 1) {
        storeLe32(&header[field::startTime], timeMs / 1000);
        storeLe16(&header[field::maxLength], snapLength);
    }
    return timeMs - loadLe32(&header[field::startTime]) * 1000u;
}

}  // namespace

// The .vn files of a run, by LSN. A file closed to make room keeps its header
// and index here and is completed with the others when the run ends.
class VnOutputs {
public:
    explicit VnOutputs(const FileIdentity& trace) : trace_(trace) {}

    VnOutput* findOpen(uint16_t lsn) { return files_.findOpen(lsn); }
    ResultCode open(uint16_t lsn, const std::string& name, ConversionStats& stats,
                    VnOutput*& opened);
    bool checkpoint() { return files_.forEachOpen(checkpointFile); }
    bool completeAll() { return files_.closeAll(completeFile); }
    const FailedOutput& failure() const { return files_.failure(); }

private:
    ResultCode reopen(VnOutput& output);
    ResultCode create(VnOutput& output, ConversionStats& stats);

    FileIdentity trace_;
    LsnOutputs<VnOutput> files_;
};

// Opens again an output this run created and closed to make room.
ResultCode VnOutputs::reopen(VnOutput& output) {
    ResultCode rc = output.file.reopen(output.name, output.file.identity());
    if (rc == ResultCode::Ok && !output.file.setEnd(output.dataEnd)) {
        rc = ResultCode::CannotWriteTarget;
    }
    return rc;
}

ResultCode VnOutputs::create(VnOutput& output, ConversionStats& stats) {
    output.vnHeader = headerDefaults();
    output.vnIndex.clear();
    output.dataEnd = kFirstPacket;
    // Created with its header in it: no output is ever empty.
    if (ResultCode rc = output.file.create(output.name, trace_, headerImage(output));
        rc != ResultCode::Ok) {
        return rc;
    }
    output.started = true;
    if (!output.file.setEnd(kFirstPacket)) {
        return ResultCode::CannotWriteTarget;
    }
    ++stats.generatedFiles;
    return ResultCode::Ok;
}

ResultCode VnOutputs::open(uint16_t lsn, const std::string& name, ConversionStats& stats,
                           VnOutput*& opened) {
    const auto closeForNow = [](VnOutput& output) {
        const bool checkpointed = checkpointFile(output);
        return output.file.close() && checkpointed;
    };
    if (!files_.makeRoom(closeForNow)) {
        return ResultCode::CannotWriteTarget;
    }
    VnOutput& output = files_[lsn];
    output.name = name;
    // A folder of the name fails as the opening of an existing file would.
    const ResultCode rc = output.started        ? reopen(output)
                          : isDirectory(name)   ? output.file.refuseFolder()
                                                : create(output, stats);
    if (rc != ResultCode::Ok) {
        files_.noted(output, false);
        if (!output.started) {
            files_.erase(lsn);  // nothing of it to complete
        }
        return rc;
    }
    files_.opened(lsn);
    opened = &output;
    return ResultCode::Ok;
}

VnSink::VnSink(const ConverterOptions& options, ConversionStats& stats, uint64_t lastPacketStart)
    : ConverterSink(options, stats), lastPacketStart_(lastPacketStart) {}

VnSink::~VnSink() = default;

ResultCode VnSink::begin(const OpenedTrace& trace) {
    snapLength_ = trace.header.snapLength();
    outputs_ = std::make_unique<VnOutputs>(trace.identity);
    return ResultCode::Ok;
}

bool VnSink::checkpoint() {
    if (outputs_->checkpoint()) {
        return true;
    }
    writeFailed(outputs_->failure().name, outputs_->failure().osError);
    return false;
}

// A file whose next packet would start beyond the last offset its index can
// hold is full: the record is left out of it, and counted.
bool VnSink::leftOut(VnOutput& output) {
    if (output.full == nullptr && output.dataEnd > lastPacketStart_) {
        output.full = &limitReached(output.name, "the Visual Networks format addresses its "
                                                 "packets within 4 GiB, and the file is full");
        output.full->kept = output.vnIndex.size();
    }
    if (output.full == nullptr) {
        return false;
    }
    ++output.full->leftOut;
    return true;
}

// The frame, converted, behind room for its packet header: the header
// depends on the file's first packet and is written at the commit.
void VnSink::frame(const RecordRef& r, PreparedEntry& entry, PreparedFrames& into) const {
    uint8_t* at = into.room(kPacketHeaderSize + r.header.dataLength);
    VnFrame frame;
    if (!convertFrame(options_.format, r.header, r.payload, at + kPacketHeaderSize, frame)) {
        entry.refused = true;
        return;
    }
    entry.length = kPacketHeaderSize + frame.capturedLength;
    entry.value = frame.flags;
    entry.lengths = uint32_t{frame.actualLength} | (uint32_t{frame.capturedLength} << 16);
    into.take(entry.length);
}

// A run of entries of one file: each packet's header goes in front of its
// frame (its time counts from the file's first packet), then the run goes
// to the file at once; a file that is full takes no more of it.
ResultCode VnSink::write(PreparedFrames& frames, size_t& failedAt) {
    const std::vector<PreparedEntry>& entries = frames.entries;
    for (size_t first = 0; first < entries.size();) {
        const PreparedEntry& head = entries[first];
        failedAt = first;
        VnOutput* output = outputs_->findOpen(head.lsn);
        if (output == nullptr) {
            const std::string name = options_.names->nameFor(head.lsn);
            if (ResultCode rc = outputs_->open(head.lsn, name, stats_, output);
                rc != ResultCode::Ok) {
                return openFailed(outputs_->failure().name, rc, outputs_->failure().osError);
            }
        }
        if (leftOut(*output)) {
            ++first;
            continue;
        }
        if (head.refused) {
            ++stats_.discardedRecords;  // the file stays, created if it was new
            ++first;
            continue;
        }
        const size_t last = packets(*output, first, frames);
        if (!output->file.appendRecords(frames.at(head.offset), ends_)) {
            output->vnIndex.resize(output->vnIndex.size() - (last - first));
            return writeFailed(output->name, output->file.error());
        }
        output->dataEnd += ends_.back();
        for (size_t n = first; n < last; ++n) {
            stats_.countOutput(entries[n].sent);
        }
        first = last;
    }
    return ResultCode::Ok;
}

// Heads the packets of the run from `first` that the file can still
// address, and indexes them; returns where they end.
size_t VnSink::packets(VnOutput& output, size_t first, PreparedFrames& frames) {
    const size_t last = frames.run(first, ends_);
    size_t n = first;
    for (; n < last; ++n) {
        const PreparedEntry& entry = frames.entries[n];
        const uint64_t offset = output.dataEnd + (n == first ? 0 : ends_[n - first - 1]);
        if (offset > lastPacketStart_) {
            break;  // the next run starts there, and finds the file full
        }
        const VnFrame frame{static_cast<uint16_t>(entry.lengths & 0xFFFF),
                            static_cast<uint16_t>(entry.lengths >> 16), entry.value};
        const uint32_t timeDelta = countPacket(output.vnHeader, entry.timeMs, snapLength_);
        storePacketHeader(frames.at(entry.offset), timeDelta, frame,
                          (entry.sent ? kStatusSent : 0) + frame.flags);
        output.vnIndex.push_back(static_cast<uint32_t>(offset));
    }
    ends_.resize(n - first);
    return n;
}

bool VnSink::complete() {
    if (!outputs_ || outputs_->completeAll()) {
        return true;
    }
    writeFailed(outputs_->failure().name, outputs_->failure().osError);
    return false;
}

}  // namespace ornpcap
