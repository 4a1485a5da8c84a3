#pragma once
// Records waiting, in trace order, for the frame format of their port to be
// known: a queue of record headers over one buffer of payloads, which is
// reused once the queue has drained and compacted while it has not.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "trace/event_record.hpp"

namespace ornpcap::orn2pcapng {

class HeldRecords {
public:
    // What holding one record costs besides its payload.
    static constexpr size_t kRecordCost = sizeof(EventRecord) + sizeof(uint64_t);

    bool empty() const { return records_.empty(); }
    size_t count() const { return records_.size(); }
    // Payloads and headers held now.
    size_t bytes() const { return payloadBytes_ + records_.size() * kRecordCost; }

    void push(const EventRecord& record, const uint8_t* payload);
    const EventRecord& front() const { return records_.front().record; }
    // The payload of the front record, nullptr when it has none; valid until
    // the next push.
    const uint8_t* frontPayload() const;
    void pop();

private:
    struct Held {
        EventRecord record;
        uint64_t at;  // where its payload starts, counted over every byte ever held
    };
    void compact();

    std::deque<Held> records_;
    std::vector<uint8_t> payloads_;
    uint64_t base_ = 0;        // the count of payloads_[0]
    size_t payloadBytes_ = 0;  // of the records held
};

}  // namespace ornpcap::orn2pcapng
