#include "app/settings.hpp"

namespace ornpcap {

namespace {

const FrameFormatRow* findFrameFormat(int32_t id) {
    for (const auto& row : kFrameFormats) {
        if (row.id == id) {
            return &row;
        }
    }
    return nullptr;
}

constexpr std::string_view kDirectionNames[] = {"In", "Out", "In+Out"};

}  // namespace

ConversionSettings pcapDefaults() { return ConversionSettings{}; }

ConversionSettings vnDefaults() {
    ConversionSettings s;
    s.outputName = "Trace.vn";
    s.format = FrameFormat::PppSync;
    return s;
}

I4bSettings i4bDefaults() { return I4bSettings{}; }

I4bSettings i4bSettingsFrom(const ConversionSettings& settings) {
    I4bSettings i4b = i4bDefaults();
    i4b.inputName = settings.inputName;
    i4b.outputName = settings.outputName;
    i4b.versionMajor = settings.versionMajor;
    i4b.versionMinor = settings.versionMinor;
    i4b.port = settings.port;
    return i4b;
}

bool isPppFormat(int32_t format) {
    return format == FrameFormat::PppSync || format == FrameFormat::PppAsync;
}

bool writesVn(const ConversionSettings& settings) {
    return isPppFormat(settings.format) && settings.direction == Direction::InOut;
}

bool isValidFrameFormat(int32_t id) { return findFrameFormat(id) != nullptr; }

std::string_view frameFormatName(int32_t id) {
    const FrameFormatRow* row = findFrameFormat(id);
    return row ? row->name : "UNKNOWN";
}

int32_t linkTypeOf(int32_t id) {
    const FrameFormatRow* row = findFrameFormat(id);
    return row ? row->linkType : -1;
}

bool isValidDirection(int32_t id) { return id >= Direction::In && id <= Direction::InOut; }

std::string_view directionName(int32_t id) {
    return isValidDirection(id) ? kDirectionNames[id] : "UNKNOWN";
}

}  // namespace ornpcap
