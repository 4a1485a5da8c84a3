#pragma once
// How a converter's outputs are named, and the clean-up of the outputs an
// earlier run left. The rule is app/'s; the writers only ask.

#include <cstdint>
#include <string>
#include <vector>

#include "base/file_io.hpp"

namespace ornpcap {

// Which output a record goes to: in ALL mode the one of its own LSN; else the
// run's one output, named for the LSN asked for (0 in ANY mode).
struct OutputLayout {
    bool perLsn = false;
    uint16_t lsn = 0;

    uint16_t outputOf(uint16_t recordLsn) const { return perLsn ? recordLsn : lsn; }
};

// A name the run will not write to, and why; osError is the system's reason
// where there is one.
struct OutputRefusal {
    std::string name;
    std::string reason;
    int osError = 0;
};

class OutputNames {
public:
    virtual ~OutputNames() = default;
    // The name of the output for the LSN (the one output's LSN outside ALL mode).
    virtual std::string nameFor(uint16_t lsn) const = 0;
    // The output name as the user gave it, with the converter's extension;
    // every other name is made from it.
    virtual std::string namedOutput() const = 0;
    // Deletes, as regular files, what an earlier run with the same names may
    // have left, never the file `keep` (the trace). False, with the name and
    // the reason, when a deletion failed: the run must not mix old and new.
    virtual bool clearOldOutputs(const FileIdentity& keep, OutputRefusal& refusal) const = 0;
    // What stands, after the clean-up, at a name the layout's outputs can
    // have (any LSN's in ALL mode): paths, in name order.
    virtual std::vector<std::string> standingOutputs(const OutputLayout& layout) const = 0;
};

}  // namespace ornpcap
