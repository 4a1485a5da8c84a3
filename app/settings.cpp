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
