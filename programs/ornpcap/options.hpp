#pragma once
// Command-line options, read into the conversion settings.
//
//   -?          help                -p<port>   port 1..65535 (mandatory)
//   -i<name>    input trace         -l<lsn>    ANY, ALL or 0..FFFF (hex)
//   -o<name>    output name         -d<dir>    0 In, 1 Out, 2 In+Out
//   -f<format>  frame format 1..6
//
// Option letters are matched without regard to case; the value follows the
// letter in the same argument. Unknown arguments are skipped.

#include "ornpcap/settings.hpp"

namespace ornpcap::converter {

enum class ParseOutcome { Proceed, Stop };

// Reads the arguments after the program name into settings, printing what it
// detects, warnings, errors and (where asked or on a usage error) the help.
ParseOutcome parseOptions(int argc, const char* const* argv, ConversionSettings& settings);

}  // namespace ornpcap::converter
