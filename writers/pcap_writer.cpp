#include "writers/pcap_writer.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "base/byte_order.hpp"
#include "writers/lsn_outputs.hpp"
#include "writers/output_file.hpp"
#include "frames/pcap_framing.hpp"
#include "writers/pcap_time.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kPcapMagic = 0xA1B2C3D4;

constexpr size_t kSnapLenOffset = 16;

// A file this run created, with its file header.
struct PcapOutput {
    std::string name;
    OutputFile file;
    uint32_t snapLen = 0;   // as its file header says
    uint32_t longest = 0;   // the largest inclLen written by this run
};

// A file must not claim a snapLen below its longest record, which readers
// would cut to it: the header is raised to that length.
bool raiseSnapLen(PcapOutput& output) {
    if (output.longest <= output.snapLen || !output.file.seekable()) {
        return true;
    }
    uint8_t value[4];
    storeLe32(value, output.longest);
    if (!output.file.writeAt(kSnapLenOffset, value, sizeof value)) {
        return false;
    }
    output.snapLen = output.longest;
    return true;
}

// What has been written reaches the file, its header up to date.
bool checkpointOutput(PcapOutput& output) {
    return output.file.flush() && raiseSnapLen(output);
}

// Closes a file; one made by this run that could not keep even its file
// header is removed rather than left half-written.
bool closeOutput(PcapOutput& output) {
    const bool raised = output.file.flush() && raiseSnapLen(output);
    if (output.file.close() && raised) {
        return true;
    }
    if (output.file.durableEnd() < kPcapFileHeaderSize) {
        removeRegularFile(output.name);
    }
    return false;
}

std::array<uint8_t, kPcapFileHeaderSize> fileHeader(uint16_t snapLength, FrameFormat format) {
    std::array<uint8_t, kPcapFileHeaderSize> header{};
    storeLe32(&header[0], kPcapMagic);
    storeLe16(&header[4], 2);
    storeLe16(&header[6], 4);
    storeLe32(&header[8], 0);   // thisZone
    storeLe32(&header[12], 0);  // sigFigs
    storeLe32(&header[16], snapLength);
    storeLe32(&header[20], linkTypeOf(format));
    return header;
}

void storeRecordHeader(uint8_t* out, const PcapRecordHeader& header) {
    storeLe32(out + 0, header.tsSec);
    storeLe32(out + 4, header.tsUsec);
    storeLe32(out + 8, header.inclLen);
    storeLe32(out + 12, header.origLen);
}

}  // namespace

// The pcap files of a run, by LSN.
class PcapOutputs {
public:
    PcapOutputs(const FileIdentity& trace, uint16_t snapLength, FrameFormat format)
        : trace_(trace), snapLength_(snapLength), format_(format) {}

    PcapOutput* findOpen(uint16_t lsn) { return files_.findOpen(lsn); }
    // Opens the file of the name for the LSN: created with its file header, or
    // appended to when this run created it before and closed it to make room.
    ResultCode open(uint16_t lsn, const std::string& name, bool allMode, ConversionStats& stats,
                    PcapOutput*& opened);
    bool checkpoint() { return files_.forEachOpen(checkpointOutput); }
    bool closeAll() { return files_.closeAll(closeOutput); }
    const FailedOutput& failure() const { return files_.failure(); }

private:
    FileIdentity trace_;
    uint16_t snapLength_;
    FrameFormat format_;
    LsnOutputs<PcapOutput> files_;
};

ResultCode PcapOutputs::open(uint16_t lsn, const std::string& name, bool allMode,
                             ConversionStats& stats, PcapOutput*& opened) {
    if (!files_.makeRoom(closeOutput)) {
        return ResultCode::CannotWriteTarget;
    }
    const bool metBefore = files_.contains(lsn);
    PcapOutput& output = files_[lsn];
    output.name = name;
    // A new file is created with its header in it: no output is ever empty.
    // In ALL mode a folder of the name fails as the opening of an existing
    // file would.
    const ResultCode rc =
        metBefore                        ? output.file.reopen(name, output.file.identity())
        : allMode && isDirectory(name)   ? output.file.refuseFolder()
                                         : output.file.create(name, trace_, fileHeader(snapLength_, format_));
    if (rc != ResultCode::Ok) {
        files_.noted(output, false);
        if (!metBefore) {
            files_.erase(lsn);
        }
        return rc;
    }
    files_.opened(lsn);
    if (!metBefore) {
        output.snapLen = snapLength_;
        ++stats.generatedFiles;
    }
    opened = &output;
    return ResultCode::Ok;
}

PcapSink::PcapSink(const ConverterOptions& options, ConversionStats& stats)
    : ConverterSink(options, stats) {}

PcapSink::~PcapSink() = default;

ResultCode PcapSink::begin(const OpenedTrace& trace) {
    timeBase_ = computePcapTimeBase(trace.header, trace.versionMajor);
    snapLength_ = trace.header.snapLength();
    outputs_ = std::make_unique<PcapOutputs>(trace.identity, snapLength_, options_.format);
    return ResultCode::Ok;
}

bool PcapSink::checkpoint() {
    if (outputs_->checkpoint()) {
        return true;
    }
    writeFailed(outputs_->failure().name, outputs_->failure().osError);
    return false;
}

// The record header and the framed frame, at the end of the batch.
void PcapSink::frame(const RecordRef& r, PreparedEntry& entry, PreparedFrames& into) const {
    const EventRecord& record = r.header;
    if (record.dataLength == 0) {
        entry.refused = true;  // never: the filter takes records with a payload only
        return;
    }
    PcapRecordHeader header;
    header.tsSec = record.timeMs / 1000 + static_cast<uint32_t>(timeBase_);
    header.tsUsec = (record.timeMs % 1000) * 1000;
    header.inclLen = record.dataLength;
    header.origLen = record.origLength;
    uint8_t* at = into.room(kPcapRecordHeaderSize + record.dataLength + 2u);
    if (!framePcapRecord(header, at + kPcapRecordHeaderSize, record, r.payload, options_.format)) {
        entry.refused = true;
        return;
    }
    storeRecordHeader(at, header);
    entry.length = kPcapRecordHeaderSize + header.inclLen;
    entry.value = header.inclLen;
    into.take(entry.length);
}

ResultCode PcapSink::write(PreparedFrames& frames, size_t& failedAt) {
    const std::vector<PreparedEntry>& entries = frames.entries;
    for (size_t first = 0; first < entries.size();) {
        const PreparedEntry& head = entries[first];
        failedAt = first;
        if (head.refused) {
            ++stats_.discardedRecords;  // no output is opened for it
            ++first;
            continue;
        }
        PcapOutput* output = outputs_->findOpen(head.lsn);
        if (output == nullptr) {
            const std::string name = options_.names->nameFor(head.lsn);
            const ResultCode rc =
                outputs_->open(head.lsn, name, options_.layout.perLsn, stats_, output);
            if (rc != ResultCode::Ok) {
                return openFailed(outputs_->failure().name, rc, outputs_->failure().osError);
            }
        }
        const size_t last = frames.run(first, ends_);
        if (!output->file.appendRecords(frames.at(head.offset), ends_)) {
            return writeFailed(output->name, output->file.error());
        }
        for (size_t n = first; n < last; ++n) {
            output->longest = std::max(output->longest, entries[n].value);
            stats_.countOutput(entries[n].sent);
        }
        first = last;
    }
    return ResultCode::Ok;
}

bool PcapSink::complete() {
    if (!outputs_ || outputs_->closeAll()) {
        return true;
    }
    writeFailed(outputs_->failure().name, outputs_->failure().osError);
    return false;
}

}  // namespace ornpcap
