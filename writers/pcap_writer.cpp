#include "writers/pcap_writer.hpp"

#include <unistd.h>

#include "app/naming.hpp"
#include "trace/byte_order.hpp"
#include "trace/conversion.hpp"
#include "writers/lsn_outputs.hpp"
#include "writers/pcap_time.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kPcapMagic = 0xA1B2C3D4;

// The pcap files of a run, by LSN.
class PcapOutputs : public OutputSink {
public:
    // The open file for the LSN, or nullptr.
    OutputFile* open(uint16_t lsn) {
        Output* output = files_.findOpen(lsn);
        return output ? &output->file : nullptr;
    }
    // Opens the file of the name for the LSN: created with its file header, or
    // appended to when this run met it before or (ALL mode) it exists already.
    ResultCode select(uint16_t lsn, const std::string& name, bool allMode,
                      const FileIdentity& trace, uint16_t snapLength, int32_t format,
                      ConversionStats& stats, OutputFile*& selected);

    ResultCode finish() override {
        return files_.closeAll(close) ? ResultCode::Ok : ResultCode::CannotWriteTarget;
    }

private:
    struct Output {
        std::string name;
        OutputFile file;
        bool created = false;  // by this run, with its file header
    };

    // Closes a file; one made by this run that could not keep even its file
    // header is removed rather than left half-written.
    static bool close(Output& output) {
        if (output.file.close()) {
            return true;
        }
        if (output.created && output.file.durableEnd() < kPcapFileHeaderSize) {
            ::unlink(output.name.c_str());
        }
        return false;
    }

    LsnOutputs<Output> files_;
};

ResultCode PcapOutputs::select(uint16_t lsn, const std::string& name, bool allMode,
                               const FileIdentity& trace, uint16_t snapLength, int32_t format,
                               ConversionStats& stats, OutputFile*& selected) {
    if (!files_.makeRoom(close)) {
        return ResultCode::CannotWriteTarget;
    }
    const bool metBefore = files_.contains(lsn);
    Output& output = files_[lsn];
    output.name = name;
    const bool append = metBefore || (allMode && fileExists(name));
    ResultCode rc = append ? output.file.openExisting(name, trace) : output.file.create(name, trace);
    if (rc != ResultCode::Ok) {
        if (!output.created) {
            files_.erase(lsn);
        }
        return rc;
    }
    files_.opened(lsn);
    if (!append) {
        output.created = true;
        if (ResultCode header = writePcapFileHeader(output.file, snapLength, format);
            header != ResultCode::Ok) {
            return header;
        }
        ++stats.generatedFiles;
    }
    selected = &output.file;
    return ResultCode::Ok;
}

void storeRecordHeader(uint8_t* out, const PcapRecordHeader& header) {
    storeLe32(out + 0, header.tsSec);
    storeLe32(out + 4, header.tsUsec);
    storeLe32(out + 8, header.inclLen);
    storeLe32(out + 12, header.origLen);
}

bool directionMatches(int32_t direction, uint8_t eventType) {
    switch (direction) {
        case Direction::In: return eventType == kEventFrameReceived;
        case Direction::Out: return eventType == kEventFrameSent;
        default: return true;
    }
}

}  // namespace

bool pcapRecordFilter(const ConversionSettings& settings, const EventRecord& record) {
    if (record.port != settings.port || record.eventStatus != 0) {
        return false;
    }
    if (record.eventType != kEventFrameSent && record.eventType != kEventFrameReceived) {
        return false;
    }
    if (!directionMatches(settings.direction, record.eventType)) {
        return false;
    }
    return settings.lsnMode != LsnMode::One || record.lsn == settings.lsn;
}

ResultCode writePcapFileHeader(OutputFile& file, uint16_t snapLength, int32_t format) {
    uint8_t header[kPcapFileHeaderSize] = {};
    storeLe32(header + 0, kPcapMagic);
    storeLe16(header + 4, 2);
    storeLe16(header + 6, 4);
    storeLe32(header + 8, 0);   // thisZone
    storeLe32(header + 12, 0);  // sigFigs
    storeLe32(header + 16, snapLength);
    storeLe32(header + 20, static_cast<uint32_t>(linkTypeOf(format)));
    return file.append(header, sizeof header) ? ResultCode::Ok : ResultCode::CannotWriteTarget;
}

ResultCode writePcapRecord(OutputSlot& slot, uint16_t snapLength, const EventRecord& record,
                           const uint8_t* payload, PcapConversion& conversion,
                           ConversionStats& stats) {
    ConversionSettings& settings = conversion.settings;
    ++stats.traceRecords;
    if (!pcapRecordFilter(settings, record) || record.dataLength == 0) {
        return ResultCode::Ok;
    }
    PcapRecordHeader header;
    header.tsSec = record.timeMs / 1000 + static_cast<uint32_t>(conversion.timeBase);
    header.tsUsec = (record.timeMs % 1000) * 1000;
    header.inclLen = record.dataLength;
    header.origLen = record.origLength;
    if (!framePcapRecord(header, conversion.frame.data(), record, payload, settings)) {
        ++stats.discardedRecords;
        return ResultCode::Ok;
    }

    if (!slot.sink) {
        slot.sink = std::make_unique<PcapOutputs>();
    }
    auto& outputs = *slot.as<PcapOutputs>();
    const bool allMode = settings.lsnMode == LsnMode::All;
    const uint16_t lsn = allMode ? record.lsn : settings.lsn;
    OutputFile* file = outputs.open(lsn);
    if (file == nullptr) {
        computeOutputName(settings, lsn);
        ResultCode rc = outputs.select(lsn, settings.currentOutputName, allMode, slot.trace,
                                       snapLength, settings.format, stats, file);
        if (rc != ResultCode::Ok) {
            return rc;
        }
    }
    uint8_t recordHeader[kPcapRecordHeaderSize];
    storeRecordHeader(recordHeader, header);
    if (!file->append(recordHeader, sizeof recordHeader, conversion.frame.data(), header.inclLen)) {
        return ResultCode::CannotWriteTarget;
    }
    stats.countOutput(record.eventType);
    return ResultCode::Ok;
}

ResultCode runPcapConversion(ConversionSettings& settings, ConversionStats& stats) {
    PcapConversion conversion{settings};
    const TraceSource source{settings.inputName, settings.outputName, settings.versionMajor,
                             settings.versionMinor};
    return runConversion(
        source, stats,
        [&](OutputSlot& slot, uint16_t snapLength, const EventRecord& record,
            const uint8_t* payload, ConversionStats& counters) {
            return writePcapRecord(slot, snapLength, record, payload, conversion, counters);
        },
        [&](const TraceHeader& header) {
            conversion.timeBase = computePcapTimeBase(header, settings.versionMajor);
        });
}

}  // namespace ornpcap
