#pragma once
// pcapng output of the exported ports of a trace, in one section, in the
// order of the trace (block layouts in writers/pcapng_blocks.hpp, packets in
// writers/pcapng_framing.hpp):
//
//   Section Header Block      the tool and version; a comment naming the
//                             trace, its description, version and start
//   Interface Description     one per channel: port and LSN, or the port
//                             alone for ETHERNET (whose LSN is a protocol
//                             code); written just before the channel's first
//                             frame, so ids follow the order channels first
//                             carry one
//   Enhanced Packet Block     one per frame: time stamp in milliseconds since
//                             1970 as the pcap output computes it, direction
//                             (received 21: inbound, sent 20: outbound) and
//                             error flags
//   Interface Statistics      one per interface once the trace is read:
//                             first and last time stamp, records of the
//                             channel, those the filter took, packets written
//
// Every interface has the same snapLen (libpcap reads no other files): the
// trace's snapLength plus the most a framing adds, raised at the end to the
// longest packet where the output can be written back (0 stays 0: no limit).
// Where it cannot (a pipe, standard output), each interface has the longest
// packet its link type can carry from a record, so that readers cut none:
// the same for every interface of one link type.
//
// The output is written through an OutputFile in whole blocks: it is
// created with its Section Header Block in place, and a failed write cuts
// it back to its last whole block.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "trace/record_source.hpp"
#include "writers/converter_sink.hpp"
#include "frames/frame_format.hpp"
#include "writers/output_file.hpp"
#include "frames/pcapng_framing.hpp"

namespace ornpcap {

// In place of the pcapng file, one classic pcap file per link type or per
// port, each of one link type, so that tcpdump reads every one to its end:
// STEM_ETHERNET.pcap, STEM_PPP.pcap, ... or STEM_p30.pcap, ..., each created
// with its first packet.
enum class PcapSplit { None, LinkType, Port };

struct PcapngRequest {
    std::string outputName;   // "-": standard output; with a split, the names' stem
    std::string traceName;    // as the user named it, for the section comment
    std::string application;  // shb_userappl
    PcapSplit split = PcapSplit::None;
};

// One pcap file of a split, and the packets written to it.
struct SplitFile {
    std::string name;
    uint16_t linkType = 0;
    uint64_t packets = 0;
    OutputFile file;
};

// A channel of an exported port, with what became of its records.
struct PcapngChannel {
    uint16_t port = 0;
    uint16_t lsn = 0;
    bool wholePort = false;   // ETHERNET: every protocol code in one
    FrameFormat format = FrameFormat::Ethernet;
    int64_t interfaceId = -1; // -1 until it carries a frame
    std::string name;         // if_name
    uint64_t records = 0;
    uint64_t skipped = 0;     // by the filter: status, event type, no payload
    uint64_t refused = 0;     // by the framing
    uint64_t in = 0;
    uint64_t out = 0;
    uint64_t crcErrors = 0;   // of the packets, flagged CRC error
    uint64_t tooShort = 0;    // of the packets, flagged too short
    uint64_t first = 0;       // time stamps of its first and last packet
    uint64_t last = 0;
    uint64_t descriptionOffset = 0;  // of its Interface Description Block

    uint64_t packets() const { return in + out; }
};

struct PcapngTotals {
    uint64_t records = 0;      // every record of the trace
    uint64_t notExported = 0;  // of ports not exported
    uint64_t longest = 0;      // packet
};

// A record's Enhanced Packet Block made ahead of time, on any thread, for
// a port whose format was known then (its interface id is the commit's).
struct PreparedPacket {
    uint32_t record = 0;  // its index among the block's records
    uint32_t offset = 0;  // of its block in the batch
    uint32_t length = 0;  // 0 when the framing refused the frame
    FrameFormat format = FrameFormat::Ethernet;
    PcapngFrame frame;
    uint64_t timestamp = 0;
};

class PreparedPackets final : public PreparedRecords {
public:
    std::vector<PreparedPacket> packets;  // in record order
    bool outOfMemory = false;             // preparing could not allocate: none is used

    void clear() {
        packets.clear();
        used_ = 0;
        outOfMemory = false;
    }
    uint8_t* room(size_t n) {
        if (used_ + n > bytes_.size()) {
            bytes_.resize(std::max(bytes_.size() * 2, used_ + n));
        }
        return bytes_.data() + used_;
    }
    void take(size_t n) { used_ += n; }
    uint32_t used() const { return static_cast<uint32_t>(used_); }
    uint8_t* at(uint32_t offset) { return bytes_.data() + offset; }

private:
    std::vector<uint8_t> bytes_;
    size_t used_ = 0;
};

class PcapngSink final : public RecordSink {
public:
    explicit PcapngSink(PcapngRequest request);
    ~PcapngSink() override;

    // From now on, the port's records are exported in the format; records of
    // ports never named so count as not exported. Once per port: a port's
    // format never changes, so that a packet prepared ahead in it stays right.
    void exportPort(uint16_t port, FrameFormat format);
    // The port's format, 0 while not exported: safe on any thread.
    uint8_t formatOf(uint16_t port) const {
        return portFormats_[port].load(std::memory_order_acquire);
    }

    // The packet block of a record that carries a frame, for a port whose
    // format is known, at the end of the batch: on any thread.
    void preparePacket(const RecordRef& record, uint32_t index, PreparedPackets& into) const;
    // As record(), with the packet prepared for it.
    ResultCode recordPrepared(const RecordRef& record, const PreparedPacket& packet,
                              PreparedPackets& prepared);

    // Writes the Section Header Block.
    ResultCode start(const OpenedTrace& trace) override;
    ResultCode record(const EventRecord& record, const uint8_t* payload) override;
    // Writes the Interface Statistics Blocks and closes the output; the
    // result is the run's, else CannotWriteTarget when that failed.
    ResultCode finish(ResultCode result) override;

    bool started() const { return started_; }
    // The output file's device and inode, once created.
    const FileIdentity& outputIdentity() const { return file_.identity(); }
    // The files of a split, in the order they were created.
    const std::deque<SplitFile>& splitFiles() const { return splitFiles_; }
    // The channels that carried a frame, by interface id.
    const std::vector<const PcapngChannel*>& interfaces() const { return interfaces_; }
    // Records of channels that never carried a frame, all skipped by the filter.
    uint64_t skippedWithoutInterface() const;
    const PcapngTotals& totals() const { return totals_; }

private:
    PcapngChannel& channelOf(const EventRecord& record, FrameFormat format);
    ResultCode take(PcapngChannel& channel, const EventRecord& record, const uint8_t* payload);
    ResultCode takePrepared(PcapngChannel& channel, const EventRecord& record,
                            const PreparedPacket& packet, uint8_t* block);
    ResultCode written(PcapngChannel& channel, const EventRecord& record, const uint8_t* block,
                       uint32_t length, const PcapngFrame& frame, uint64_t timestamp);
    ResultCode checkpoint(ResultCode rc);
    ResultCode describe(PcapngChannel& channel);
    void count(PcapngChannel& channel, const EventRecord& record, const PcapngFrame& frame,
               uint64_t timestamp);
    uint64_t timestampOf(const EventRecord& record) const;
    bool writeStatistics();
    uint32_t snapLengthOf(FrameFormat format) const;
    bool raiseSnapLength();
    ResultCode writeSplit(const PcapngChannel& channel, const uint8_t* data,
                          const PcapngFrame& frame, uint64_t timestamp);

    PcapngRequest request_;
    OutputFile file_;
    std::vector<std::atomic<uint8_t>> portFormats_;  // by port: FrameFormat id, 0 not exported
    std::deque<PcapngChannel> channels_;
    std::unordered_map<uint32_t, PcapngChannel*> byKey_;
    uint32_t lastKey_ = 0;
    PcapngChannel* lastChannel_ = nullptr;
    std::vector<const PcapngChannel*> interfaces_;
    std::vector<uint8_t> block_;  // the packet block under construction
    PcapngTotals totals_;
    CheckpointClock checkpoints_;
    int32_t timeBase_ = 0;
    uint32_t snapLength_ = 0;
    bool started_ = false;
    FileIdentity traceIdentity_;
    std::deque<SplitFile> splitFiles_;
    std::unordered_map<uint32_t, SplitFile*> splitByKey_;
};

}  // namespace ornpcap
