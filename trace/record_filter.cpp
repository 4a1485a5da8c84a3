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

}  // namespace

bool isValidDirection(int32_t id) { return id >= 0 && id <= 2; }

std::string_view directionName(Direction direction) {
    return kDirectionNames[static_cast<int32_t>(direction)];
}

bool RecordFilter::accepts(const EventRecord& record) const {
    return record.port == port && carriesFrame(record) && directionMatches(direction, record) &&
           (lsnMode != LsnMode::One || record.lsn == lsn);
}

}  // namespace ornpcap
