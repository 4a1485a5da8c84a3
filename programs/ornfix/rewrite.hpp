#pragma once
// The second pass of a repair: reads the kept blocks again and writes the
// repaired trace as the plan of the first pass says. Blocks copied as they
// stand are checked against their FCS once more, so that a trace changed
// between the passes is noticed rather than copied.

#include "base/result_code.hpp"
#include "ornfix/input_bytes.hpp"
#include "ornfix/salvage.hpp"
#include "ornfix/trace_writer.hpp"

namespace ornpcap::ornfix {

// Ok, CannotReadSource (a read error, or the trace changed since the first
// pass), CannotWriteTarget, Interrupted, OutOfMemory.
ResultCode rewrite(ByteSource& source, const SalvagePlan& plan, ByteSink& out,
                   WriterCounts& counts);

}  // namespace ornpcap::ornfix
