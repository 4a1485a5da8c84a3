#include "trace/record_scanner.hpp"

#include <algorithm>

#include "base/byte_order.hpp"

namespace ornpcap {

namespace {

uint32_t dataLengthAt(const uint8_t* header, const RecordForm& form) {
    return loadLe16(header + form.lengthOffset);
}

RecordRef refAt(const uint8_t* at, const RecordForm& form) {
    const EventRecord header = decodeEventRecord(at, form);
    return {header, header.dataLength != 0 ? at + form.headerSize : nullptr};
}

}  // namespace

bool RecordChain::complete(const uint8_t* data, uint32_t length, uint32_t& pos) {
    const auto take = [&](uint32_t wanted) {
        const uint32_t n = std::min(wanted, length - pos);
        carry_.insert(carry_.end(), data + pos, data + pos + n);
        pos += n;
    };
    if (carry_.size() < form_.headerSize) {
        take(form_.headerSize - static_cast<uint32_t>(carry_.size()));
        if (carry_.size() < form_.headerSize) {
            return false;
        }
    }
    const uint32_t whole = form_.headerSize + dataLengthAt(carry_.data(), form_);
    take(whole - static_cast<uint32_t>(carry_.size()));
    return carry_.size() == whole;
}

void RecordChain::cut(const uint8_t* data, uint32_t length, BlockRecords& out) {
    out.joined.clear();
    uint32_t pos = 0;
    if (!carry_.empty()) {
        if (!complete(data, length, pos)) {
            out.first = out.end = length;  // the whole block went into the carried record
            return;
        }
        out.joined.swap(carry_);
        carry_.clear();
    }
    out.first = pos;
    while (length - pos >= form_.headerSize) {
        const uint32_t whole = form_.headerSize + dataLengthAt(data + pos, form_);
        if (length - pos < whole) {
            break;
        }
        pos += whole;
    }
    out.end = pos;
    carry_.assign(data + pos, data + length);
}

void decodeRecords(const BlockRecords& block, const uint8_t* data, const RecordForm& form,
                   std::vector<RecordRef>& out) {
    out.clear();
    if (!block.joined.empty()) {
        out.push_back(refAt(block.joined.data(), form));
    }
    for (uint32_t pos = block.first; pos < block.end;) {
        out.push_back(refAt(data + pos, form));
        pos += form.headerSize + out.back().header.dataLength;
    }
}

}  // namespace ornpcap
