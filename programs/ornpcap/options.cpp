#include "ornpcap/options.hpp"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "suite/console.hpp"
#include "ornpcap/diagnostics.hpp"
#include "ornpcap/report.hpp"
#include "base/text.hpp"

namespace ornpcap::converter {

namespace {

struct SeenOptions {
    bool any = false;
    bool port = false;
    bool lsn = false;
    bool direction = false;
};

// strtol/strtoul over the value: leading blanks, a sign, digits up to the
// first non-digit (hex digits and a 0x prefix for base 16). False when no
// digit could be read; the value saturates on overflow.
bool readSigned(const char* text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return end != text;
}

bool readHex(const char* text, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 16);
    if (end == text) {
        return false;
    }
    // strtoul wraps a negative number; anything but -0 is out of range.
    for (const char* p = text; p != end; ++p) {
        if (*p == '-') {
            return value == 0;
        }
    }
    return errno != ERANGE;
}

// A file name: the rest of the argument once leading white space is skipped,
// blanks inside it included ("-imy trace.orn" names "my trace.orn").
std::string fileNameValue(const char* value) {
    while (*value != '\0' && std::isspace(static_cast<unsigned char>(*value))) {
        ++value;
    }
    return value;
}

// A refused value: the message and the help on standard output, and why on
// standard error.
ParseOutcome refuse(const char* message, std::string_view why) {
    console::printLine(message);
    printHelp();
    diagnostics::usage(kProgram, why);
    return ParseOutcome::Stop;
}

std::string argumentText(std::string_view option, const char* value) {
    return std::string(option) + value;
}

ParseOutcome parsePort(const char* value, ConversionSettings& s, SeenOptions& seen) {
    long port = 0;
    if (!readSigned(value, port) || port < 1 || port > 65535) {
        return refuse(" INVALID PORT detected, showing help.\n",
                      argumentText("-p", value) + ": the port must be a number from 1 to 65535");
    }
    s.port = static_cast<uint16_t>(port);
    console::printf(" -p - Port to be extracted: %d\n", static_cast<int>(s.port));
    seen.any = seen.port = true;
    return ParseOutcome::Proceed;
}

ParseOutcome parseLsn(const char* value, ConversionSettings& s, SeenOptions& seen) {
    if (equalsIgnoreCase(value, "ANY")) {
        s.lsnMode = LsnMode::Any;
        s.lsn = 0;
        console::print(" -l - Lsn to be extracted: ANY\n");
    } else if (equalsIgnoreCase(value, "ALL")) {
        s.lsnMode = LsnMode::All;
        s.lsn = 0;
        console::print(" -l - Lsn to be extracted: ALL\n");
    } else {
        unsigned long lsn = 0;
        if (!readHex(value, lsn) || lsn > 0xFFFF) {
            return refuse(" INVALID LSN detected, showing help.\n",
                          argumentText("-l", value) +
                              ": the LSN must be ANY, ALL or a hexadecimal number up to FFFF");
        }
        s.lsnMode = LsnMode::One;
        s.lsn = static_cast<uint16_t>(lsn);
        console::printf(" -l - Lsn to be extracted: %04X\n", static_cast<unsigned>(s.lsn));
    }
    seen.any = seen.lsn = true;
    return ParseOutcome::Proceed;
}

// A decimal value read into an id; a value that cannot be read leaves it as
// it was.
int32_t readId(const char* value, int32_t id) {
    long number = 0;
    if (readSigned(value, number)) {
        id = number < INT32_MIN ? INT32_MIN : number > INT32_MAX ? INT32_MAX : static_cast<int32_t>(number);
    }
    return id;
}

ParseOutcome parseDirection(const char* value, ConversionSettings& s, SeenOptions& seen) {
    const int32_t id = readId(value, static_cast<int32_t>(s.direction));
    if (!isValidDirection(id)) {
        return refuse(" UNKNOWN/UNSUPPORTED DIRECTION value detected, showing help.\n",
                      argumentText("-d", value) +
                          ": the direction must be 0 (In), 1 (Out) or 2 (In+Out)");
    }
    s.direction = static_cast<Direction>(id);
    const std::string_view name = directionName(s.direction);
    console::printf(" -d - Direction to be extracted: %d (%.*s)\n", static_cast<int>(s.direction),
                    static_cast<int>(name.size()), name.data());
    seen.any = seen.direction = true;
    return ParseOutcome::Proceed;
}

ParseOutcome parseFormat(const char* value, ConversionSettings& s, SeenOptions& seen) {
    const int32_t id = readId(value, static_cast<int32_t>(s.format));
    if (!isValidFrameFormat(id)) {
        return refuse(" UNKNOWN/UNSUPPORTED FRAME FORMAT detected, showing help.\n",
                      argumentText("-f", value) + ": the frame format must be a number from 1 to 6");
    }
    s.format = static_cast<FrameFormat>(id);
    const std::string_view name = frameFormatName(s.format);
    console::printf(" -f - Frame FORMAT: %d (%.*s)\n", static_cast<int>(s.format),
                    static_cast<int>(name.size()), name.data());
    seen.any = true;
    return ParseOutcome::Proceed;
}

ParseOutcome parseArgument(const char* argument, ConversionSettings& s, SeenOptions& seen) {
    const std::string_view text = argument;
    const std::string_view option = text.substr(0, 2);
    const char* value = text.size() > 2 ? argument + 2 : "";
    if (equalsIgnoreCase(option, "-?")) {
        console::print(" -?\n\n");
        printHelp();
        diagnostics::usage(kProgram, "the help was asked for (-?): nothing converted");
        return ParseOutcome::Stop;
    }
    if (equalsIgnoreCase(option, "-p")) {
        return parsePort(value, s, seen);
    }
    if (equalsIgnoreCase(option, "-l")) {
        return parseLsn(value, s, seen);
    }
    if (equalsIgnoreCase(option, "-d")) {
        return parseDirection(value, s, seen);
    }
    if (equalsIgnoreCase(option, "-f")) {
        return parseFormat(value, s, seen);
    }
    if (equalsIgnoreCase(option, "-i")) {
        s.inputName = fileNameValue(value);
        console::printf(" -i - Input file name: %s\n", s.inputName.c_str());
        seen.any = true;
    } else if (equalsIgnoreCase(option, "-o")) {
        s.outputName = fileNameValue(value);
        console::printf(" -o - Output file name: %s\n", s.outputName.c_str());
        seen.any = true;
    } else {
        diagnostics::argumentSkipped(kProgram, text);
    }
    return ParseOutcome::Proceed;
}

void warnUseless(const char* option, FrameFormat format) {
    console::printLine(" ");
    console::printf(" WARNING: Parameter %s is useless in %s conversion.\n", option,
                    std::string(frameFormatName(format)).c_str());
    console::printLine("          The specified value will be ignored.");
}

// The checks after the last argument: mandatory options and ignored ones.
ParseOutcome checkCombination(ConversionSettings& s, const SeenOptions& seen) {
    if (!seen.any) {
        return refuse(" NO PARAMETERS detected, showing help.\n",
                      "no options: at least -pPORT is needed (OrnPcap -? shows the help)");
    }
    if (!seen.port) {
        console::printLine(" ");
        console::printLine(" ERROR: Parameter -p is mandatory.");
        console::printLine(" Please specify the Port to be converted.");
        diagnostics::usage(kProgram, "-pPORT is mandatory: the port to convert");
        return ParseOutcome::Stop;
    }
    if (frameFormatRow(s.format).lsn == LsnRule::Channel && !seen.lsn) {
        console::printLine(" ");
        console::printLine(" ERROR: Parameter -l is mandatory for PPP layer conversion.");
        console::printLine(" Please specify the Lsn to be extracted.");
        diagnostics::usage(kProgram, "-f" + std::to_string(static_cast<int>(s.format)) + " (" +
                                             std::string(frameFormatName(s.format)) +
                                             ") needs -l: ANY, ALL or one LSN in hex");
        return ParseOutcome::Stop;
    }
    if (frameFormatRow(s.format).lsn == LsnRule::Every) {
        if (seen.lsn) {
            warnUseless("-l", s.format);
            s.lsnMode = LsnMode::Any;
            s.lsn = 0;
        }
        if (seen.direction) {
            warnUseless("-d", s.format);
            s.direction = Direction::InOut;
        }
    }
    if (frameFormatRow(s.format).lsn == LsnRule::ProtocolCode && seen.lsn &&
        s.lsnMode != LsnMode::Any) {
        warnUseless("-l", s.format);
        s.lsnMode = LsnMode::Any;
        s.lsn = 0;
    }
    return ParseOutcome::Proceed;
}

// An option letter with nothing after it, followed by what looks like its
// value ("-p 30"): the value belongs in the same argument.
void hintSeparateValue(const char* argument, const char* next) {
    const std::string_view text = argument;
    if (text.size() == 2 && text[0] == '-' && std::strchr("pPlLdDfFiIoO", text[1]) != nullptr &&
        next != nullptr && next[0] != '-' && next[0] != '\0') {
        diagnostics::valueInNextArgument(kProgram, text, next);
    }
}

}  // namespace

ParseOutcome parseOptions(int argc, const char* const* argv, ConversionSettings& settings) {
    console::printLine("Detected command line parameters:");
    SeenOptions seen;
    for (int i = 1; i < argc; ++i) {
        hintSeparateValue(argv[i], i + 1 < argc ? argv[i + 1] : nullptr);
        if (parseArgument(argv[i], settings, seen) == ParseOutcome::Stop) {
            return ParseOutcome::Stop;
        }
    }
    return checkCombination(settings, seen);
}

}  // namespace ornpcap::converter
