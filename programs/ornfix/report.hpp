#pragma once
// ornfix's report: what it found in the trace, what it kept and dropped
// (blocks, records, byte ranges, the time lost), and what it wrote. One line
// per finding, each beginning with its kind ("cut short:", "damaged:",
// "trailer:", ...), so that scripts can pick them out.
//
// The report goes to standard output, or to standard error when standard
// output carries the repaired trace.

#include <string>
#include <string_view>

#include "ornfix/salvage.hpp"
#include "ornfix/trace_summary.hpp"
#include "ornfix/trace_writer.hpp"

namespace ornpcap::ornfix {

class Report {
public:
    explicit Report(bool toStandardError) : toStandardError_(toStandardError) {}
    void line(std::string_view text) const;

    // The trace, and each finding of the plan.
    void findings(const std::string& traceName, const SalvagePlan& plan) const;
    // What the repaired trace keeps and what was dropped.
    void keptAndDropped(const SalvagePlan& plan) const;
    // What was (or, with dryRun, would be) written.
    void written(const std::string& outputName, const WriterCounts& counts, bool dryRun) const;

private:
    bool toStandardError_;
};

// A summary of the trace that would be written, from the plan and the
// writer's counts, when it cannot be read back.
TraceSummary plannedSummary(const SalvagePlan& plan, const WriterCounts& counts);

}  // namespace ornpcap::ornfix
