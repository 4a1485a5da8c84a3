#include "ornfix/record_chain.hpp"

#include <algorithm>

namespace ornpcap::ornfix {

namespace {

// The longest steps in time between two records side by side that are not
// out of the ordinary, in milliseconds: about an hour and ten minutes on,
// a minute back (a clock put right).
constexpr uint32_t kNearInTime = 1u << 22;
constexpr uint32_t kBackInTime = 1u << 16;

// The stretch of the record stream a chain draws support from once it has
// fewer than kSupport records: a chain that reaches this far is as long as
// it needs to be.
constexpr uint64_t kSupportSpan = 1 << 14;

bool inTime(uint32_t before, uint32_t after) {
    return after >= before ? after - before <= kNearInTime : before - after <= kBackInTime;
}

// Whether another link than the i-th, at another time, one that may lend
// in this respect, has what `has` asks for.
template <typename Has>
bool sharedBy(const std::vector<EventRecord>& links, const std::vector<bool>& lends, size_t i,
              Has has) {
    for (size_t j = 0; j < links.size(); ++j) {
        if (j != i && lends[j] && links[j].timeMs != links[i].timeMs && has(links[j])) {
            return true;
        }
    }
    return false;
}

// Whether a header's bytes are all alike: padding (zeros, 0xFF), not a record.
bool isFiller(const uint8_t* header, uint32_t size) {
    return std::all_of(header, header + size, [header](uint8_t b) { return b == header[0]; });
}

}  // namespace

RecordProfile::RecordProfile(uint16_t snapLength) : snapLength_(snapLength) {
    types_.set(kEventFrameSent);
    types_.set(kEventFrameReceived);
    statuses_.set(0);
}

void RecordProfile::learn(const EventRecord& r) {
    types_.set(r.eventType);
    statuses_.set(r.eventStatus);
    ports_.set(r.port);
    lastTime_ = r.timeMs;
    lsns_.set(r.lsn);
    overSnapSeen_ = overSnapSeen_ || overSnap(r);
    seen_ = true;
}

bool RecordProfile::kindKnown(const EventRecord& r) const {
    return types_.test(r.eventType) && statuses_.test(r.eventStatus);
}

bool RecordProfile::channelKnown(const EventRecord& r) const {
    return ports_.test(r.port) && lsns_.test(r.lsn);
}

// Whether the i-th link's channel is that of records kept, or of a link
// that may lend it.
bool RecordChain::channelHolds(size_t i, const RecordProfile& p) const {
    const EventRecord& r = links_[i];
    const auto samePort = [&](const EventRecord& o) { return o.port == r.port; };
    const auto sameLsn = [&](const EventRecord& o) { return o.lsn == r.lsn; };
    return (p.portKnown(r.port) || sharedBy(links_, lendsChannel_, i, samePort)) &&
           (p.lsnKnown(r.lsn) || sharedBy(links_, lendsChannel_, i, sameLsn));
}

// Whether its event type and status are those of records kept, or of a link
// that may lend them.
bool RecordChain::kindHolds(size_t i, const RecordProfile& p) const {
    const EventRecord& r = links_[i];
    const auto sameType = [&](const EventRecord& o) { return o.eventType == r.eventType; };
    const auto sameStatus = [&](const EventRecord& o) { return o.eventStatus == r.eventStatus; };
    return (p.typeKnown(r.eventType) || sharedBy(links_, lendsKind_, i, sameType)) &&
           (p.statusKnown(r.eventStatus) || sharedBy(links_, lendsKind_, i, sameStatus));
}

// In how many respects the i-th link is out of the ordinary.
int RecordChain::anomalies(size_t i, const RecordProfile& p) const {
    if (filler_[i]) {
        return 2;
    }
    const auto overSnap = [&p](const EventRecord& o) { return p.overSnap(o); };
    const bool length = !overSnap(links_[i]) || p.overSnapSeen() ||
                        sharedBy(links_, lendsLength_, i, overSnap);
    return !kindHolds_[i] + !channelHolds_[i] + !length + !timely_[i];
}

// Which links may lend what, in turn: those in time with a neighbour and no
// filler may lend their channel when their kind is that of records kept
// (or, before any, a frame with status 0); then their kind when their
// channel holds; then a length over the snapLength when both hold. So false
// headers (a run of one pattern, say) cannot vouch for each other.
void RecordChain::findLenders(const RecordProfile& p) {
    const size_t n = links_.size();
    timely_.resize(n);
    lendsKind_.assign(n, false);
    lendsChannel_.assign(n, false);
    lendsLength_.assign(n, false);
    channelHolds_.assign(n, false);
    kindHolds_.assign(n, false);
    for (size_t i = 0; i < n; ++i) {
        timely_[i] = inTimeWithNeighbours(i, p);
        lendsChannel_[i] = timely_[i] && !filler_[i] && p.kindKnown(links_[i]);
    }
    for (size_t i = 0; i < n; ++i) {
        channelHolds_[i] = !filler_[i] && channelHolds(i, p);
        lendsKind_[i] = timely_[i] && !filler_[i] && channelHolds_[i];
    }
    for (size_t i = 0; i < n; ++i) {
        kindHolds_[i] = !filler_[i] && kindHolds(i, p);
        lendsLength_[i] = lendsKind_[i] && kindHolds_[i];
    }
}

// Whether the i-th link's time is in order with, and near, a record beside
// it: the link before or the link after. A clock that steps back once
// leaves every record in time with one neighbour. The first link has only
// the one after it to vouch that it belongs to the chain (a false header
// that leads onto real records is out of time with them); alone, it is
// judged by the last record kept, if any.
bool RecordChain::inTimeWithNeighbours(size_t i, const RecordProfile& p) const {
    const uint32_t t = links_[i].timeMs;
    if (i + 1 < links_.size() && inTime(t, links_[i + 1].timeMs)) {
        return true;
    }
    if (i > 0) {
        return inTime(links_[i - 1].timeMs, t);
    }
    return links_.size() == 1 && (!p.seen() || inTime(p.lastTime(), t));
}

ChainVerdict RecordChain::judge(const uint8_t* data, uint32_t size, uint32_t at,
                                const RecordProfile& profile, DataEnd end) {
    const bool streamEnds = end == DataEnd::StreamEnds;
    links_.clear();
    filler_.clear();
    uint64_t p = at;
    while (p + form_.headerSize <= size && links_.size() < kSupport) {
        const EventRecord r = decodeEventRecord(data + p, form_);
        links_.push_back(r);
        filler_.push_back(isFiller(data + p, form_.headerSize));
        p += form_.headerSize + r.dataLength;
    }
    findLenders(profile);
    // More of the chain may lend what a record lacks, until it is as long as
    // it is going to be.
    const bool whole =
        end != DataEnd::MoreToCome || links_.size() == kSupport || p - at >= kSupportSpan;
    bool wanting = false;
    for (size_t i = 0; i < std::min(links_.size(), kProof); ++i) {
        // The last link of a chain cut off by the end of the data has no
        // link after it yet to be in time with.
        const bool timeOpen = !whole && i + 1 == links_.size() && !timely_[i];
        if (anomalies(i, profile) - (timeOpen ? 1 : 0) >= 2) {
            if (whole) {
                return ChainVerdict::Refuted;
            }
            wanting = true;
        }
    }
    if (wanting) {
        return ChainVerdict::Undecided;
    }
    if (links_.size() >= kProof) {
        return ChainVerdict::Proven;
    }
    // The chain holds to the end of the data at hand.
    if (links_.size() >= kChain || (streamEnds && !links_.empty() && p == size)) {
        return ChainVerdict::Proven;
    }
    return end == DataEnd::MoreToCome ? ChainVerdict::Undecided : ChainVerdict::Refuted;
}

}  // namespace ornpcap::ornfix
