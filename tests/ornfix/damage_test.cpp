// One damaged block (or stretch of bytes) in the middle of a trace: the
// repaired trace reads back, holds nothing that was not a record of the
// original, byte for byte and in order, and at least 95% of the records that
// do not touch the damage; the damage is found and named by its first
// failed check.

#include <gtest/gtest.h>

#include <functional>

#include "ornfix/run.hpp"
#include "tests/ornfix/fix_support.hpp"
#include "tests/support/sanitizer_sample.hpp"

namespace ornpcap::test::fix {
namespace {

using ornfix::FindingKind;
using ornfix::repairInMemory;

// The blocks whose bytes in the file meet [from, to).
std::vector<size_t> blocksMeeting(const BuiltTrace& t, uint64_t from, uint64_t to) {
    std::vector<size_t> met;
    for (size_t i = 0; i < t.blockBegin.size(); ++i) {
        if (t.blockBegin[i] < to && t.blockEnd[i] > from) {
            met.push_back(i);
        }
    }
    return met;
}

struct Damage {
    const char* name;
    // Damages block k of the trace; returns the blocks whose records may be lost.
    std::function<std::vector<size_t>(BuiltTrace&, size_t k)> apply;
    FindingKind kind;
    TraceCheck check;  // of the first finding; None: not checked
};

using BlockEdit = std::function<void(tracebuild::BlockSpec&)>;

std::vector<size_t> respec(BuiltTrace& t, size_t k, const BlockEdit& edit) {
    edit(t.recipe.blocks[k]);
    rebuild(t);
    return {k};
}

const Damage kDamages[] = {
    {"data byte flipped (FCS)",
     [](BuiltTrace& t, size_t k) {
         t.bytes[t.blockBegin[k] + 9] ^= 0x5A;
         return std::vector<size_t>{k};
     },
     FindingKind::DamagedBlocks, TraceCheck::BlockChecksum},
    {"numbered out of sequence",
     [](BuiltTrace& t, size_t k) {
         return respec(t, k,
                       [k](tracebuild::BlockSpec& b) { b.number = static_cast<uint16_t>(k + 9); });
     },
     FindingKind::DamagedBlocks, TraceCheck::BlockOutOfSequence},
    {"length field far too long",
     [](BuiltTrace& t, size_t k) {
         return respec(t, k, [](tracebuild::BlockSpec& b) { b.lengthField = 60000; });
     },
     FindingKind::DamagedBlocks, TraceCheck::BlockTooLong},
    {"length field too short",
     [](BuiltTrace& t, size_t k) {
         const uint16_t half = static_cast<uint16_t>((t.blockEnd[k] - t.blockBegin[k] - 6) / 2);
         return respec(t, k, [half](tracebuild::BlockSpec& b) { b.lengthField = half; });
     },
     FindingKind::DamagedBlocks, TraceCheck::BlockChecksum},
    {"compressed data that does not expand",
     [](BuiltTrace& t, size_t k) {
         return respec(t, k, [](tracebuild::BlockSpec& b) {
             b.stored = false;
             b.cutCompressedTo = 20;
         });
     },
     FindingKind::DamagedBlocks, TraceCheck::BlockNotExpandable},
    {"bytes after the end marker",
     [](BuiltTrace& t, size_t k) {
         return respec(t, k, [](tracebuild::BlockSpec& b) {
             b.stored = false;
             b.appendToCompressed = {1, 2, 3};
         });
     },
     FindingKind::DamagedBlocks, TraceCheck::BlockNotExpandable},
    {"header zeroed",
     [](BuiltTrace& t, size_t k) {
         std::fill_n(t.bytes.begin() + static_cast<std::ptrdiff_t>(t.blockBegin[k]), 6, 0);
         return std::vector<size_t>{k};
     },
     FindingKind::DamagedBlocks, TraceCheck::BlockOutOfSequence},
    {"bytes inserted in its data",
     [](BuiltTrace& t, size_t k) {
         const Bytes extra = noise(50, 7);
         t.bytes.insert(t.bytes.begin() + static_cast<std::ptrdiff_t>(t.blockBegin[k] + 20),
                        extra.begin(), extra.end());
         return std::vector<size_t>{k};
     },
     FindingKind::DamagedBlocks, TraceCheck::BlockChecksum},
    {"300 bytes cut out",
     [](BuiltTrace& t, size_t k) {
         const uint64_t from = t.blockBegin[k] + 30;
         t.bytes.erase(t.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                       t.bytes.begin() + static_cast<std::ptrdiff_t>(from + 300));
         return blocksMeeting(t, from, from + 300);
     },
     FindingKind::DamagedBlocks, TraceCheck::None},
    {"700 bytes zeroed",
     [](BuiltTrace& t, size_t k) {
         const uint64_t from = t.blockBegin[k] + 10;
         std::fill_n(t.bytes.begin() + static_cast<std::ptrdiff_t>(from), 700, 0);
         return blocksMeeting(t, from, from + 700);
     },
     FindingKind::DamagedBlocks, TraceCheck::None},
    {"whole block missing",
     [](BuiltTrace& t, size_t k) {
         t.bytes.erase(t.bytes.begin() + static_cast<std::ptrdiff_t>(t.blockBegin[k]),
                       t.bytes.begin() + static_cast<std::ptrdiff_t>(t.blockEnd[k]));
         return std::vector<size_t>{k};
     },
     FindingKind::MissingBlocks, TraceCheck::None},
    {"junk between two blocks",
     [](BuiltTrace& t, size_t k) {
         const Bytes junk = noise(77, 9);
         t.bytes.insert(t.bytes.begin() + static_cast<std::ptrdiff_t>(t.blockEnd[k]),
                        junk.begin(), junk.end());
         return std::vector<size_t>{};
     },
     FindingKind::DamagedBlocks, TraceCheck::None},
};

struct Subject {
    const char* name;
    std::function<BuiltTrace()> build;
};

const Subject kSubjects[] = {
    {"version 8, mixed blocks",
     [] { return buildTrace(variedRecords(2000, 11), 8, 1024, BlockMode::Alternate); }},
    {"version 5, compressed blocks",
     [] { return buildTrace(variedRecords(1500, 12), 5, 1500, BlockMode::Compressed); }},
    {"version 7, PPP-Sync traffic",
     [] {
         return buildTrace(trafficRecords(tracebuild::TrafficFormat::PppSync, 2000, 5), 7, 4096,
                           BlockMode::Smallest);
     }},
};

void checkRepair(const BuiltTrace& original, const Damage& damage) {
    BuiltTrace t = original;
    const size_t k = t.recipe.blocks.size() / 2;
    const std::vector<size_t> touched = damage.apply(t, k);
    const ornfix::MemoryRepair repair = repairInMemory(t.bytes);
    ASSERT_EQ(repair.code, ResultCode::Ok);
    ASSERT_FALSE(repair.plan.findings.empty());
    const ornfix::Finding& first = repair.plan.findings.front();
    EXPECT_EQ(first.kind, damage.kind);
    if (damage.check != TraceCheck::None) {
        EXPECT_EQ(first.fault.check, damage.check);
        EXPECT_EQ(first.fault.block, k + 1);
        EXPECT_EQ(first.fault.offset, original.blockBegin[k]);
    }
    TempDir dir;
    std::string why;
    const auto got = readBack(dir, repair.output, &why);
    ASSERT_TRUE(got) << why;
    const auto places = placesIn(*got, original.records, t.version, &why);
    ASSERT_TRUE(places) << why;
    const std::vector<size_t> clear = recordsClearOf(original, touched);
    const auto kept = [&](size_t i) {
        return std::binary_search(places->begin(), places->end(), i);
    };
    const size_t found = static_cast<size_t>(std::count_if(clear.begin(), clear.end(), kept));
    EXPECT_GE(found * 100, clear.size() * 95) << found << " of " << clear.size();
    if (touched.empty()) {
        EXPECT_EQ(got->size(), original.records.size());
    }
    EXPECT_EQ(repairInMemory(repair.output).code, ResultCode::NeedsNoRepair);
}

TEST(OrnfixDamageInTheMiddle, EveryKindInEveryTrace) {
    size_t n = 0;
    for (const Subject& subject : kSubjects) {
        const BuiltTrace original = subject.build();
        for (const Damage& damage : kDamages) {
            if (!sampled(n++)) {
                continue;
            }
            SCOPED_TRACE(std::string(subject.name) + ": " + damage.name);
            checkRepair(original, damage);
        }
    }
}

}  // namespace
}  // namespace ornpcap::test::fix
