#pragma once
// Output file names, and the clean-up of the outputs of an earlier run.
//
// All names of one conversion share the output name's base and extension and
// differ by two optional suffixes: "_%04X" (the LSN, upper-case hex, when not
// 0) and "_In"/"_Out" (the direction, when only one is extracted). An output
// name ending in ".pcap" (any letter case) takes the converter's extension.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "trace/record_filter.hpp"
#include "writers/output_names.hpp"

namespace ornpcap::converter {

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

// True when candidate (a name without directory) is one the naming can produce
// for the output name's parts.
bool isOutputNameOf(const NameParts& output, std::string_view candidate);

// Deletes, in name order, every regular file of the output name's directory
// that the naming could have produced, except the file `keep` (the trace being
// read); links, devices, FIFOs, sockets and folders are left alone. Stops at
// the first deletion that fails and reports it as false, with the name and
// the system's reason in `refusal`.
bool clearOldOutputs(const std::string& outputName, const FileIdentity& keep,
                     OutputRefusal& refusal);

class OutputNaming final : public OutputNames {
public:
    // converterExtension replaces an extension ".pcap"; empty keeps it.
    OutputNaming(std::string_view outputName, std::string_view converterExtension,
                 Direction direction);

    // The output name with the converter's extension.
    std::string outputName() const { return parts_.join(); }
    std::string nameFor(uint16_t lsn) const override;
    std::string namedOutput() const override { return outputName(); }
    bool clearOldOutputs(const FileIdentity& keep, OutputRefusal& refusal) const override;
    std::vector<std::string> standingOutputs(const OutputLayout& layout) const override;

private:
    // Whether the file name (no directory) is one nameFor gives for some LSN.
    bool isNameOfSomeLsn(std::string_view candidate) const;

    NameParts parts_;
    Direction direction_;
};

}  // namespace ornpcap::converter
