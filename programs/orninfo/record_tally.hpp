#pragma once
// What orninfo reads a trace with: a sink that writes nothing and counts what
// the trace holds, per channel (port and LSN) and per port, showing the
// records of each port to a FormatRecogniser of its own; and an observer that
// counts the blocks and hands each on to the progress line.

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "trace/record_source.hpp"
#include "frames/format_recogniser.hpp"

namespace ornpcap::orninfo {

struct ChannelTally {
    uint16_t port = 0;
    uint16_t lsn = 0;
    uint64_t records = 0;
    uint64_t in = 0;           // event type 21
    uint64_t out = 0;          // event type 20
    uint64_t otherEvents = 0;  // any other event type
    uint64_t badStatus = 0;    // a status other than 0
    uint64_t frames = 0;       // records a converter takes: status 0, in or out, a payload
    uint64_t capturedBytes = 0;
    uint32_t firstMs = 0;      // of its first and last record, in stream order
    uint32_t lastMs = 0;
};

struct PortTally {
    uint64_t records = 0;
    FormatRecogniser recogniser;
};

class RecordTally final : public RecordSink {
public:
    ResultCode start(const OpenedTrace& trace) override;
    // OutOfMemory when a new channel cannot be noted.
    ResultCode record(const EventRecord& record, const uint8_t* payload) override;
    ResultCode finish(ResultCode result) override { return result; }

    bool started() const { return started_; }
    uint64_t records() const { return records_; }
    uint32_t firstMs() const { return firstMs_; }
    uint32_t lastMs() const { return lastMs_; }
    // By port, then LSN.
    std::vector<ChannelTally> channels() const;
    const std::map<uint16_t, PortTally>& ports() const { return ports_; }

private:
    struct Channel {
        ChannelTally counts;
        PortTally* port;
    };
    Channel& channelOf(const EventRecord& record);

    std::unordered_map<uint32_t, Channel> channels_;  // by port << 16 | lsn
    std::map<uint16_t, PortTally> ports_;
    Channel* last_ = nullptr;  // the channel of the record before: usually this one's too
    uint32_t lastKey_ = 0;
    uint64_t records_ = 0;
    uint32_t firstMs_ = 0;
    uint32_t lastMs_ = 0;
    bool started_ = false;
};

struct BlockTally {
    uint32_t stored = 0;
    uint32_t compressed = 0;
    uint64_t blockBytes = 0;     // their data as it stands in the file
    uint64_t expandedBytes = 0;  // their data once expanded
};

class BlockCounter final : public BlockObserver {
public:
    explicit BlockCounter(BlockObserver* next = nullptr) : next_(next) {}
    void blockDone(const BlockProgress& block) override;
    const BlockTally& tally() const { return tally_; }

private:
    BlockObserver* next_;
    BlockTally tally_;
};

}  // namespace ornpcap::orninfo
