#include "ornfix/record_stream.hpp"

#include <algorithm>
#include <cstring>

#include "base/byte_order.hpp"

namespace ornpcap::ornfix {

RecordProfile::RecordProfile(uint16_t snapLength) : snapLength_(snapLength) {
    types_.set(kEventFrameSent);
    types_.set(kEventFrameReceived);
    statuses_.set(0);
}

void RecordProfile::learn(const EventRecord& r) {
    if (seen_ && r.timeMs < lastTime_) {
        ordered_ = false;
    }
    lastTime_ = r.timeMs;
    types_.set(r.eventType);
    statuses_.set(r.eventStatus);
    withinSnap_ = withinSnap_ && snapLength_ != 0 && r.dataLength <= snapLength_;
    withinLine_ = withinLine_ && r.dataLength <= r.origLength;
    seen_ = true;
}

bool RecordProfile::plausible(const EventRecord& r) const {
    if (!types_.test(r.eventType) || !statuses_.test(r.eventStatus)) {
        return false;
    }
    if (!seen_) {
        return true;
    }
    return (!withinSnap_ || r.dataLength <= snapLength_) &&
           (!withinLine_ || r.dataLength <= r.origLength);
}

RecordStream::RecordStream(const RecordForm& form, uint16_t snapLength,
                           std::vector<KeptBlock>& blocks)
    : form_(form), profile_(snapLength), blocks_(blocks) {}

// The chain from `at` over every header already at hand: refuted by the
// first that is not plausible, proven once at least kChain hold together.
RecordStream::Verdict RecordStream::chainAt(uint32_t at) const {
    uint64_t p = at;
    uint32_t previous = 0;
    int links = 0;
    for (; p + form_.headerSize <= fill_; ++links) {
        const EventRecord r = decodeEventRecord(buffer_.data() + p, form_);
        if (!profile_.plausible(r) || (profile_.ordered() && links > 0 && r.timeMs < previous)) {
            return Verdict::Refuted;
        }
        previous = r.timeMs;
        p += form_.headerSize + r.dataLength;
    }
    return links >= kChain ? Verdict::Proven : Verdict::Undecided;
}

// Notes, for each block that starts inside this record, how far into the
// record it starts and where the record ends.
void RecordStream::annotate(uint64_t start, uint64_t end) {
    for (; annotated_ < blocks_.size() && blocks_[annotated_].streamStart < end; ++annotated_) {
        KeptBlock& b = blocks_[annotated_];
        if (b.streamStart > start) {
            b.carryIn = static_cast<uint32_t>(b.streamStart - start);
            b.toNextRecord = static_cast<uint32_t>(end - b.streamStart);
        }
    }
}

void RecordStream::emit(uint32_t at, uint32_t length) {
    const EventRecord r = decodeEventRecord(buffer_.data() + at, form_);
    if (counts_.records == 0) {
        counts_.firstTime = r.timeMs;
    }
    ++counts_.records;
    counts_.lastTime = r.timeMs;
    counts_.largestRecord = std::max(counts_.largestRecord, length);
    profile_.learn(r);
    if (searching_ >= 0) {
        StreamBreak& b = breaks_[static_cast<size_t>(searching_)];
        b.hasAfter = true;
        b.timeAfter = r.timeMs;
        searching_ = -1;
    }
    const uint64_t start = bufferStart_ + at;
    annotate(start, start + length);
    keptTo_ = start + length;
}

bool RecordStream::cutRecord() {
    const uint32_t rest = fill_ - pos_;
    if (rest < form_.headerSize) {
        return false;
    }
    const uint32_t length =
        form_.headerSize + loadLe16(buffer_.data() + pos_ + form_.lengthOffset);
    if (rest < length) {
        return false;
    }
    emit(pos_, length);
    pos_ += length;
    return true;
}

void RecordStream::cut() {
    for (;;) {
        if (synced_) {
            if (!cutRecord()) {
                return;
            }
            continue;
        }
        const Verdict v = chainAt(pos_);
        if (v == Verdict::Undecided) {
            return;
        }
        if (v == Verdict::Refuted) {
            ++pos_;
            ++breaks_[static_cast<size_t>(searching_)].bytesDropped;
            continue;
        }
        synced_ = covered_ = true;
        keptFrom_ = keptTo_ = bufferStart_ + pos_;
    }
}

StreamBreak RecordStream::breakHere() const {
    StreamBreak b;
    b.recordsCut = synced_ && fill_ > pos_ ? 1 : 0;
    b.bytesDropped = fill_ - pos_;
    b.hasBefore = counts_.records != 0;
    b.timeBefore = counts_.lastTime;
    return b;
}

void RecordStream::closeRun(size_t endIndex) {
    for (size_t i = runFirst_; i < endIndex; ++i) {
        KeptBlock& b = blocks_[i];
        const uint64_t from = covered_ ? keptFrom_ : b.streamStart;
        const uint64_t to = covered_ ? keptTo_ : b.streamStart;
        const auto clamp = [&b](uint64_t at) {
            return static_cast<uint32_t>(
                std::clamp<uint64_t>(at, b.streamStart, b.streamStart + b.expanded) -
                b.streamStart);
        };
        b.keepFrom = clamp(from);
        b.keepTo = std::max(b.keepFrom, clamp(to));
    }
    runFirst_ = endIndex;
}

int RecordStream::take(bool continuous) {
    KeptBlock& block = blocks_.back();
    int made = -1;
    if (!continuous) {
        breaks_.push_back(breakHere());
        made = searching_ = static_cast<int>(breaks_.size() - 1);
        closeRun(blocks_.size() - 1);
        std::memmove(buffer_.data(), buffer_.data() + fill_, block.expanded);
        bufferStart_ = streamEnd_;
        fill_ = pos_ = 0;
        synced_ = covered_ = false;
    }
    block.streamStart = streamEnd_;
    streamEnd_ += block.expanded;
    fill_ += block.expanded;
    cut();
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, fill_ - pos_);
        bufferStart_ += pos_;
        fill_ -= pos_;
        pos_ = 0;
    }
    return made;
}

void RecordStream::finish() {
    tail_ = breakHere();
    closeRun(blocks_.size());
}

}  // namespace ornpcap::ornfix
