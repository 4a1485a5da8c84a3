#include "ornfix/record_stream.hpp"

#include <algorithm>
#include <cstring>

#include "base/byte_order.hpp"

namespace ornpcap::ornfix {

RecordStream::RecordStream(const RecordForm& form, uint16_t snapLength,
                           std::vector<KeptBlock>& blocks)
    : form_(form), profile_(snapLength), chain_(form), blocks_(blocks) {}

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

// Every offset from pos_ on judged as a start, in turn, until one is proven
// (taken) or one cannot be decided with the data at hand (the search waits
// for more). Where no more data comes (the next block was lost, or the
// stream ends) nothing waits: a start that is not proven is refuted, and
// the search goes on at the next byte.
void RecordStream::search(DataEnd end) {
    while (pos_ < fill_) {
        const ChainVerdict v = chain_.judge(buffer_.data(), fill_, pos_, profile_, end);
        if (v == ChainVerdict::Proven) {
            synced_ = covered_ = true;
            keptFrom_ = keptTo_ = bufferStart_ + pos_;
            return;
        }
        if (v == ChainVerdict::Undecided) {
            return;
        }
        ++pos_;
        ++breaks_[static_cast<size_t>(searching_)].bytesDropped;
    }
}

void RecordStream::cut(DataEnd end) {
    if (!synced_) {
        search(end);
    }
    while (synced_ && cutRecord()) {
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
    block.streamStart = streamEnd_;
    int made = -1;
    if (!continuous) {
        cut(DataEnd::RunEnds);
        breaks_.push_back(breakHere());
        made = searching_ = static_cast<int>(breaks_.size() - 1);
        closeRun(blocks_.size() - 1);
        std::memmove(buffer_.data(), buffer_.data() + fill_, block.expanded);
        bufferStart_ = streamEnd_;
        fill_ = pos_ = 0;
        synced_ = covered_ = false;
    }
    streamEnd_ += block.expanded;
    fill_ += block.expanded;
    cut(DataEnd::MoreToCome);
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, fill_ - pos_);
        bufferStart_ += pos_;
        fill_ -= pos_;
        pos_ = 0;
    }
    return made;
}

void RecordStream::finish() {
    cut(DataEnd::StreamEnds);
    tail_ = breakHere();
    closeRun(blocks_.size());
}

}  // namespace ornpcap::ornfix
