#pragma once
// Output file names, and the clean-up of the outputs of an earlier run.
//
// All names of one conversion share the output name's base and extension and
// differ by two optional suffixes: "_%04X" (the LSN, upper-case hex, when not
// 0) and "_In"/"_Out" (the direction, when only one is extracted).

#include <cstdint>
#include <string>
#include <string_view>

#include "app/settings.hpp"
#include "trace/file_io.hpp"

namespace ornpcap {

// A file name in four parts: drive (always empty here), directory with its
// trailing separator, base name, extension from the last dot of the final
// component, dot included.
struct NameParts {
    std::string drive;
    std::string directory;
    std::string baseName;
    std::string extension;

    std::string join() const { return drive + directory + baseName + extension; }
};

NameParts splitName(std::string_view name);

// The name with an extension ".pcap" (any letter case) replaced by the given
// one; any other extension stays.
std::string withConverterExtension(std::string_view name, std::string_view extension);

// Sets currentOutputName for the LSN value, giving outputName the I4B or .vn
// extension first where the settings call for it.
void computeOutputName(ConversionSettings& settings, uint16_t lsnValue);

// The Visual Networks variant: ".vn" extension, LSN suffix, no direction suffix.
void computeVnOutputName(ConversionSettings& settings, uint16_t lsnValue);

// True when candidate (a name without directory) is one the naming can produce
// for the output name's parts.
bool isOutputNameOf(const NameParts& output, std::string_view candidate);

// Deletes, in name order, every file of the output name's directory that the
// naming could have produced, except the file `keep` (the trace being read).
// Stops at the first deletion that fails and reports it as false.
bool clearOldOutputs(const std::string& outputName, const FileIdentity& keep);

}  // namespace ornpcap
