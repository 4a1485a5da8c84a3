#include "orninfo/record_tally.hpp"

#include <algorithm>
#include <new>

#include "trace/record_filter.hpp"

namespace ornpcap::orninfo {

ResultCode RecordTally::start(const OpenedTrace&) {
    started_ = true;
    return ResultCode::Ok;
}

RecordTally::Channel& RecordTally::channelOf(const EventRecord& record) {
    const uint32_t key = uint32_t{record.port} << 16 | record.lsn;
    if (last_ != nullptr && key == lastKey_) {
        return *last_;
    }
    auto found = channels_.find(key);
    if (found == channels_.end()) {
        PortTally& port = ports_[record.port];
        ChannelTally counts;
        counts.port = record.port;
        counts.lsn = record.lsn;
        counts.firstMs = record.timeMs;
        found = channels_.emplace(key, Channel{counts, &port}).first;
    }
    lastKey_ = key;
    last_ = &found->second;  // nodes stay where they are when the map grows
    return *last_;
}

ResultCode RecordTally::record(const EventRecord& record, const uint8_t* payload) {
    Channel* channel = nullptr;
    try {
        channel = &channelOf(record);
        channel->port->recogniser.add(record, payload);
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
    ChannelTally& c = channel->counts;
    ++c.records;
    c.in += isFrameReceived(record);
    c.out += isFrameSent(record);
    c.otherEvents += !isFrameReceived(record) && !isFrameSent(record);
    c.badStatus += record.eventStatus != 0;
    c.frames += carriesFrame(record);
    c.capturedBytes += record.dataLength;
    c.lastMs = record.timeMs;
    ++channel->port->records;
    if (records_++ == 0) {
        firstMs_ = record.timeMs;
    }
    lastMs_ = record.timeMs;
    return ResultCode::Ok;
}

std::vector<ChannelTally> RecordTally::channels() const {
    std::vector<ChannelTally> list;
    list.reserve(channels_.size());
    for (const auto& [key, channel] : channels_) {
        list.push_back(channel.counts);
    }
    std::sort(list.begin(), list.end(), [](const ChannelTally& a, const ChannelTally& b) {
        return a.port != b.port ? a.port < b.port : a.lsn < b.lsn;
    });
    return list;
}

void BlockCounter::blockDone(const BlockProgress& block) {
    ++(block.stored ? tally_.stored : tally_.compressed);
    tally_.blockBytes += block.storedLength;
    tally_.expandedBytes += block.expandedLength;
    if (next_ != nullptr) {
        next_->blockDone(block);
    }
}

}  // namespace ornpcap::orninfo
