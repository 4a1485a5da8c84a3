#include "ornfix/block_walk.hpp"

#include <algorithm>
#include <cstring>

#include "base/byte_order.hpp"
#include "base/interrupt.hpp"

namespace ornpcap::ornfix {

namespace {

uint16_t numberAfter(uint16_t number) { return static_cast<uint16_t>((number + 1) & 0x7FFF); }

// How far a number runs ahead of the one due, modulo 32768.
uint32_t ahead(uint16_t number, uint16_t due) { return (number - due) & 0x7FFFu; }

uint16_t numberAt(const uint8_t* raw) { return loadLe16(raw) & 0x7FFF; }

// A byte-by-byte search looks at an interrupt this often.
constexpr uint64_t kSearchStride = 1 << 16;

// The bytes the search's quick look reads from an offset on: a block header,
// the longest data, and the number of the block behind it.
constexpr size_t kSearchReach = kBlockHeaderSize + 0xFFFF + kBlockHeaderSize;
static_assert(2 * kSearchReach <= InputWindow::kStretch);

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

// Whether a block ending at `next` is the last of the stream: it ends where
// blocks must end, where an intact trailer's streamLength says, or 16 bytes
// before the end of a file whose trailer is damaged.
bool BlockWalker::endsTheStream(uint64_t next) const {
    if (next == limits_.end) {
        return true;
    }
    if (limits_.trailerIntact) {
        return next == limits_.begin + limits_.trailer.streamLength();
    }
    return next + kTrailerSize == limits_.fileSize;
}

// Whether the blocks behind a block found past damage agree with it: the
// next one carries the number after its own and is sound, or is cut by the
// end of a file without its trailer, or is followed by the number after
// that (its own data damaged); or the block ends the stream.
bool BlockWalker::confirmed(uint64_t offset, const BlockHeader& header) {
    const uint64_t next = offset + kBlockHeaderSize + header.blockLength;
    const bool fileMayEnd = !limits_.trailerIntact;  // a file cut short ends anywhere
    if (endsTheStream(next)) {
        return true;
    }
    if (next + kBlockHeaderSize > limits_.end) {
        return fileMayEnd;
    }
    const uint8_t* raw = input_.view(next, kBlockHeaderSize);
    if (raw == nullptr) {
        return false;
    }
    const BlockHeader following = decodeBlockHeader(raw);
    const uint16_t due = numberAfter(header.blockNumber());
    if (following.blockNumber() != due || following.blockLength == 0) {
        return false;
    }
    const uint64_t after = next + kBlockHeaderSize + following.blockLength;
    if (after > limits_.end) {
        return fileMayEnd;
    }
    if (endsTheStream(after) || dataChecksOut(next, following)) {
        return true;
    }
    if (after + kBlockHeaderSize > limits_.end) {
        return fileMayEnd;
    }
    const uint8_t* third = input_.view(after, kBlockHeaderSize);
    return third != nullptr && numberAt(third) == numberAfter(due) && loadLe16(third + 2) != 0;
}

// How many numbers past the one due a block found after this many skipped
// bytes may carry: twice as many blocks as the largest one kept would fill.
uint32_t BlockWalker::numberWindow(uint64_t skippedBytes) const {
    const uint64_t typical = kBlockHeaderSize + (largestBlock_ != 0 ? largestBlock_ : 64);
    return static_cast<uint32_t>(std::min<uint64_t>(2 + 2 * skippedBytes / typical, 0x7FFF));
}

bool BlockWalker::accept(const Judgement& j, uint64_t offset, const Skipped& skipped) {
    const uint32_t lead = ahead(j.header.blockNumber(), expected_);
    if (!skipped.fault.failed()) {
        return lead == 0 || successorCarriesOn(offset, j.header) ||
               endsTheStream(offset + kBlockHeaderSize + j.header.blockLength);
    }
    return lead <= numberWindow(offset - skipped.from) && confirmed(offset, j.header);
}

// The block kept a little earlier that this sound one repeats byte for
// byte, or nullptr.
const BlockWalker::Kept* BlockWalker::repeated(const Judgement& j, uint64_t offset) {
    const uint16_t length = j.header.blockLength;
    for (size_t i = 1; i <= std::min(keptCount_, recent_.size()); ++i) {
        const Kept& k = recent_[(keptCount_ - i) % recent_.size()];
        if (k.header.blockTag != j.header.blockTag || k.header.blockLength != length ||
            k.header.blockFcs != j.header.blockFcs) {
            continue;
        }
        const uint8_t* mine = input_.view(offset + kBlockHeaderSize, length);
        if (mine == nullptr) {
            return nullptr;
        }
        scratch_.assign(mine, mine + length);
        const uint8_t* theirs = input_.view(k.offset + kBlockHeaderSize, length);
        if (theirs != nullptr && std::memcmp(theirs, scratch_.data(), length) == 0) {
            return &k;
        }
    }
    return nullptr;
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

// The search's quick look at the block header at `at` (the bytes at
// offset), from numbers and lengths alone: whether it may be one that
// confirmed() takes. The bytes of kSearchReach from it are at hand.
bool BlockWalker::mayBeBlock(const uint8_t* at, uint64_t offset, uint32_t window) const {
    const uint16_t length = loadLe16(at + 2);
    if (length == 0 || ahead(numberAt(at), expected_) > window) {
        return false;
    }
    const uint64_t next = offset + kBlockHeaderSize + length;
    if (next > limits_.end) {
        return false;
    }
    if (endsTheStream(next) || next + kBlockHeaderSize > limits_.end) {
        return true;
    }
    return numberAt(at + (next - offset)) == numberAfter(numberAt(at));
}

// The first offset from `from` on where a block header's number, length and
// FCS check out and the blocks behind it agree; limits.end when there is none.
uint64_t BlockWalker::search(uint64_t from, const Skipped& skipped) {
    uint64_t q = from;
    uint64_t nextLook = from + kSearchStride;
    while (q + kBlockHeaderSize < limits_.end) {
        size_t length = 0;
        const uint8_t* base = input_.stretch(q, 2 * kSearchReach, length);
        if (base == nullptr) {
            break;
        }
        const uint64_t first = q;
        const uint64_t windowEnd = q + length;
        const uint64_t stop = std::min(limits_.end - kBlockHeaderSize,
                                       windowEnd == input_.size() ? windowEnd
                                                                  : windowEnd - kSearchReach);
        // The widest window the stretch allows; accept() holds each to its own.
        const uint32_t window = numberWindow(stop - skipped.from);
        for (; q < stop; ++q) {
            if (q >= nextLook) {
                nextLook += kSearchStride;
                if (pendingInterrupt() != 0) {
                    return limits_.end;
                }
            }
            const uint8_t* at = base + (q - first);
            if (!mayBeBlock(at, q, window)) {
                continue;
            }
            const BlockHeader header = decodeBlockHeader(at);
            if (dataChecksOut(q, header) && confirmed(q, header)) {
                return q;
            }
            ++q;  // the checks may have moved the window
            break;
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
    recent_[keptCount_++ % recent_.size()] = {offset, j.header, step.position};
    return step;
}

WalkStep BlockWalker::passedOver(const Judgement& j, uint64_t offset, const Kept& original) {
    WalkStep step;
    step.duplicate = true;
    step.skipped = {offset, offset, {}, false};
    step.offset = offset;
    step.header = j.header;
    step.position = original.position;
    step.originalOffset = original.offset;
    pos_ = offset + kBlockHeaderSize + j.header.blockLength;
    return step;
}

WalkStep BlockWalker::next(ExpansionArea area) {
    Skipped skipped{pos_, pos_, {}, false};
    uint64_t at = pos_;
    uint64_t searchFrom = pos_ + 1;
    while (at < limits_.end && !input_.failed()) {
        const Judgement j = judge(at, area);
        const bool undamaged = !skipped.fault.failed();
        if (j.sound && undamaged && ahead(j.header.blockNumber(), expected_) != 0) {
            if (const Kept* original = repeated(j, at); original != nullptr) {
                return passedOver(j, at, *original);
            }
        }
        if (j.sound && accept(j, at, skipped)) {
            return kept(j, at, skipped);
        }
        if (undamaged) {
            describe(j, at, skipped);
        }
        const uint64_t walkOn = at + kBlockHeaderSize + j.header.blockLength;
        if (undamaged && !j.headerCut && j.header.blockLength != 0 &&
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
