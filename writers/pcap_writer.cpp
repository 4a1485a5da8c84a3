#include "writers/pcap_writer.hpp"

#include <unordered_map>

#include "app/naming.hpp"
#include "trace/byte_order.hpp"
#include "trace/conversion.hpp"
#include "writers/open_file_budget.hpp"
#include "writers/pcap_time.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kPcapMagic = 0xA1B2C3D4;

// The pcap files of a run by name: one in the single-file modes, one per LSN
// in ALL mode, of which at most a budget is open at a time.
class PcapOutputs : public OutputSink {
public:
    // The file for the name, opened, created or reopened as needed.
    ResultCode select(const std::string& name, const FileIdentity& trace, uint16_t snapLength,
                      int32_t format, ConversionStats& stats);
    OutputFile& current() { return *current_; }
    bool hasCurrent() const { return current_ != nullptr; }

    ResultCode finish() override {
        bool ok = true;
        for (auto& [name, file] : files_) {
            ok = file.close() && ok;
        }
        files_.clear();
        current_ = nullptr;
        return ok ? ResultCode::Ok : ResultCode::CannotWriteTarget;
    }

private:
    ResultCode makeRoom();

    std::unordered_map<std::string, OutputFile> files_;
    OpenFileBudget budget_;
    OutputFile* current_ = nullptr;
};

ResultCode PcapOutputs::makeRoom() {
    if (auto victim = budget_.evictionCandidate()) {
        budget_.forget(*victim);
        if (!files_[*victim].close()) {
            return ResultCode::CannotWriteTarget;
        }
    }
    return ResultCode::Ok;
}

ResultCode PcapOutputs::select(const std::string& name, const FileIdentity& trace,
                               uint16_t snapLength, int32_t format, ConversionStats& stats) {
    auto found = files_.find(name);
    if (found != files_.end() && found->second.isOpen()) {
        budget_.touch(name);
        current_ = &found->second;
        return ResultCode::Ok;
    }
    if (ResultCode rc = makeRoom(); rc != ResultCode::Ok) {
        return rc;
    }
    OutputFile& file = files_[name];
    current_ = nullptr;
    // A file met before in this run, or left from another, is appended to.
    const bool append = found != files_.end() || fileExists(name);
    if (append) {
        if (ResultCode rc = file.openExisting(name, trace); rc != ResultCode::Ok) {
            files_.erase(name);
            return rc;
        }
    } else {
        if (ResultCode rc = file.create(name, trace); rc != ResultCode::Ok) {
            files_.erase(name);
            return rc;
        }
        if (ResultCode rc = writePcapFileHeader(file, snapLength, format); rc != ResultCode::Ok) {
            file.close();
            return rc;
        }
        ++stats.generatedFiles;
    }
    budget_.touch(name);
    current_ = &file;
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
    if (settings.lsnMode == LsnMode::All || !outputs.hasCurrent()) {
        computeOutputName(settings, settings.lsnMode == LsnMode::All ? record.lsn : settings.lsn);
        ResultCode rc = outputs.select(settings.currentOutputName, slot.trace, snapLength,
                                       settings.format, stats);
        if (rc != ResultCode::Ok) {
            return rc;
        }
    }
    uint8_t recordHeader[kPcapRecordHeaderSize];
    storeRecordHeader(recordHeader, header);
    if (!outputs.current().append(recordHeader, sizeof recordHeader, conversion.frame.data(),
                                  header.inclLen)) {
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
