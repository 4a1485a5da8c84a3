#pragma once
// How a converter's outputs are named, and the clean-up of the outputs an
// earlier run left. The rule is app/'s; the writers only ask.

#include <cstdint>
#include <string>

#include "base/file_io.hpp"

namespace ornpcap {

class OutputNames {
public:
    virtual ~OutputNames() = default;
    // The name of the output for the LSN (the one output's LSN outside ALL mode).
    virtual std::string nameFor(uint16_t lsn) const = 0;
    // Deletes what an earlier run with the same names may have left, never
    // the file `keep` (the trace). A failure is not reported: it never stops
    // a conversion.
    virtual void clearOldOutputs(const FileIdentity& keep) const = 0;
};

}  // namespace ornpcap
