#include "programs/orninfo/port_command.hpp"

#include <cstdio>
#include <string_view>

#include "writers/frame_format.hpp"

namespace ornpcap::orninfo {

namespace {

enum class LsnChoice { Ignored, Required, Splits };

struct CommandRow {
    FrameFormat format;
    LsnChoice lsn;
};
constexpr CommandRow kRows[] = {
    {FrameFormat::Ethernet, LsnChoice::Ignored}, {FrameFormat::PppSync, LsnChoice::Required},
    {FrameFormat::PppAsync, LsnChoice::Required}, {FrameFormat::RawIp, LsnChoice::Splits},
    {FrameFormat::I4bIsdn, LsnChoice::Ignored},  {FrameFormat::InternalUdp, LsnChoice::Splits},
};

// "-lALL", "-l1A", or nothing.
std::string lsnArgument(LsnChoice choice, const std::vector<uint16_t>& lsns) {
    if (choice == LsnChoice::Ignored || (choice == LsnChoice::Splits && lsns.size() < 2)) {
        return "";
    }
    if (lsns.size() != 1) {
        return " -lALL";
    }
    char text[16];
    std::snprintf(text, sizeof text, " -l%X", unsigned{lsns.front()});
    return text;
}

// "Trace" of "records/Trace.orn".
std::string stemOf(const std::string& trace) {
    const size_t slash = trace.find_last_of('/');
    std::string name = slash == std::string::npos ? trace : trace.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot != 0) {
        name.resize(dot);
    }
    return name.empty() ? "Trace" : name;
}

bool isPlain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_-+.,/:=@%").find(c) != std::string_view::npos;
}

}  // namespace

std::string shellWord(const std::string& word) {
    bool plain = !word.empty();
    for (const char c : word) {
        plain = plain && isPlain(c);
    }
    if (plain) {
        return word;
    }
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string ornpcapCommand(const std::string& trace, uint16_t port, int32_t format,
                           const std::vector<uint16_t>& lsns) {
    for (const CommandRow& row : kRows) {
        if (static_cast<int32_t>(row.format) != format) {
            continue;
        }
        const std::string p = std::to_string(port);
        return "OrnPcap " + shellWord("-i" + trace) + " " +
               shellWord("-o" + stemOf(trace) + "_p" + p + ".pcap") + " -f" +
               std::to_string(format) + " -p" + p + lsnArgument(row.lsn, lsns);
    }
    return "";
}

}  // namespace ornpcap::orninfo
