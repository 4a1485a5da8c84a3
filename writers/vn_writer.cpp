#include "writers/vn_writer.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <unistd.h>

#include "app/naming.hpp"
#include "trace/byte_order.hpp"
#include "trace/conversion.hpp"
#include "trace/fcs16.hpp"
#include "writers/lsn_outputs.hpp"
#include "writers/pcap_framing.hpp"

namespace ornpcap {

namespace {

constexpr uint8_t kVnMagic[kVnMagicSize] = {0x05, 'V', 'N', 'F'};
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

// The .vn files of a run, by LSN. A file closed to make room keeps its header
// and index here and is completed with the others when the run ends.
class VnOutputs : public OutputSink {
public:
    explicit VnOutputs(const FileIdentity& trace) : trace_(trace) {}

    // The open output for the LSN, or nullptr.
    VnOutput* open(uint16_t lsn) { return files_.findOpen(lsn); }
    // Opens the output of the name for the LSN.
    ResultCode select(uint16_t lsn, const std::string& name, ConversionStats& stats,
                      VnOutput*& selected);

    ResultCode finish() override {
        const bool ok = files_.closeAll(
            [this](VnOutput& output) { return completeVnFile(output, trace_) == ResultCode::Ok; });
        return ok ? ResultCode::Ok : ResultCode::CannotWriteTarget;
    }

private:
    ResultCode open(VnOutput& output, ConversionStats& stats);

    FileIdentity trace_;
    LsnOutputs<VnOutput> files_;
};

// Opens an output not open now: one closed to make room, one that exists on
// disk, or a new one.
ResultCode VnOutputs::open(VnOutput& output, ConversionStats& stats) {
    if (output.started) {
        ResultCode rc = output.file.openExisting(output.name, trace_);
        if (rc == ResultCode::Ok && !output.file.setEnd(output.dataEnd)) {
            rc = ResultCode::CannotWriteTarget;
        }
        return rc;
    }
    if (fileExists(output.name)) {
        ResultCode rc = output.file.openExisting(output.name, trace_);
        if (rc == ResultCode::Ok) {
            rc = reopenVnFile(output);
        }
        output.started = rc == ResultCode::Ok;
        return rc;
    }
    if (ResultCode rc = output.file.create(output.name, trace_); rc != ResultCode::Ok) {
        return rc;
    }
    output.vnHeader = vnHeaderDefaults();
    output.vnIndex.clear();
    output.started = true;
    if (ResultCode rc = writeVnFileHeader(output); rc != ResultCode::Ok) {
        return rc;
    }
    output.dataEnd = kVnFirstPacket;
    if (!output.file.setEnd(kVnFirstPacket)) {
        return ResultCode::CannotWriteTarget;
    }
    ++stats.generatedFiles;
    return ResultCode::Ok;
}

ResultCode VnOutputs::select(uint16_t lsn, const std::string& name, ConversionStats& stats,
                             VnOutput*& selected) {
    if (!files_.makeRoom([](VnOutput& output) { return output.file.close(); })) {
        return ResultCode::CannotWriteTarget;
    }
    VnOutput& output = files_[lsn];
    output.name = name;
    if (ResultCode rc = open(output, stats); rc != ResultCode::Ok) {
        if (!output.started) {
            files_.erase(lsn);  // nothing of it to complete
        }
        return rc;
    }
    files_.opened(lsn);
    selected = &output;
    return ResultCode::Ok;
}

void storePacketHeader(uint8_t* out, uint32_t timeDelta, const VnFrame& frame, uint32_t status) {
    std::memset(out, 0, kVnPacketHeaderSize);
    storeLe32(out + 0, timeDelta);
    storeLe16(out + 4, frame.actualLength);
    storeLe16(out + 6, frame.capturedLength);
    storeLe32(out + 8, status);
    out[12] = kEncapsulationHint;
}

}  // namespace

std::array<uint8_t, kVnFileHeaderSize> vnHeaderDefaults() {
    std::array<uint8_t, kVnFileHeaderSize> header{};
    storeLe16(&header[field::mediaType], kMediaType);
    storeLe16(&header[field::fileFlags], 1);
    storeLe16(&header[field::fileVersion], 1);
    std::memcpy(&header[field::description], kDescription, sizeof kDescription - 1);
    return header;
}

ResultCode writeVnFileHeader(VnOutput& output) {
    uint8_t image[kVnFirstPacket];
    std::memcpy(image, kVnMagic, kVnMagicSize);
    std::memcpy(image + kVnMagicSize, output.vnHeader.data(), kVnFileHeaderSize);
    return output.file.writeAt(0, image, sizeof image) ? ResultCode::Ok
                                                        : ResultCode::CannotWriteTarget;
}

ResultCode reopenVnFile(VnOutput& output) {
    uint8_t magic[kVnMagicSize];
    if (!output.file.readAt(0, magic, sizeof magic) ||
        !output.file.readAt(kVnMagicSize, output.vnHeader.data(), kVnFileHeaderSize)) {
        return ResultCode::CannotReadTarget;
    }
    const uint64_t fileSize = output.file.end();
    const uint64_t indexSize = 4ull * loadLe32(&output.vnHeader[field::packetCount]);
    if (fileSize < kVnFirstPacket || indexSize > fileSize - kVnFirstPacket) {
        return ResultCode::CannotReadTarget;
    }
    std::vector<uint8_t> raw;
    try {
        raw.resize(indexSize);
        output.vnIndex.resize(indexSize / 4);
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
    const uint64_t indexStart = fileSize - indexSize;
    if (!output.file.readAt(indexStart, raw.data(), raw.size())) {
        return ResultCode::CannotReadTarget;
    }
    for (size_t i = 0; i < output.vnIndex.size(); ++i) {
        output.vnIndex[i] = loadLe32(&raw[4 * i]);
    }
    output.dataEnd = indexStart;
    return output.file.setEnd(indexStart) ? ResultCode::Ok : ResultCode::CannotReadTarget;
}

namespace {

// Writes the index behind the packets, the header in front, and cuts the file there.
bool writeIndexAndHeader(VnOutput& output) {
    std::vector<uint8_t> index(4 * output.vnIndex.size());
    for (size_t i = 0; i < output.vnIndex.size(); ++i) {
        storeLe32(&index[4 * i], output.vnIndex[i]);
    }
    storeLe32(&output.vnHeader[field::packetCount], static_cast<uint32_t>(output.vnIndex.size()));
    bool ok = output.file.writeAt(output.dataEnd, index.data(), index.size());
    ok = ok && writeVnFileHeader(output) == ResultCode::Ok;
    return ok && output.file.truncate(output.dataEnd + index.size());
}

// Keeps the first count packets.
void keepPackets(VnOutput& output, size_t count) {
    if (count < output.vnIndex.size()) {
        output.dataEnd = output.vnIndex[count];
        output.vnIndex.resize(count);
    }
}

}  // namespace

ResultCode completeVnFile(VnOutput& output, const FileIdentity& trace) {
    if (!output.started) {
        return output.file.close() ? ResultCode::Ok : ResultCode::CannotWriteTarget;
    }
    if (!output.file.isOpen() &&
        (output.file.openExisting(output.name, trace) != ResultCode::Ok)) {
        return ResultCode::CannotWriteTarget;
    }
    bool ok = output.file.flush();
    // What reached the disk: packets beyond it leave the index.
    const uint64_t written = std::min<uint64_t>(output.dataEnd, output.file.durableEnd());
    size_t kept = output.vnIndex.size();
    while (kept > 0 && output.vnIndex[kept - 1] >= written) {
        --kept;
    }
    keepPackets(output, kept);
    output.dataEnd = std::min(output.dataEnd, written);
    if (written < kVnFirstPacket) {
        // Not even the header reached the disk: no file is better than half of one.
        output.file.close();
        ::unlink(output.name.c_str());
        return ResultCode::CannotWriteTarget;
    }
    if (!writeIndexAndHeader(output)) {
        ok = false;
        // No room for the whole index (disk full, size limit): keep the packets
        // whose index fits in the space the file had already taken.
        while (kept > 0) {
            --kept;
            if (output.vnIndex[kept] + 4ull * kept <= written) {
                break;
            }
        }
        keepPackets(output, kept);
        writeIndexAndHeader(output);
    }
    ok = output.file.close() && ok;
    return ok ? ResultCode::Ok : ResultCode::CannotWriteTarget;
}

bool vnRecordFilter(const ConversionSettings& settings, const EventRecord& record) {
    if (record.port != settings.port || record.eventStatus != 0) {
        return false;
    }
    if (record.eventType != kEventFrameSent && record.eventType != kEventFrameReceived) {
        return false;
    }
    return settings.lsnMode != LsnMode::One || record.lsn == settings.lsn;
}

bool copyVnPppSyncFrame(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                        VnFrame& out) {
    out = {record.origLength, record.dataLength, 0};
    std::memcpy(frame, payload, record.dataLength);
    return true;
}

bool unstuffVnPppAsyncFrame(const EventRecord& record, const uint8_t* payload, uint8_t* frame,
                            VnFrame& out) {
    out = {record.origLength, record.dataLength, 0};
    const uint32_t n = unstuffAsyncFrame(payload, record.dataLength, frame);
    if (n <= 2) {
        return false;
    }
    if (n < 4) {
        out.flags = kVnFlagTooShort;
    }
    if (record.dataLength < record.origLength) {
        out.capturedLength = static_cast<uint16_t>(n);  // cut when captured: no FCS check
        return true;
    }
    if (!hasGoodFcs(frame, n)) {
        out.flags = kVnFlagBadFcs;
    }
    out.capturedLength = out.actualLength = static_cast<uint16_t>(n - 2);
    return true;
}

bool convertVnFrame(int32_t format, const EventRecord& record, const uint8_t* payload,
                    uint8_t* frame, VnFrame& out) {
    switch (format) {
        case FrameFormat::PppSync:
            return copyVnPppSyncFrame(record, payload, frame, out);
        case FrameFormat::PppAsync:
            return unstuffVnPppAsyncFrame(record, payload, frame, out);
        default:
            return false;
    }
}

ResultCode writeVnRecord(OutputSlot& slot, uint16_t snapLength, const EventRecord& record,
                         const uint8_t* payload, VnConversion& conversion, ConversionStats& stats) {
    ConversionSettings& settings = conversion.settings;
    ++stats.traceRecords;
    if (!vnRecordFilter(settings, record) || record.dataLength == 0) {
        return ResultCode::Ok;
    }
    if (!slot.sink) {
        slot.sink = std::make_unique<VnOutputs>(slot.trace);
    }
    auto& outputs = *slot.as<VnOutputs>();
    const uint16_t lsn = settings.lsnMode == LsnMode::All ? record.lsn : settings.lsn;
    VnOutput* output = outputs.open(lsn);
    if (output == nullptr) {
        computeVnOutputName(settings, lsn);
        if (ResultCode rc = outputs.select(lsn, settings.currentOutputName, stats, output);
            rc != ResultCode::Ok) {
            return rc;
        }
    }

    VnFrame frame;
    if (!convertVnFrame(settings.format, record, payload, conversion.frame.data(), frame)) {
        ++stats.discardedRecords;  // the file stays, created if it was new
        return ResultCode::Ok;
    }
    auto& header = output->vnHeader;
    const uint32_t packetCount = loadLe32(&header[field::packetCount]) + 1;
    storeLe32(&header[field::packetCount], packetCount);
    if (packetCount == 1) {
        storeLe32(&header[field::startTime], record.timeMs / 1000);
        storeLe16(&header[field::maxLength], snapLength);
    }
    const uint32_t timeDelta = record.timeMs - loadLe32(&header[field::startTime]) * 1000u;
    const uint32_t status =
        (record.eventType == kEventFrameSent ? kVnStatusSent : 0) + frame.flags;
    uint8_t packetHeader[kVnPacketHeaderSize];
    storePacketHeader(packetHeader, timeDelta, frame, status);
    const uint64_t offset = output->dataEnd;
    if (!output->file.append(packetHeader, sizeof packetHeader, conversion.frame.data(),
                             frame.capturedLength)) {
        return ResultCode::CannotWriteTarget;
    }
    output->vnIndex.push_back(static_cast<uint32_t>(offset));
    output->dataEnd += kVnPacketHeaderSize + frame.capturedLength;
    stats.countOutput(record.eventType);
    return ResultCode::Ok;
}

ResultCode runVnConversion(const ConversionSettings& settings, ConversionStats& stats,
                           std::string& failedName) {
    VnConversion conversion;
    ConversionSettings& own = conversion.settings;
    own = vnDefaults();
    own.inputName = settings.inputName;
    own.outputName = withConverterExtension(settings.outputName, ".vn");
    own.versionMajor = settings.versionMajor;
    own.versionMinor = settings.versionMinor;
    own.format = settings.format;
    own.port = settings.port;
    own.lsnMode = settings.lsnMode;
    own.lsn = settings.lsn;
    const TraceSource source{own.inputName, own.outputName, own.versionMajor, own.versionMinor};
    const ResultCode rc = runConversion(
        source, stats,
        [&](OutputSlot& slot, uint16_t snapLength, const EventRecord& record,
            const uint8_t* payload, ConversionStats& counters) {
            return writeVnRecord(slot, snapLength, record, payload, conversion, counters);
        });
    failedName = own.currentOutputName;
    return rc;
}

}  // namespace ornpcap
