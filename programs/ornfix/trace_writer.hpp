#pragma once
// Writes the repaired trace: the header, then blocks numbered from 1 (the
// 15-bit number counts 1 to 32767, then 0, 1, ... again, up to 65535 blocks),
// then a trailer computed from the blocks written.
//
// A block whose data lies wholly in kept records is copied as it stands
// (only its number changes; its FCS covers the data alone). Everything else
// is re-blocked: the kept record bytes are cut into blocks of at most
// chunkLimit bytes, each compressed with UCL's NRV2B compressor or stored,
// whichever is smaller. The trailer's maxBlockLength is the smallest with
// which the conversion holds every block and every record carried over
// between blocks: at least each block's length, and half of what its work
// buffer (twice maxBlockLength) must take in: the start of the record in
// progress plus the block's expanded data.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "trace/block_stream.hpp"
#include "trace/event_record.hpp"

namespace ornpcap::ornfix {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False when the bytes could not be written.
    virtual bool write(const uint8_t* data, size_t length) = 0;
};

// Where the stream stands in its records: bytes of the record in progress
// seen so far (0 at a record boundary) and bytes of it still to come (0 while
// its header is incomplete).
struct RecordPhase {
    uint32_t consumed = 0;
    uint32_t remaining = 0;
    std::array<uint8_t, 25> head{};

    void advance(const uint8_t* bytes, size_t length, const RecordForm& form);
};

struct WriterCounts {
    uint32_t blocks = 0;
    uint32_t copied = 0;    // as they stood in the trace
    uint32_t newBlocks = 0;  // cut from kept records
    uint32_t compressed = 0;
    uint64_t bytes = 0;      // of the whole file
    uint32_t streamLength = 0;
    uint16_t maxBlockLength = 0;
    bool full = false;  // 65535 blocks written: nothing more fits
};

class TraceWriter {
public:
    TraceWriter(ByteSink& out, const RecordForm& form, uint16_t chunkLimit);

    bool writeHeader(std::span<const uint8_t> header);
    // A block copied as it stands: its header as read, its data as stored,
    // the bytes it expands to, the bytes of a record in progress before it.
    bool copyBlock(const BlockHeader& header, const uint8_t* data, uint32_t expanded,
                   uint32_t carryIn);
    // Record-stream bytes to be cut into new blocks; phase: where their first
    // byte stands in its record.
    bool appendStream(const uint8_t* bytes, size_t length, const RecordPhase& phase);
    // The blocks still pending, then the trailer. oldTrailer: the trace's own
    // when intact, whose uninterpreted bytes are kept; else nullptr.
    bool finish(const std::array<uint8_t, 16>* oldTrailer);

    const WriterCounts& counts() const { return counts_; }

private:
    bool emitChunk(size_t length);
    bool flushPending(bool all);
    bool writeBlock(uint16_t tag, std::span<const uint8_t> data, uint16_t fcs, uint32_t expanded,
                    uint32_t carry);
    bool put(const uint8_t* data, size_t length);

    ByteSink& out_;
    RecordForm form_;
    uint16_t chunkLimit_;
    std::vector<uint8_t> pending_;  // record bytes waiting to be cut into blocks
    size_t pendingStart_ = 0;
    RecordPhase pendingPhase_;  // of pending_[pendingStart_]
    std::vector<uint8_t> compressed_;
    std::vector<uint8_t> check_;
    WriterCounts counts_;
    uint32_t room_ = 0;  // the largest work-buffer need of a block so far
};

// Every byte given to a sink counted, and nothing kept (--dry-run).
class CountingSink final : public ByteSink {
public:
    bool write(const uint8_t*, size_t length) override {
        bytes += length;
        return true;
    }
    uint64_t bytes = 0;
};

// Every byte kept in memory (tests, fuzzing).
class MemorySink final : public ByteSink {
public:
    bool write(const uint8_t* data, size_t length) override {
        bytes.insert(bytes.end(), data, data + length);
        return true;
    }
    std::vector<uint8_t> bytes;
};

}  // namespace ornpcap::ornfix
