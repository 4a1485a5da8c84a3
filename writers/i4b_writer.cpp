#include "writers/i4b_writer.hpp"

#include <vector>

#include "base/byte_order.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kRecordHeaderSize = 32;
constexpr uint32_t kDChannel = 1;

void storeRecordHeader(uint8_t* out, const EventRecord& record, uint16_t snapLength,
                       int32_t frameCount) {
    const uint32_t truncated =
        record.origLength < snapLength ? 0u : uint32_t{record.origLength} - snapLength;
    storeLe32(out + 0, uint32_t{record.dataLength} + kRecordHeaderSize);
    storeLe32(out + 4, 0);  // unit
    storeLe32(out + 8, kDChannel);
    storeLe32(out + 12, isFrameReceived(record) ? 1u : 0u);
    storeLe32(out + 16, truncated);
    storeLe32(out + 20, static_cast<uint32_t>(frameCount));
    storeLe32(out + 24, record.timeMs / 1000);
    storeLe32(out + 28, (record.timeMs % 1000) * 1000);
}

}  // namespace

I4bSink::I4bSink(const ConverterOptions& options, ConversionStats& stats)
    : ConverterSink(options, stats) {}

ResultCode I4bSink::begin(const OpenedTrace& trace) {
    trace_ = trace.identity;
    snapLength_ = trace.header.snapLength();
    return ResultCode::Ok;
}

bool I4bSink::checkpoint() {
    if (!file_.isOpen() || file_.flush()) {
        return true;
    }
    writeFailed(name_, file_.error());
    return false;
}

ResultCode I4bSink::write(const EventRecord& record, const uint8_t* payload) {
    uint8_t header[kRecordHeaderSize];
    storeRecordHeader(header, record, snapLength_, stats_.outputRecords + 1);
    if (file_.isOpen()) {
        if (!file_.append(header, sizeof header, payload, record.dataLength)) {
            return writeFailed(name_, file_.error());
        }
    } else if (ResultCode rc = create(header, payload, record.dataLength); rc != ResultCode::Ok) {
        return rc;
    }
    stats_.countOutput(isFrameSent(record));
    return ResultCode::Ok;
}

// The file appears with its first record in it: no output is ever empty.
ResultCode I4bSink::create(const uint8_t* header, const uint8_t* payload, uint16_t length) {
    std::vector<uint8_t> first(header, header + kRecordHeaderSize);
    first.insert(first.end(), payload, payload + length);
    name_ = options_.names->nameFor(options_.layout.lsn);
    if (ResultCode rc = file_.create(name_, trace_, first); rc != ResultCode::Ok) {
        return openFailed(name_, rc, file_.error());
    }
    ++stats_.generatedFiles;
    return ResultCode::Ok;
}

bool I4bSink::complete() {
    if (file_.close()) {
        return true;
    }
    writeFailed(name_, file_.error());
    return false;
}

}  // namespace ornpcap
