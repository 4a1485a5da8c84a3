#include "writers/i4b_writer.hpp"

#include <cstring>
#include <vector>

#include "base/byte_order.hpp"

namespace ornpcap {

namespace {

constexpr uint32_t kRecordHeaderSize = 32;
constexpr uint32_t kFrameCountOffset = 20;
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

// The record header (its frame count is the commit's) and the payload.
void I4bSink::frame(const RecordRef& r, PreparedEntry& entry, PreparedFrames& into) const {
    entry.length = kRecordHeaderSize + r.header.dataLength;
    uint8_t* at = into.room(entry.length);
    storeRecordHeader(at, r.header, snapLength_, 0);
    std::memcpy(at + kRecordHeaderSize, r.payload, r.header.dataLength);
    into.take(entry.length);
}

// Each record's frame count is the number of records written before it,
// plus one; the file is made with the first.
ResultCode I4bSink::write(PreparedFrames& frames, size_t& failedAt) {
    const std::vector<PreparedEntry>& entries = frames.entries;
    for (size_t first = 0; first < entries.size();) {
        failedAt = first;
        const size_t last = file_.isOpen() ? frames.run(first, ends_) : first + 1;
        for (size_t n = first; n < last; ++n) {
            storeLe32(frames.at(entries[n].offset) + kFrameCountOffset,
                      static_cast<uint32_t>(stats_.outputRecords + 1 + (n - first)));
        }
        uint8_t* records = frames.at(entries[first].offset);
        if (!file_.isOpen()) {
            if (ResultCode rc = create(records, entries[first].length); rc != ResultCode::Ok) {
                return rc;
            }
        } else if (!file_.appendRecords(records, ends_)) {
            return writeFailed(name_, file_.error());
        }
        for (size_t n = first; n < last; ++n) {
            stats_.countOutput(entries[n].sent);
        }
        first = last;
    }
    return ResultCode::Ok;
}

// The file appears with its first record in it: no output is ever empty.
ResultCode I4bSink::create(const uint8_t* record, uint32_t length) {
    name_ = options_.names->nameFor(options_.layout.lsn);
    if (ResultCode rc = file_.create(name_, trace_, {record, length}); rc != ResultCode::Ok) {
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
