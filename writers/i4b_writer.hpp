#pragma once
// I4B (isdn4bsd) trace output for ISDN D-channel ports. No file header; every
// frame behind a 32-byte record header of eight little-endian u32:
//
//   0 recordLength (dataLength + 32)  4 unit (0)          8 channelType (1, D)
//   12 frameDirection (1 received, 0 sent)                16 truncatedBytes
//   20 frameCount (1, 2, ...)          24 seconds          28 microseconds
//
// Times are the trace's own clock. Every LSN and both directions go into one
// file, created at the first accepted record.

#include <cstdint>
#include <string>
#include <vector>

#include "writers/converter_sink.hpp"
#include "writers/output_file.hpp"

namespace ornpcap {

class I4bSink final : public ConverterSink {
public:
    I4bSink(const ConverterOptions& options, ConversionStats& stats);

private:
    ResultCode begin(const OpenedTrace& trace) override;
    void frame(const RecordRef& record, PreparedEntry& entry, PreparedFrames& into) const override;
    ResultCode write(PreparedFrames& frames, size_t& failedAt) override;
    bool checkpoint() override;
    bool complete() override;
    ResultCode create(const uint8_t* record, uint32_t length);

    OutputFile file_;
    std::vector<uint32_t> ends_;  // of the records of a run
    std::string name_;
    FileIdentity trace_;
    uint16_t snapLength_ = 0;
};

}  // namespace ornpcap
