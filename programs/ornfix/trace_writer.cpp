#include "ornfix/trace_writer.hpp"

#include <algorithm>
#include <cstring>
#include <ucl/ucl.h>

#include "base/byte_order.hpp"
#include "ornfix/block_walk.hpp"
#include "ornfix/salvage.hpp"
#include "trace/block_expander.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap::ornfix {

namespace {

// NRV2B level of the new blocks: the best, since only blocks around damage
// are cut anew.
constexpr int kCompressionLevel = 10;

uint16_t fcsOf(std::span<const uint8_t> data) {
    return Fcs16().reset().update(data.data(), static_cast<uint32_t>(data.size())).result();
}

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
    uint8_t raw[kBlockHeaderSize];
    storeLe16(raw, static_cast<uint16_t>((tag & 0x8000) | expectedBlockNumber(position)));
    storeLe16(raw + 2, static_cast<uint16_t>(data.size()));
    storeLe16(raw + 4, fcs);
    if (!put(raw, sizeof raw) || !put(data.data(), data.size())) {
        return false;
    }
    const uint32_t need = std::max<uint32_t>(static_cast<uint32_t>(data.size()),
                                             (carry + expanded + 1) / 2);
    room_ = std::max(room_, need);
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
    compressed_.resize(length + length / 8 + 256);
    ucl_uint packed = static_cast<ucl_uint>(compressed_.size());
    bool useCompressed =
        BlockExpander::ensureInitialised() == BlockExpander::Success &&
        ucl_nrv2b_99_compress(raw, static_cast<ucl_uint>(length), compressed_.data(), &packed,
                              nullptr, kCompressionLevel, nullptr, nullptr) == UCL_E_OK &&
        packed < length;
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
    if (!writeBlock(useCompressed ? 0 : 0x8000, data, fcsOf(data), static_cast<uint32_t>(length),
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
    std::array<uint8_t, 16> trailer{};
    if (oldTrailer != nullptr) {
        trailer = *oldTrailer;
    }
    counts_.maxBlockLength = static_cast<uint16_t>(std::min<uint32_t>(room_, 0xFFFF));
    storeLe16(&trailer[0], counts_.maxBlockLength);
    storeLe16(&trailer[2], static_cast<uint16_t>(counts_.blocks));
    storeLe32(&trailer[8], counts_.streamLength);
    storeLe16(&trailer[14], fcsOf(std::span(trailer).first(14)));
    return put(trailer.data(), trailer.size());
}

}  // namespace ornpcap::ornfix
