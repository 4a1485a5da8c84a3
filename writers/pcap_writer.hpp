#pragma once
// libpcap output (version 2.4, little-endian, microsecond time stamps).
//
//   file header, 24 bytes: magic A1B2C3D4, version 2.4, thisZone 0, sigFigs 0,
//                          snapLen (the trace's snapLength), linkType
//   per frame, 16 bytes:   tsSec, tsUsec, inclLen, origLen; then inclLen bytes
//
// One file for the run, or in ALL mode one file per LSN, each created by the
// run with its file header; the run appends only to files it created.

#include <cstdint>
#include <memory>
#include <vector>

#include "writers/converter_sink.hpp"

namespace ornpcap {

inline constexpr uint32_t kPcapFileHeaderSize = 24;
inline constexpr uint32_t kPcapRecordHeaderSize = 16;

class PcapOutputs;

// The pcap converter: at its start the old outputs are cleared and the time
// base is computed; each record the filter takes is framed and written. About
// once a second what was written is flushed to the files, so that a run
// killed outright leaves whole files up to then.
class PcapSink final : public ConverterSink {
public:
    PcapSink(const ConverterOptions& options, ConversionStats& stats);
    ~PcapSink() override;

private:
    ResultCode begin(const OpenedTrace& trace) override;
    void frame(const RecordRef& record, PreparedEntry& entry, PreparedFrames& into) const override;
    ResultCode write(PreparedFrames& frames, size_t& failedAt) override;
    bool checkpoint() override;
    bool complete() override;

    std::unique_ptr<PcapOutputs> outputs_;
    std::vector<uint32_t> ends_;  // of the records of a run
    int32_t timeBase_ = 0;
    uint16_t snapLength_ = 0;
};

}  // namespace ornpcap
