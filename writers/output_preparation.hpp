#pragma once
// Before a converter writes: the outputs an earlier run left are deleted, and
// what then still stands at a name the run may write is checked. A run
// writes only into files it creates itself; what else stands at its names is
// either the output the user named, written through as `tcpdump -w` does (a
// device, a FIFO, a symbolic link), or refused before anything is written:
//
//   a symbolic link, device, FIFO or socket at a name made from the output
//   name (_XXXX, _In, _Out)                          refused: not the run's
//   a device, FIFO or socket as the output name,
//   where the run makes names from it                refused: nothing is made
//                                                    beside a device
//   a FIFO or socket as the output name of a
//   converter that completes its file in place       refused: it cannot seek
//   an old output the clean-up cannot delete         refused: old and new
//                                                    would mix
//
// Folders of an output's name, and the trace itself, are left to the opening
// of the output, which refuses them as it always did.

#include "base/file_io.hpp"
#include "base/result_code.hpp"
#include "writers/output_names.hpp"

namespace ornpcap {

struct OutputNeeds {
    OutputLayout layout;
    bool seeks = false;  // the converter completes its files in place (.vn)
};

// Ok, or CannotCreateTarget with the refusal.
ResultCode prepareOutputs(const OutputNames& names, const OutputNeeds& needs,
                          const FileIdentity& trace, OutputRefusal& refusal);

}  // namespace ornpcap
