#pragma once
// A run of ornfix, from the command line to the exit status: the first pass
// over the trace (salvage), the report, and the second pass that writes the
// repaired trace (rewrite), with every failure reported by its code.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/result_code.hpp"
#include "ornfix/salvage.hpp"
#include "ornfix/trace_writer.hpp"

namespace ornpcap::ornfix {

inline constexpr std::string_view kProgram = "ornfix";

int run(int argc, char** argv);

// Both passes over a trace held in memory, the repaired trace kept in
// memory too (tests and fuzzing). code: Ok when a repaired trace was
// written, NeedsNoRepair, or the code of the pass that failed.
struct MemoryRepair {
    ResultCode code = ResultCode::Ok;
    SalvagePlan plan;
    std::vector<uint8_t> output;
    WriterCounts counts;
};
MemoryRepair repairInMemory(std::span<const uint8_t> trace);

}  // namespace ornpcap::ornfix
