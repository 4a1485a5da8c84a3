#include "orn2pcapng/held_records.hpp"

namespace ornpcap::orn2pcapng {

void HeldRecords::push(const EventRecord& record, const uint8_t* payload) {
    compact();
    const uint64_t at = base_ + payloads_.size();
    if (payload != nullptr) {
        payloads_.insert(payloads_.end(), payload, payload + record.dataLength);
        payloadBytes_ += record.dataLength;
    }
    records_.push_back({record, at});
}

const uint8_t* HeldRecords::frontPayload() const {
    const Held& held = records_.front();
    if (held.record.dataLength == 0) {
        return nullptr;
    }
    return payloads_.data() + (held.at - base_);
}

void HeldRecords::pop() {
    payloadBytes_ -= records_.front().record.dataLength;
    records_.pop_front();
    if (records_.empty()) {
        base_ += payloads_.size();
        payloads_.clear();  // keeps its capacity for the next records held
    }
}

// Payloads of records already passed on are dropped once they are most of
// the buffer, so that it never holds much more than the records waiting.
void HeldRecords::compact() {
    if (records_.empty()) {
        return;
    }
    const size_t done = static_cast<size_t>(records_.front().at - base_);
    if (done < (1u << 16) || done < payloads_.size() / 2) {
        return;
    }
    payloads_.erase(payloads_.begin(), payloads_.begin() + static_cast<std::ptrdiff_t>(done));
    base_ += done;
}

}  // namespace ornpcap::orn2pcapng
