#include "ornfix/block_walk.hpp"

#include <algorithm>

#include "base/interrupt.hpp"

namespace ornpcap::ornfix {

namespace {

uint16_t numberAfter(uint16_t number) { return static_cast<uint16_t>((number + 1) & 0x7FFF); }

// How far a number runs ahead of the one due, modulo 32768.
uint32_t ahead(uint16_t number, uint16_t due) { return (number - due) & 0x7FFFu; }

// A byte-by-byte search looks at an interrupt this often.
constexpr uint64_t kSearchStride = 1 << 16;

}  // namespace

struct BlockWalker::Judgement {
    BlockHeader header;
    bool headerCut = false;  // fewer than 6 bytes before the end
    bool sound = false;      // data inside the file, not empty, FCS right, expands
    uint32_t expanded = 0;
    TraceFault dataFault;    // why the data is not intact
};

BlockWalker::BlockWalker(InputWindow& input, const WalkLimits& limits)
    : input_(input), limits_(limits), pos_(limits.begin) {}

BlockWalker::Judgement BlockWalker::judge(uint64_t offset, ExpansionArea& area) {
    Judgement j;
    const uint8_t* raw = offset + kBlockHeaderSize <= limits_.end
                             ? input_.view(offset, kBlockHeaderSize)
                             : nullptr;
    if (raw == nullptr) {
        j.headerCut = true;
        return j;
    }
    j.header = decodeBlockHeader(raw);
    const uint16_t length = j.header.blockLength;
    if (length == 0) {
        fault(&j.dataFault, ResultCode::CannotReadSource, TraceCheck::BlockEmpty);
        return j;
    }
    const uint8_t* data = offset + kBlockHeaderSize + length <= limits_.end
                              ? input_.view(offset + kBlockHeaderSize, length)
                              : nullptr;
    if (data == nullptr) {
        fault(&j.dataFault, ResultCode::CannotReadSource, TraceCheck::BlockDataCut, length);
        return j;
    }
    if (checkBlockData(j.header, data, &j.dataFault) != ResultCode::Ok) {
        return j;
    }
    if (area.buffer.size() < area.fill + kMostExpanded) {
        area.buffer.resize(area.fill + kMostExpanded);
    }
    uint32_t fill = area.fill;
    if (expandBlock(j.header, data, area.buffer, fill, area.fill + kMostExpanded, &j.dataFault) !=
        ResultCode::Ok) {
        return j;
    }
    j.sound = true;
    j.expanded = fill - area.fill;
    return j;
}

bool BlockWalker::dataChecksOut(uint64_t offset, const BlockHeader& header) {
    if (header.blockLength == 0 || offset + kBlockHeaderSize + header.blockLength > limits_.end) {
        return false;
    }
    const uint8_t* data = input_.view(offset + kBlockHeaderSize, header.blockLength);
    return data != nullptr && checkBlockData(header, data) == ResultCode::Ok;
}

// Whether the block right behind this one is intact and numbered on from it.
bool BlockWalker::successorCarriesOn(uint64_t offset, const BlockHeader& header) {
    const uint64_t next = offset + kBlockHeaderSize + header.blockLength;
    if (next + kBlockHeaderSize > limits_.end) {
        return false;
    }
    const uint8_t* raw = input_.view(next, kBlockHeaderSize);
    if (raw == nullptr) {
        return false;
    }
    const BlockHeader following = decodeBlockHeader(raw);
    return following.blockNumber() == numberAfter(header.blockNumber()) &&
           dataChecksOut(next, following);
}

// How many numbers past the one due a block found after this many skipped
// bytes may carry: twice as many blocks as the largest one kept would fill.
uint32_t BlockWalker::numberWindow(uint64_t skippedBytes) const {
    const uint64_t typical = kBlockHeaderSize + (largestBlock_ != 0 ? largestBlock_ : 64);
    return static_cast<uint32_t>(std::min<uint64_t>(2 + 2 * skippedBytes / typical, 0x7FFF));
}

bool BlockWalker::accept(const Judgement& j, uint64_t offset, const Skipped& skipped) {
    const uint32_t lead = ahead(j.header.blockNumber(), expected_);
    if (lead == 0) {
        return true;
    }
    if (skipped.fault.failed()) {
        return lead <= numberWindow(offset - skipped.from);
    }
    return successorCarriesOn(offset, j.header);
}

void BlockWalker::describe(const Judgement& j, uint64_t offset, Skipped& skipped) const {
    TraceFault& f = skipped.fault;
    if (j.headerCut) {
        fault(&f, ResultCode::CannotReadSource, TraceCheck::BlockHeaderCut);
    } else if (checkBlockHeader(j.header, limits_.trailer, expected_, &f) == ResultCode::Ok) {
        f = j.dataFault;
    }
    f.block = lastPosition_ + 1;
    f.offset = offset;
}

// The first offset from `from` on where a block header's number, length and
// FCS check out; limits.end when there is none.
uint64_t BlockWalker::search(uint64_t from, const Skipped& skipped) {
    for (uint64_t q = from; q + kBlockHeaderSize < limits_.end; ++q) {
        if ((q - from) % kSearchStride == kSearchStride - 1 && pendingInterrupt() != 0) {
            break;
        }
        const uint8_t* raw = input_.view(q, kBlockHeaderSize);
        if (raw == nullptr) {
            break;
        }
        const BlockHeader header = decodeBlockHeader(raw);
        if (header.blockLength != 0 &&
            ahead(header.blockNumber(), expected_) <= numberWindow(q - skipped.from) &&
            dataChecksOut(q, header)) {
            return q;
        }
    }
    return limits_.end;
}

WalkStep BlockWalker::kept(const Judgement& j, uint64_t offset, const Skipped& skipped) {
    WalkStep step;
    step.skipped = skipped;
    step.skipped.to = offset;
    step.offset = offset;
    step.header = j.header;
    step.expanded = j.expanded;
    step.blocksLost = ahead(j.header.blockNumber(), expected_);
    step.continuous = step.blocksLost == 0;
    step.position = lastPosition_ + 1 + step.blocksLost;
    lastPosition_ = step.position;
    expected_ = numberAfter(j.header.blockNumber());
    largestBlock_ = std::max<uint32_t>(largestBlock_, j.header.blockLength);
    pos_ = offset + kBlockHeaderSize + j.header.blockLength;
    return step;
}

WalkStep BlockWalker::next(ExpansionArea area) {
    Skipped skipped{pos_, pos_, {}, false};
    uint64_t at = pos_;
    uint64_t searchFrom = pos_ + 1;
    while (at < limits_.end && !input_.failed()) {
        const Judgement j = judge(at, area);
        if (j.sound && accept(j, at, skipped)) {
            return kept(j, at, skipped);
        }
        const bool firstDamage = !skipped.fault.failed();
        if (firstDamage) {
            describe(j, at, skipped);
        }
        const uint64_t walkOn = at + kBlockHeaderSize + j.header.blockLength;
        if (firstDamage && !j.headerCut && j.header.blockLength != 0 &&
            walkOn + kBlockHeaderSize < limits_.end) {
            skipped.walkedOn = true;
            at = walkOn;
            continue;
        }
        skipped.walkedOn = false;
        at = search(searchFrom, skipped);
        searchFrom = at + 1;
    }
    WalkStep end;
    end.end = true;
    end.skipped = skipped;
    end.skipped.to = input_.failed() ? at : limits_.end;
    pos_ = limits_.end;
    return end;
}

}  // namespace ornpcap::ornfix
