#pragma once
// Where a record writer keeps its open outputs between records. The conversion
// run owns the slot, hands it to every writer call and closes what it holds on
// every path, so that each output left on disk is complete.

#include <memory>

#include "app/result_code.hpp"
#include "trace/file_io.hpp"

namespace ornpcap {

// A writer's open outputs: one file, or a set of them with what still has to
// be written when they are closed (an index, a header).
class OutputSink {
public:
    virtual ~OutputSink() = default;
    // Completes and closes every output; CannotWriteTarget when that fails.
    virtual ResultCode finish() = 0;
};

struct OutputSlot {
    FileIdentity trace;  // the trace being read: no output may be this file
    std::unique_ptr<OutputSink> sink;

    // The writer's outputs as their concrete type (only that writer fills it).
    template <class Sink>
    Sink* as() {
        return static_cast<Sink*>(sink.get());
    }

    // Completes and closes what the slot holds and empties it.
    ResultCode close() {
        if (!sink) {
            return ResultCode::Ok;
        }
        ResultCode rc = sink->finish();
        sink.reset();
        return rc;
    }
};

}  // namespace ornpcap
