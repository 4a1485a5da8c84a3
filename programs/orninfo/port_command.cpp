#include "orninfo/port_command.hpp"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "frames/frame_format.hpp"

namespace ornpcap::orninfo {

namespace {

// OrnPcap's ports are 1 to 65535.
constexpr uint16_t kPortOrnPcapRefuses = 0;

const FrameFormatRow* rowOf(int32_t format) {
    return isValidFrameFormat(format) ? &frameFormatRow(static_cast<FrameFormat>(format)) : nullptr;
}

// "-lALL", "-l1A", or nothing.
std::string lsnArgument(LsnRule rule, const std::vector<uint16_t>& lsns) {
    if (rule == LsnRule::ProtocolCode || rule == LsnRule::Every ||
        (rule == LsnRule::Channels && lsns.size() < 2)) {
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

// A relative name that a program would not take as it stands, made one it
// takes: "./" in front of it.
std::string withFolder(const std::string& name, bool (*refused)(char first)) {
    return !name.empty() && refused(name.front()) ? "./" + name : name;
}

// OrnPcap skips the blanks in front of the value of -i and -o.
bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// getopt takes a word that begins with '-' for an option.
bool isDash(char c) { return c == '-'; }

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
    const FrameFormatRow* row = rowOf(format);
    if (row == nullptr) {
        return "";
    }
    const std::string p = std::to_string(port);
    const std::string output = stemOf(trace) + "_p" + p + ".pcap";
    return "OrnPcap " + shellWord("-i" + withFolder(trace, isBlank)) + " " +
           shellWord("-o" + withFolder(output, isBlank)) + " -f" + std::to_string(format) +
           " -p" + p + lsnArgument(row->lsn, lsns);
}

std::string orn2pcapngCommand(const std::string& trace, uint16_t port, int32_t format) {
    const FrameFormatRow* row = rowOf(format);
    if (row == nullptr) {
        return "";
    }
    const std::string p = std::to_string(port);
    const std::string output = stemOf(trace) + "_p" + p + ".pcapng";
    return "orn2pcapng -p" + p + "=" + std::string(row->cliName) + " " +
           shellWord(withFolder(trace, isDash)) + " " + shellWord(withFolder(output, isDash));
}

PortCommand portCommand(const std::string& trace, uint16_t port, int32_t format,
                        const std::vector<uint16_t>& lsns) {
    if (port != kPortOrnPcapRefuses) {
        return {ornpcapCommand(trace, port, format, lsns), ""};
    }
    return {orn2pcapngCommand(trace, port, format),
            "OrnPcap cannot extract port 0 (its ports are 1 to 65535): orn2pcapng exports it"};
}

}  // namespace ornpcap::orninfo
