#include "orn2pcapng/format_choice.hpp"

#include <algorithm>
#include <new>

#include "base/interrupt.hpp"

namespace ornpcap::orn2pcapng {

namespace {

bool isWriteFailure(ResultCode rc) {
    return rc == ResultCode::CannotCreateTarget || rc == ResultCode::CannotWriteTarget ||
           rc == ResultCode::OutOfMemory;
}

}  // namespace

FormatChoice::FormatChoice(PcapngSink& writer, const std::vector<PortRequest>& requests,
                           HoldLimit limit)
    : writer_(writer), everyPort_(requests.empty()), limit_(limit) {
    for (const PortRequest& request : requests) {
        PortState& state = ports_[request.port];
        state.choice.port = request.port;
        if (request.format != 0) {
            state.choice.choice = Choice::Named;
            state.choice.format = request.format;
            writer_.exportPort(request.port, static_cast<FrameFormat>(request.format));
        } else {
            state.recogniser = std::make_unique<FormatRecogniser>();
        }
    }
}

FormatChoice::~FormatChoice() = default;

ResultCode FormatChoice::start(const OpenedTrace& trace) { return writer_.start(trace); }

// A port met for the first time is to be recognised when every port is
// exported, else it was not asked for.
FormatChoice::PortState& FormatChoice::stateOf(uint16_t port) {
    if (lastState_ != nullptr && port == lastPort_) {
        return *lastState_;
    }
    auto [at, added] = ports_.try_emplace(port);
    if (added) {
        at->second.choice.port = port;
        if (everyPort_) {
            at->second.recogniser = std::make_unique<FormatRecogniser>();
        }
    }
    lastPort_ = port;
    lastState_ = &at->second;
    return at->second;
}

void FormatChoice::decide(PortState& state, bool early) {
    const FormatGuess guess = state.recogniser->best();
    PortChoice& choice = state.choice;
    choice.judged = state.recogniser->examined();
    choice.early = early;
    choice.confidence = guess.confidence;
    choice.format = guess.format;
    choice.choice = guess.format != 0 ? Choice::Recognised : Choice::Unrecognised;
    if (guess.format != 0) {
        writer_.exportPort(choice.port, static_cast<FrameFormat>(guess.format));
    }
    state.recogniser.reset();
}

bool FormatChoice::undecided(uint16_t port) { return stateOf(port).recogniser != nullptr; }

ResultCode FormatChoice::pass(const EventRecord& record, const uint8_t* payload) {
    const ResultCode rc = writer_.record(record, payload);
    writerFailed_ = writerFailed_ || isWriteFailure(rc);
    return rc;
}

ResultCode FormatChoice::record(const EventRecord& record, const uint8_t* payload) {
    PreparedPackets none;
    return take({record, payload}, nullptr, none);
}

ResultCode FormatChoice::take(const RecordRef& r, const PreparedPacket* packet,
                              PreparedPackets& prepared) {
    const EventRecord& record = r.header;
    const uint8_t* payload = r.payload;
    PortState& state = stateOf(record.port);
    ++state.choice.records;
    if (state.recogniser != nullptr) {
        state.recogniser->add(record, payload);
        if (state.recogniser->examined() >= kEnoughRecords) {
            decide(state, false);
        }
    }
    if (held_.empty() && state.recogniser == nullptr) {
        if (packet != nullptr) {
            const ResultCode rc = writer_.recordPrepared(r, *packet, prepared);
            writerFailed_ = writerFailed_ || isWriteFailure(rc);
            return rc;
        }
        return pass(record, payload);
    }
    try {
        held_.push(record, payload);
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
    peakHeld_ = std::max(peakHeld_, held_.bytes());
    return drain();
}

// Passes on the records at the front whose port is decided; while the queue
// is over its limit, decides the port of the front record first.
ResultCode FormatChoice::drain() {
    for (;;) {
        while (!held_.empty() && !undecided(held_.front().port)) {
            const ResultCode rc = pass(held_.front(), held_.frontPayload());
            held_.pop();
            if (rc != ResultCode::Ok) {
                return rc;
            }
        }
        if (held_.empty() || held_.bytes() <= limit_.bytes) {
            return ResultCode::Ok;
        }
        decide(stateOf(held_.front().port), true);
    }
}

std::unique_ptr<PreparedRecords> FormatChoice::makePrepared() {
    return std::make_unique<PreparedPackets>();
}

// Only ports exported already: their format never changes.
void FormatChoice::prepare(RecordSpan span, PreparedRecords& into) const {
    PreparedPackets& packets = static_cast<PreparedPackets&>(into);
    packets.clear();
    try {
        for (uint32_t n = 0; n < span.size(); ++n) {
            if (writer_.formatOf(span[n].header.port) != 0 && carriesFrame(span[n].header)) {
                writer_.preparePacket(span[n], n, packets);
            }
        }
    } catch (const std::bad_alloc&) {
        packets.clear();
        packets.outOfMemory = true;  // the commit takes every record as record() would
    }
}

ResultCode FormatChoice::commit(RecordSpan span, PreparedRecords& prepared) {
    PreparedPackets& packets = static_cast<PreparedPackets&>(prepared);
    size_t next = 0;
    for (uint32_t n = 0; n < span.size(); ++n) {
        const PreparedPacket* packet = nullptr;
        if (next < packets.packets.size() && packets.packets[next].record == n) {
            packet = &packets.packets[next++];
        }
        if (ResultCode rc = take(span[n], packet, packets); rc != ResultCode::Ok) {
            return rc;
        }
        if (pendingInterrupt() != 0) {
            return ResultCode::Interrupted;
        }
    }
    return ResultCode::Ok;
}

ResultCode FormatChoice::finish(ResultCode result) {
    if (writer_.started() && !writerFailed_) {
        for (auto& [port, state] : ports_) {
            if (state.recogniser != nullptr) {
                decide(state, false);
            }
        }
        const ResultCode drained = drain();
        result = drained != ResultCode::Ok ? drained : result;
    }
    return writer_.finish(result);
}

std::vector<PortChoice> FormatChoice::ports() const {
    std::vector<PortChoice> out;
    for (const auto& [port, state] : ports_) {
        out.push_back(state.choice);
    }
    std::sort(out.begin(), out.end(),
              [](const PortChoice& a, const PortChoice& b) { return a.port < b.port; });
    return out;
}

}  // namespace ornpcap::orn2pcapng
