#pragma once
// What a converter works out ahead of time for one block's records, on any
// thread: for each record its filter takes, in stream order, an entry with
// the bytes the record becomes in its output (framed, behind the record
// header of the format), or a note that the framing refused it. The commit
// then only appends the bytes to the outputs, in order.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "trace/record_filter.hpp"
#include "trace/record_source.hpp"

namespace ornpcap {

struct PreparedEntry {
    uint32_t record = 0;    // its index among the block's records
    uint32_t offset = 0;    // of its bytes in the batch
    uint32_t length = 0;    // 0 when refused
    uint16_t lsn = 0;       // of the output it goes to
    bool refused = false;   // by the framing: counted as discarded
    bool sent = false;
    uint32_t timeMs = 0;
    uint32_t value = 0;     // the converter's own: pcap inclLen, .vn flags
    uint32_t lengths = 0;   // .vn actualLength and capturedLength
};

class PreparedFrames final : public PreparedRecords {
public:
    FilterFunnel funnel;  // of the block's records
    std::vector<PreparedEntry> entries;
    bool outOfMemory = false;  // preparing could not allocate: the commit prepares again

    void clear() {
        funnel = {};
        entries.clear();
        used_ = 0;
        outOfMemory = false;
    }
    // Room for n more bytes at the end of the batch.
    uint8_t* room(size_t n) {
        if (used_ + n > bytes_.size()) {
            bytes_.resize(std::max(bytes_.size() * 2, used_ + n));
        }
        return bytes_.data() + used_;
    }
    // The next n bytes of the room become the batch's.
    void take(size_t n) { used_ += n; }
    uint32_t used() const { return static_cast<uint32_t>(used_); }
    uint8_t* at(uint32_t offset) { return bytes_.data() + offset; }

    // Where the run of entries from `first` ends: entries of the same output
    // that the framing took, whose bytes lie one after the other. Their ends
    // from the run's start go to `ends`.
    size_t run(size_t first, std::vector<uint32_t>& ends) const {
        ends.clear();
        const PreparedEntry& head = entries[first];
        size_t last = first;
        while (last < entries.size() && !entries[last].refused && entries[last].lsn == head.lsn) {
            ends.push_back(entries[last].offset + entries[last].length - head.offset);
            ++last;
        }
        return last;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t used_ = 0;
};

}  // namespace ornpcap
