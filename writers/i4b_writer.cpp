#include "writers/i4b_writer.hpp"

#include "app/console.hpp"
#include "trace/byte_order.hpp"
#include "trace/conversion.hpp"
#include "writers/output_file.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kDChannel = 1;

void storeRecordHeader(uint8_t* out, const EventRecord& record, uint16_t snapLength,
                       int32_t frameCount) {
    const uint32_t truncated =
        record.origLength < snapLength ? 0u : uint32_t{record.origLength} - snapLength;
    storeLe32(out + 0, uint32_t{record.dataLength} + kI4bRecordHeaderSize);
    storeLe32(out + 4, 0);  // unit
    storeLe32(out + 8, kDChannel);
    storeLe32(out + 12, record.eventType == kEventFrameReceived ? 1u : 0u);
    storeLe32(out + 16, truncated);
    storeLe32(out + 20, static_cast<uint32_t>(frameCount));
    storeLe32(out + 24, record.timeMs / 1000);
    storeLe32(out + 28, (record.timeMs % 1000) * 1000);
}

}  // namespace

void printI4bParameters(const I4bSettings& settings) {
    console::printLine("\nConversion parameters:");
    console::printf(" Input file name      : %s\n", settings.inputName.c_str());
    console::printf(" Output file name     : %s\n", settings.outputName.c_str());
    console::printf(" Port to be extracted : %d\n", static_cast<int>(settings.port));
}

bool i4bRecordFilter(const I4bSettings& settings, const EventRecord& record) {
    return record.port == settings.port && record.eventStatus == 0 &&
           (record.eventType == kEventFrameSent || record.eventType == kEventFrameReceived);
}

ResultCode writeI4bRecord(OutputSlot& slot, uint16_t snapLength, const EventRecord& record,
                          const uint8_t* payload, const I4bSettings& settings,
                          ConversionStats& stats) {
    ++stats.traceRecords;
    if (!i4bRecordFilter(settings, record) || record.dataLength == 0) {
        return ResultCode::Ok;
    }
    if (!slot.sink) {
        auto file = std::make_unique<OutputFile>();
        if (ResultCode rc = file->create(settings.outputName, slot.trace); rc != ResultCode::Ok) {
            return rc;
        }
        slot.sink = std::move(file);
        ++stats.generatedFiles;
    }
    uint8_t header[kI4bRecordHeaderSize];
    storeRecordHeader(header, record, snapLength, stats.outputRecords + 1);
    if (!slot.as<OutputFile>()->append(header, sizeof header, payload, record.dataLength)) {
        return ResultCode::CannotWriteTarget;
    }
    stats.countOutput(record.eventType);
    return ResultCode::Ok;
}

ResultCode runI4bConversion(const I4bSettings& settings, ConversionStats& stats) {
    const TraceSource source{settings.inputName, settings.outputName, settings.versionMajor,
                             settings.versionMinor};
    return runConversion(source, stats,
                         [&](OutputSlot& slot, uint16_t snapLength, const EventRecord& record,
                             const uint8_t* payload, ConversionStats& counters) {
                             return writeI4bRecord(slot, snapLength, record, payload, settings,
                                                   counters);
                         });
}

}  // namespace ornpcap
