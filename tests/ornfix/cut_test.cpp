// A trace cut short at any byte: the repaired trace holds exactly the records
// that lay wholly inside the intact blocks before the cut, read back by
// OrnPcap's reader, and needs no repair itself.

#include <gtest/gtest.h>

#include "ornfix/run.hpp"
#include "tests/ornfix/fix_support.hpp"
#include "tests/support/sanitizer_sample.hpp"

namespace ornpcap::test::fix {
namespace {

using ornfix::repairInMemory;


// The record-stream bytes of the blocks that end before the cut (all of them
// when only the trailer is cut).
uint64_t streamBefore(const BuiltTrace& t, uint64_t cut) {
    uint64_t stream = 0;
    for (size_t i = 0; i < t.blockEnd.size() && t.blockEnd[i] <= cut; ++i) {
        stream = t.blockStreamEnd[i];
    }
    return stream;
}

// What is wrong with the repair of the trace cut to `cut` bytes; "" when nothing.
std::string checkCut(const TempDir& dir, const BuiltTrace& t, size_t cut) {
    const Bytes cutShort(t.bytes.begin(), t.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    const ornfix::MemoryRepair repair = repairInMemory(cutShort);
    const std::vector<Record> expected = recordsWithin(t, streamBefore(t, cut));
    if (cut == t.bytes.size()) {
        return repair.code == ResultCode::NeedsNoRepair ? "" : "the whole trace is not found good";
    }
    if (expected.empty()) {
        return repair.code == ResultCode::CannotRepair ? "" : "nothing to salvage, but not 15";
    }
    if (repair.code != ResultCode::Ok) {
        return "exit " + std::to_string(exitCode(repair.code));
    }
    std::string why;
    const auto got = readBack(dir, repair.output, &why);
    if (!got) {
        return "the repaired trace does not read back: " + why;
    }
    if (!sameRecords(*got, expected, t.version)) {
        return std::to_string(got->size()) + " records where " + std::to_string(expected.size()) +
               " lay wholly in the intact blocks";
    }
    return repairInMemory(repair.output).code == ResultCode::NeedsNoRepair
               ? ""
               : "the repaired trace needs repair itself";
}

// Cuts at every stride-th byte (a sample of them under the sanitizers), and
// at the very end.
void cutEverywhere(const BuiltTrace& t, size_t stride) {
    TempDir dir;
    std::vector<std::string> failures;
    std::vector<size_t> cuts;
    for (size_t cut = 0, n = 0; cut < t.bytes.size(); cut += stride, ++n) {
        if (sampled(n)) {
            cuts.push_back(cut);
        }
    }
    cuts.push_back(t.bytes.size());
    for (size_t cut : cuts) {
        if (const std::string why = checkCut(dir, t, cut); !why.empty()) {
            failures.push_back("cut at " + std::to_string(cut) + ": " + why);
        }
    }
    EXPECT_TRUE(failures.empty()) << failures.size() << " cuts fail, the first: " << failures[0];
}

TEST(OrnfixCutShort, AtEveryByteOfAMixedTrace) {
    // Records of up to 300 bytes in blocks of 180: many span blocks.
    const BuiltTrace t = buildTrace(variedRecords(40, 1), 8, 180, BlockMode::Alternate);
    ASSERT_GT(t.recipe.blocks.size(), 25u);
    cutEverywhere(t, 1);
}

TEST(OrnfixCutShort, AtManyPlacesInEveryVersion) {
    for (uint16_t version : {5, 6, 7}) {
        SCOPED_TRACE(version);
        cutEverywhere(buildTrace(variedRecords(80, version), version, 700, BlockMode::Smallest), 7);
    }
}

TEST(OrnfixCutShort, AtManyPlacesOfRealisticTraffic) {
    cutEverywhere(buildTrace(trafficRecords(tracebuild::TrafficFormat::Ethernet, 150, 3), 8, 2000,
                             BlockMode::Compressed),
                  13);
}

}  // namespace
}  // namespace ornpcap::test::fix
