#include "ornfix/trace_writer.hpp"

#include <algorithm>
#include <cstring>

#include "base/byte_order.hpp"
#include "ornfix/block_walk.hpp"
#include "ornfix/salvage.hpp"
#include "trace/block_encoder.hpp"
#include "trace/block_expander.hpp"

namespace ornpcap::ornfix {

namespace {

// NRV2B level of the new blocks: the best, since only blocks around damage
// are cut anew.
constexpr int kCompressionLevel = 10;

}  // namespace

void RecordPhase::advance(const uint8_t* bytes, size_t length, const RecordForm& form) {
    while (length > 0) {
        if (remaining > 0) {
            const uint32_t k = static_cast<uint32_t>(std::min<size_t>(length, remaining));
            consumed += k;
            remaining -= k;
            bytes += k;
            length -= k;
            if (remaining == 0) {
                consumed = 0;
            }
            continue;
        }
        const uint32_t k =
            static_cast<uint32_t>(std::min<size_t>(length, form.headerSize - consumed));
        std::memcpy(head.data() + consumed, bytes, k);
        consumed += k;
        bytes += k;
        length -= k;
        if (consumed == form.headerSize) {
            remaining = loadLe16(head.data() + form.lengthOffset);
            consumed = remaining == 0 ? 0 : consumed;
        }
    }
}

TraceWriter::TraceWriter(ByteSink& out, const RecordForm& form, uint16_t chunkLimit)
    : out_(out), form_(form), chunkLimit_(std::max<uint16_t>(chunkLimit, 1)) {}

bool TraceWriter::put(const uint8_t* data, size_t length) {
    if (!out_.write(data, length)) {
        return false;
    }
    counts_.bytes += length;
    return true;
}

bool TraceWriter::writeHeader(std::span<const uint8_t> header) {
    return put(header.data(), header.size());
}

bool TraceWriter::writeBlock(uint16_t tag, std::span<const uint8_t> data, uint16_t fcs,
                             uint32_t expanded, uint32_t carry) {
    if (counts_.blocks == kMostBlocks) {
        counts_.full = true;
        return true;
    }
    const uint32_t position = counts_.blocks + 1;
    const BlockHeader header{
        static_cast<uint16_t>((tag & 0x8000) | expectedBlockNumber(position)),
        static_cast<uint16_t>(data.size()), fcs};
    const auto raw = encodeBlockHeader(header);
    if (!put(raw.data(), raw.size()) || !put(data.data(), data.size())) {
        return false;
    }
    room_ = std::max(room_, blockRoomNeed(static_cast<uint32_t>(data.size()), carry, expanded));
    counts_.blocks = position;
    counts_.streamLength += kBlockHeaderSize + static_cast<uint32_t>(data.size());
    return true;
}

bool TraceWriter::copyBlock(const BlockHeader& header, const uint8_t* data, uint32_t expanded,
                            uint32_t carryIn) {
    if (!flushPending(true)) {
        return false;
    }
    ++counts_.copied;
    return writeBlock(header.blockTag, {data, header.blockLength}, header.blockFcs, expanded,
                      carryIn);
}

// Cuts one block from the pending bytes: compressed when that is smaller and
// expands back to the very bytes, else stored.
bool TraceWriter::emitChunk(size_t length) {
    const uint8_t* raw = pending_.data() + pendingStart_;
    bool useCompressed = BlockExpander::ensureInitialised() == BlockExpander::Success &&
                         compressNrv2b({raw, length}, kCompressionLevel, compressed_) &&
                         compressed_.size() < length;
    const size_t packed = compressed_.size();
    if (useCompressed) {
        check_.resize(length);
        uint32_t produced = static_cast<uint32_t>(length);
        useCompressed = BlockExpander::expand(compressed_.data(), static_cast<uint32_t>(packed),
                                              check_.data(), produced) == BlockExpander::Success &&
                        produced == length && std::memcmp(check_.data(), raw, length) == 0;
    }
    const std::span<const uint8_t> data =
        useCompressed ? std::span<const uint8_t>(compressed_.data(), packed)
                      : std::span<const uint8_t>(raw, length);
    const uint32_t carry = pendingPhase_.consumed;
    ++counts_.newBlocks;
    counts_.compressed += useCompressed ? 1 : 0;
    if (!writeBlock(useCompressed ? 0 : 0x8000, data, blockFcsOf(data), static_cast<uint32_t>(length),
                    carry)) {
        return false;
    }
    pendingPhase_.advance(raw, length, form_);
    pendingStart_ += length;
    return true;
}

// Cuts the pending bytes into blocks: only whole ones of the longest length
// allowed, or (all) everything.
bool TraceWriter::flushPending(bool all) {
    for (;;) {
        const size_t available = pending_.size() - pendingStart_;
        const size_t longest =
            std::min<size_t>(chunkLimit_, kMostExpanded - pendingPhase_.consumed);
        if (available == 0 || (!all && available < longest)) {
            break;
        }
        if (!emitChunk(std::min(available, longest))) {
            return false;
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingStart_));
    pendingStart_ = 0;
    return true;
}

bool TraceWriter::appendStream(const uint8_t* bytes, size_t length, const RecordPhase& phase) {
    if (pending_.size() == pendingStart_) {
        pending_.clear();
        pendingStart_ = 0;
        pendingPhase_ = phase;
    }
    pending_.insert(pending_.end(), bytes, bytes + length);
    return flushPending(false);
}

bool TraceWriter::finish(const std::array<uint8_t, 16>* oldTrailer) {
    if (!flushPending(true)) {
        return false;
    }
    counts_.maxBlockLength = static_cast<uint16_t>(std::min<uint32_t>(room_, 0xFFFF));
    const TraceTrailer trailer =
        encodeTrailer(counts_.maxBlockLength, static_cast<uint16_t>(counts_.blocks),
                      counts_.streamLength,
                      oldTrailer != nullptr ? *oldTrailer : std::array<uint8_t, kTrailerSize>{});
    return put(trailer.bytes.data(), trailer.bytes.size());
}

}  // namespace ornpcap::ornfix
