#pragma once
// Which event records of a trace a conversion takes: those of one port that
// carry a frame (status 0, sent or received, with a payload), of the asked
// direction, and of one LSN where only one is asked for.

#include <cstdint>
#include <string_view>

#include "trace/event_record.hpp"

namespace ornpcap {

enum class Direction : int32_t { In = 0, Out = 1, InOut = 2 };

// ANY takes every LSN into one output, ONE a single LSN, ALL every LSN into
// an output of its own.
enum class LsnMode : int32_t { Any = 0, One = 1, All = 2 };

bool isValidDirection(int32_t id);
std::string_view directionName(Direction direction);  // "In", "Out", "In+Out"

// A record that a converter can turn into a frame: status 0, an event type of
// frame sent or received, and a payload.
inline bool carriesFrame(const EventRecord& record) {
    return record.eventStatus == 0 && (isFrameSent(record) || isFrameReceived(record)) &&
           record.dataLength != 0;
}

struct RecordFilter {
    uint16_t port = 0;
    Direction direction = Direction::InOut;
    LsnMode lsnMode = LsnMode::Any;
    uint16_t lsn = 0;  // with LsnMode::One

    bool accepts(const EventRecord& record) const;
};

// How far the records of a run came through a filter: each count is of the
// records that passed every test before it, so the first count that is zero
// says which test found nothing.
struct FilterFunnel {
    uint64_t records = 0;
    uint64_t ofPort = 0;
    uint64_t frames = 0;       // of the port, and carrying a frame
    uint64_t ofDirection = 0;  // of them, in the direction asked for
    uint64_t accepted = 0;     // of them, of the LSN asked for: what the filter takes

    // Counts the record; true when the filter takes it.
    bool pass(const RecordFilter& filter, const EventRecord& record);

    FilterFunnel& operator+=(const FilterFunnel& more) {
        records += more.records;
        ofPort += more.ofPort;
        frames += more.frames;
        ofDirection += more.ofDirection;
        accepted += more.accepted;
        return *this;
    }
};

}  // namespace ornpcap
