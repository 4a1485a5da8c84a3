#include "frames/format_recogniser.hpp"

#include <algorithm>
#include <cmath>
#include <span>

#include "base/byte_order.hpp"
#include "frames/frame_fits.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap {

namespace {

using fits::kGood;

constexpr int32_t kRawIp = static_cast<int32_t>(FrameFormat::RawIp);

// Raw-IP must fit this much more than another format to win over it.
constexpr double kRawIpHandicap = 0.95;

// The formats in the order that breaks ties (the table gives each row a
// rank of its own, from 0).
struct RankedFormats {
    std::array<const FrameFormatRow*, 8> rows{};
    size_t count = 0;
};

std::span<const FrameFormatRow* const> byTieRank() {
    static const RankedFormats ranked = [] {
        RankedFormats r;
        for (const FrameFormatRow& row : frameFormats()) {
            r.rows.at(row.tieRank) = &row;
            ++r.count;
        }
        return r;
    }();
    return {ranked.rows.data(), ranked.count};
}

int32_t idOf(const FrameFormatRow* row) { return static_cast<int32_t>(row->format); }

}  // namespace

void FormatRecogniser::add(const EventRecord& record, const uint8_t* payload) {
    const bool converted = record.eventStatus == 0 && (record.eventType == kEventFrameSent ||
                                                       record.eventType == kEventFrameReceived);
    if (!converted || payload == nullptr || record.dataLength == 0 ||
        examined_ >= kEnoughRecords) {
        return;
    }
    const uint32_t length = record.dataLength;
    const uint32_t lineLength = std::max<uint32_t>(length, record.origLength);
    unstuffed_.resize(length);
    const fits::AsyncView async = fits::asyncView(payload, length, lineLength, unstuffed_.data());
    const FrameView frame{payload, length, lineLength, record.lsn, async.framed, unstuffed_.data(),
                      async.unstuffed};
    for (const FrameFormatRow* row : byTieRank()) {
        points_[idOf(row)] += row->fit(frame);
    }
    ++examined_;
}

int32_t FormatRecogniser::leader() const {
    int32_t leader = 0;
    double leaderScore = 0;
    for (const FrameFormatRow* row : byTieRank()) {
        const int32_t format = idOf(row);
        const double score = points_[format] * (format == kRawIp ? kRawIpHandicap : 1.0);
        if (score > leaderScore) {
            leader = format;
            leaderScore = score;
        }
    }
    return leader;
}

uint32_t FormatRecogniser::rivalPoints(int32_t winner) const {
    uint32_t rival = 0;
    for (const FrameFormatRow* row : byTieRank()) {
        // Raw-IP fits every format that carries IPv4: no rival of theirs.
        const int32_t format = idOf(row);
        if (format != winner && (winner == kRawIp || format != kRawIp)) {
            rival = std::max(rival, points_[format]);
        }
    }
    return rival;
}

FormatGuess FormatRecogniser::best() const {
    const int32_t winner = leader();
    if (winner == 0) {
        return {};
    }
    const uint32_t points = points_[winner];
    const uint32_t rival = rivalPoints(winner);
    const double margin = points > rival ? (points - rival) / double(kGood * examined_) : 0.0;
    const double confidence = margin * (1.0 - std::exp2(-(points / double(kGood))));
    if (confidence < kNameThreshold) {
        return {};
    }
    return {winner, confidence};
}

}  // namespace ornpcap
