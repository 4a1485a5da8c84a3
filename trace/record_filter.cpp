#include "trace/record_filter.hpp"

namespace ornpcap {

namespace {

constexpr std::string_view kDirectionNames[] = {"In", "Out", "In+Out"};

bool directionMatches(Direction direction, const EventRecord& record) {
    switch (direction) {
        case Direction::In: return isFrameReceived(record);
        case Direction::Out: return isFrameSent(record);
        case Direction::InOut: break;
    }
    return true;
}

bool lsnMatches(const RecordFilter& filter, const EventRecord& record) {
    return filter.lsnMode != LsnMode::One || record.lsn == filter.lsn;
}

}  // namespace

bool isValidDirection(int32_t id) { return id >= 0 && id <= 2; }

std::string_view directionName(Direction direction) {
    return kDirectionNames[static_cast<int32_t>(direction)];
}

bool RecordFilter::accepts(const EventRecord& record) const {
    return record.port == port && carriesFrame(record) && directionMatches(direction, record) &&
           lsnMatches(*this, record);
}

bool FilterFunnel::pass(const RecordFilter& filter, const EventRecord& record) {
    ++records;
    if (record.port != filter.port) {
        return false;
    }
    ++ofPort;
    if (!carriesFrame(record)) {
        return false;
    }
    ++frames;
    if (!directionMatches(filter.direction, record)) {
        return false;
    }
    ++ofDirection;
    if (!lsnMatches(filter, record)) {
        return false;
    }
    ++accepted;
    return true;
}

}  // namespace ornpcap
