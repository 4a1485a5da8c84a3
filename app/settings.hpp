#pragma once
// What the user asked for, carried from the command line to the converters,
// and the two tables that give frame formats and directions their names.

#include <cstdint>
#include <string>
#include <string_view>

namespace ornpcap {

enum class LsnMode : int32_t { Any = 0, One = 1, All = 2 };

namespace FrameFormat {
inline constexpr int32_t Ethernet = 1;
inline constexpr int32_t PppSync = 2;
inline constexpr int32_t PppAsync = 3;
inline constexpr int32_t RawIp = 4;
inline constexpr int32_t I4bIsdn = 5;
inline constexpr int32_t InternalUdp = 6;
}  // namespace FrameFormat

namespace Direction {
inline constexpr int32_t In = 0;
inline constexpr int32_t Out = 1;
inline constexpr int32_t InOut = 2;
}  // namespace Direction

struct ConversionSettings {
    std::string currentOutputName;  // the output file name computed last
    uint16_t versionMajor = 0;      // trace format version, filled by the probe
    uint16_t versionMinor = 0;
    std::string inputName = "Trace.orn";
    std::string outputName = "Trace.pcap";
    int32_t format = FrameFormat::Ethernet;
    uint16_t port = 0;
    LsnMode lsnMode = LsnMode::Any;
    uint16_t lsn = 0;  // the LSN when lsnMode is One, else 0
    int32_t direction = Direction::InOut;
};

struct I4bSettings {
    uint16_t versionMajor = 0;
    uint16_t versionMinor = 0;
    std::string inputName = "Trace.orn";
    std::string outputName = "Trace.i4b";
    uint16_t port = 0;
};

ConversionSettings pcapDefaults();
ConversionSettings vnDefaults();
I4bSettings i4bDefaults();
// The I4B settings of a run: the defaults, then names, versions and port of
// the global settings.
I4bSettings i4bSettingsFrom(const ConversionSettings& settings);

// PPP-Sync or PPP-Async, whose LSN option is mandatory.
bool isPppFormat(int32_t format);
// Whether the settings' run writes Visual Networks files: PPP with both
// directions.
bool writesVn(const ConversionSettings& settings);

// FrameFormat table: id, name, pcap link type, in help order.
struct FrameFormatRow {
    int32_t id;
    std::string_view name;
    int32_t linkType;
};
inline constexpr FrameFormatRow kFrameFormats[] = {
    {FrameFormat::Ethernet, "ETHERNET", 1},    {FrameFormat::PppSync, "PPP-Sync", 9},
    {FrameFormat::PppAsync, "PPP-Async", 9},   {FrameFormat::RawIp, "Raw-IP", 101},
    {FrameFormat::I4bIsdn, "I4B ISDN", 0},     {FrameFormat::InternalUdp, "Internal-UDP", 1},
};

bool isValidFrameFormat(int32_t id);
std::string_view frameFormatName(int32_t id);  // "UNKNOWN" outside the table
int32_t linkTypeOf(int32_t id);                 // -1 outside the table

bool isValidDirection(int32_t id);
std::string_view directionName(int32_t id);  // "UNKNOWN" outside the table

}  // namespace ornpcap
