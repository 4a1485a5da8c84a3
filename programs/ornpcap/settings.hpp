#pragma once
// What the user asked for, as the command line gives it.

#include <cstdint>
#include <string>

#include "trace/record_filter.hpp"
#include "frames/frame_format.hpp"

namespace ornpcap::converter {

struct ConversionSettings {
    uint16_t versionMajor = 0;  // trace format version, filled by the probe
    uint16_t versionMinor = 0;
    std::string inputName = "Trace.orn";
    std::string outputName = "Trace.pcap";
    FrameFormat format = FrameFormat::Ethernet;
    uint16_t port = 0;
    LsnMode lsnMode = LsnMode::Any;
    uint16_t lsn = 0;  // the LSN when lsnMode is One, else 0
    Direction direction = Direction::InOut;
};

}  // namespace ornpcap::converter
