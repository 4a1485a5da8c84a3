#pragma once
// The two checks of a trace file before its blocks are read: the probe, by
// name, which tells the format version, and the validation of an open stream,
// which reads header and trailer for the conversion.

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/result_code.hpp"
#include "trace/trace_fault.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap {

// Checks a trace file by name and reports its format version (written only
// when the header was recognised). Results: 0, 2 (cannot open), 4 (cannot
// read, damaged small header), 7 (too short, version not accepted) or 11
// (damaged trailer, stream longer than the file). What failed goes to fault
// where one is given.
ResultCode probeTrace(const std::string& name, uint16_t& versionMajor, uint16_t& versionMinor,
                      TraceFault* fault = nullptr);

// probeTrace, then the version test a conversion applies: BadVersion (with the
// fault saying so) for a version the converters do not read.
ResultCode probeConvertibleTrace(const std::string& name, uint16_t& versionMajor,
                                 uint16_t& versionMinor, TraceFault& fault);

// What the probe makes of the header it recognised in a file's first 203
// bytes: 0, 4 (damaged, not a trace) or 7 (version or sub-version refused).
ResultCode headerVerdict(const HeaderMatch& match, std::span<const uint8_t, kHeaderSizeV8> head,
                         TraceFault* fault = nullptr);

// Checks the open trace stream against the given versions, fills header (in
// the 203-byte layout) and trailer, and leaves the stream at the first block.
// Results: 0, 4, 7 or 11. The stream stays open.
ResultCode validateTrace(std::FILE* stream, uint16_t versionMajor, uint16_t versionMinor,
                         TraceHeader& header, TraceTrailer& trailer, TraceFault* fault = nullptr);

}  // namespace ornpcap
