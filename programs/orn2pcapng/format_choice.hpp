#pragma once
// Which frame format each port is exported in, chosen in the one pass over
// the trace, in front of the pcapng writer.
//
// A port named with its format is exported in it from the first record. The
// format of any other port to be exported is the one the recogniser names
// once it has judged the port's first kEnoughRecords frames (or all of them,
// at the end of the trace). Until then the port's records, and every record
// after the first of them, wait in a queue, so that the writer still gets
// every record in trace order; records of ports whose format is known pass
// straight on while nothing waits. The queue is bounded: when it holds more
// than the limit, the port of its oldest record is decided on the frames
// judged so far. A port the recogniser cannot name is not exported (its
// records count as not exported).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "orn2pcapng/held_records.hpp"
#include "orn2pcapng/options.hpp"
#include "trace/record_source.hpp"
#include "frames/format_recogniser.hpp"
#include "writers/pcapng_writer.hpp"

namespace ornpcap::orn2pcapng {

enum class Choice {
    Named,         // on the command line
    Recognised,    // from its frames
    Unrecognised,  // not exported: the recogniser cannot name it
    NotAsked,      // not exported: -p names other ports
};

struct PortChoice {
    uint16_t port = 0;
    Choice choice = Choice::NotAsked;
    int32_t format = 0;     // FrameFormat id, 0 when not exported
    double confidence = 0;  // of a recognised format
    uint64_t records = 0;   // of the port in the trace
    uint64_t judged = 0;    // frames the recogniser judged
    bool early = false;     // decided before kEnoughRecords frames, to bound the queue
};

struct HoldLimit {
    size_t bytes = size_t{16} << 20;  // payloads and headers waiting
};

class FormatChoice final : public RecordSink {
public:
    FormatChoice(PcapngSink& writer, const std::vector<PortRequest>& requests,
                 HoldLimit limit = {});
    ~FormatChoice() override;

    ResultCode start(const OpenedTrace& trace) override;
    ResultCode record(const EventRecord& record, const uint8_t* payload) override;
    // Decides the ports still open on what was read, passes on every record
    // still waiting, then finishes the writer.
    ResultCode finish(ResultCode result) override;

    // The packet blocks of the records of ports whose format is known are
    // made ahead, on the workers; the choice itself stays in stream order.
    std::unique_ptr<PreparedRecords> makePrepared() override;
    void prepare(RecordSpan span, PreparedRecords& into) const override;
    ResultCode commit(RecordSpan span, PreparedRecords& prepared) override;

    // Every port asked for or met in the trace, by port number.
    std::vector<PortChoice> ports() const;
    // The most the queue held at once.
    size_t peakHeld() const { return peakHeld_; }

private:
    struct PortState {
        PortChoice choice;
        std::unique_ptr<FormatRecogniser> recogniser;  // while undecided
    };
    PortState& stateOf(uint16_t port);
    void decide(PortState& state, bool early);
    bool undecided(uint16_t port);
    ResultCode pass(const EventRecord& record, const uint8_t* payload);
    // record(), with the packet prepared for it where there is one.
    ResultCode take(const RecordRef& record, const PreparedPacket* packet,
                    PreparedPackets& prepared);
    ResultCode drain();

    PcapngSink& writer_;
    const bool everyPort_;
    const HoldLimit limit_;
    std::unordered_map<uint16_t, PortState> ports_;
    uint16_t lastPort_ = 0;
    PortState* lastState_ = nullptr;
    HeldRecords held_;
    size_t peakHeld_ = 0;
    bool writerFailed_ = false;
};

}  // namespace ornpcap::orn2pcapng
