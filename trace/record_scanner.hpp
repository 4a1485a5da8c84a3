#pragma once
// Cutting the expanded block stream into event records. Records do not keep
// to block boundaries: the start of a record that a block does not complete
// is carried over, and the block that completes it brings it whole. Only the
// records' length fields are read to find where each record starts, so that
// the chain of starts, which runs through every block in turn, costs little;
// the records themselves are decoded by whoever takes the block's records.

#include <cstdint>
#include <vector>

#include "trace/event_record.hpp"
#include "trace/record_source.hpp"

namespace ornpcap {

// Where one block's records lie: the record the block completes, gathered
// whole into `joined` (empty when none), then the records that lie whole in
// the block's data from `first` up to `end`. The bytes after `end` are the
// start of a record that blocks after it complete.
struct BlockRecords {
    std::vector<uint8_t> joined;
    uint32_t first = 0;
    uint32_t end = 0;
};

class RecordChain {
public:
    explicit RecordChain(const RecordForm& form) : form_(form) {}

    // Cuts the next block's expanded data, in stream order.
    void cut(const uint8_t* data, uint32_t length, BlockRecords& out);
    // Bytes of an incomplete record held for the blocks after.
    uint32_t carried() const { return static_cast<uint32_t>(carry_.size()); }
    const RecordForm& form() const { return form_; }

private:
    // Takes bytes from data into the carried record; true once it is whole.
    bool complete(const uint8_t* data, uint32_t length, uint32_t& pos);

    RecordForm form_;
    std::vector<uint8_t> carry_;
};

// The block's records, decoded, into out (emptied first).
void decodeRecords(const BlockRecords& block, const uint8_t* data, const RecordForm& form,
                   std::vector<RecordRef>& out);

}  // namespace ornpcap
