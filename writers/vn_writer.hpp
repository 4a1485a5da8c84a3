#pragma once
// Visual Networks traffic capture output, for PPP-Sync and PPP-Async ports
// with both directions. All integers little-endian.
//
//   0     4    magic 05 56 4E 46 ("\x05VNF")
//   4     188  file header: 0 packetCount u32, 4 startTime u32 (seconds of the
//              trace clock), 8 mediaType u16 = 22, 10 maxLength u16 (snapLength),
//              12 fileFlags u16 = 1 (index present), 14 fileVersion u16 = 1,
//              16 reserved (108), 124 description (64, zero-padded text)
//   192   ...  packets: 0 timeDelta u32 (ms since startTime), 4 actualLength
//              u16 (on the line, the 2 bytes of its HDLC FCS counted),
//              6 capturedLength u16, 8 status u32 (64 sent, 0 received,
//              + 2 too short, + 4 bad FCS), 12 encapsulationHint u8 = 14,
//              13 reserved (7), 20 capturedLength frame bytes
//   end   4n   packet-offset index: one u32 file offset per packet
//
// Both directions go into one file, one file per LSN in ALL mode, each
// created by the run. Each output's header and index are held in memory for
// the run; packets are written once, and the index and header when the output
// is completed. About once a second the header on disk is brought up to the
// packets written, so that a run killed outright leaves files that read up to
// then. The index holds 32-bit offsets: a file takes no packet that would
// start beyond 4 GiB, and the records it cannot take are counted as left out.

#include <cstdint>
#include <memory>
#include <vector>

#include "writers/converter_sink.hpp"

namespace ornpcap {

class VnOutputs;
struct VnOutput;

// The last offset at which a packet can start: the largest the index holds.
inline constexpr uint64_t kVnLastPacketStart = 0xFFFFFFFFu;

class VnSink final : public ConverterSink {
public:
    // lastPacketStart lower than the format's own is for the tests.
    VnSink(const ConverterOptions& options, ConversionStats& stats,
           uint64_t lastPacketStart = kVnLastPacketStart);
    ~VnSink() override;

private:
    ResultCode begin(const OpenedTrace& trace) override;
    void frame(const RecordRef& record, PreparedEntry& entry, PreparedFrames& into) const override;
    ResultCode write(PreparedFrames& frames, size_t& failedAt) override;
    size_t packets(VnOutput& output, size_t first, PreparedFrames& frames);
    bool checkpoint() override;
    bool complete() override;
    bool seeksInOutputs() const override { return true; }
    bool leftOut(VnOutput& output);

    uint64_t lastPacketStart_;
    std::unique_ptr<VnOutputs> outputs_;
    std::vector<uint32_t> ends_;  // of the packets of a run
    uint16_t snapLength_ = 0;
};

}  // namespace ornpcap
