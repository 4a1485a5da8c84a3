// Finding the blocks again where the bytes between them are not blocks: a
// block written twice, junk between two blocks, a false block whose FCS-16
// happens to check out. Every record of the original comes back once.

#include <gtest/gtest.h>

#include "base/byte_order.hpp"
#include "ornfix/run.hpp"
#include "tests/ornfix/fix_support.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap::test::fix {
namespace {

using ornfix::FindingKind;
using ornfix::repairInMemory;

BuiltTrace trace550() { return buildTrace(variedRecords(550, 51), 8, 1000, BlockMode::Alternate); }

void insertAt(Bytes& bytes, uint64_t at, const Bytes& extra) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
}

// A block that passes every check on its own: the number, a length and the
// FCS-16 of its data.
Bytes lonelyBlock(uint16_t number, size_t length, uint32_t seed) {
    Bytes block = noise(6 + length, seed);
    storeLe16(&block[0], static_cast<uint16_t>(0x8000 | number));
    storeLe16(&block[2], static_cast<uint16_t>(length));
    storeLe16(&block[4], Fcs16().reset().update(&block[6], static_cast<uint32_t>(length)).result());
    return block;
}

TEST(OrnfixBlockSearch, ABlockWrittenTwiceIsKeptOnce) {
    const BuiltTrace t = trace550();
    for (size_t k : {size_t{0}, size_t{20}, t.recipe.blocks.size() - 1}) {
        SCOPED_TRACE(k + 1);
        Bytes twice = t.bytes;
        const Bytes block(t.bytes.begin() + static_cast<std::ptrdiff_t>(t.blockBegin[k]),
                          t.bytes.begin() + static_cast<std::ptrdiff_t>(t.blockEnd[k]));
        insertAt(twice, t.blockEnd[k], block);
        EXPECT_EQ(checkRepair(t, twice, {}), "");
        const ornfix::MemoryRepair repair = repairInMemory(twice);
        ASSERT_EQ(repair.plan.findings.size(), 1u);
        const ornfix::Finding& f = repair.plan.findings[0];
        EXPECT_EQ(f.kind, FindingKind::DuplicateBlock);
        EXPECT_EQ(f.from, t.blockEnd[k]);
        EXPECT_EQ(f.to, t.blockEnd[k] + block.size());
        EXPECT_EQ(f.nextPosition, k + 1);
        EXPECT_EQ(repair.plan.breaks.size(), 0u);
        EXPECT_EQ(repair.counts.copied, t.recipe.blocks.size());
    }
}

TEST(OrnfixBlockSearch, JunkBetweenBlocksGivesNoFalseBlock) {
    const BuiltTrace t = trace550();
    const size_t k = 20;
    // A false block that checks out on its own, numbered a few blocks on,
    // in the middle of junk; then a MiB of random bytes.
    Bytes planted = t.bytes;
    Bytes junk = noise(30000, 52);
    const Bytes lonely = lonelyBlock(static_cast<uint16_t>(k + 4), 700, 53);
    junk.insert(junk.begin() + 9000, lonely.begin(), lonely.end());
    insertAt(planted, t.blockEnd[k], junk);
    EXPECT_EQ(checkRepair(t, planted, {}), "");
    Bytes megabyte = t.bytes;
    insertAt(megabyte, t.blockEnd[k], noise(1 << 20, 57));
    EXPECT_EQ(checkRepair(t, megabyte, {}), "");
    // The same behind a damaged block, and with the trailer gone.
    Bytes both = megabyte;
    both[t.blockBegin[k] + 50] ^= 0x10;
    EXPECT_EQ(checkRepair(t, both, {k}), "");
    Bytes cut = planted;
    cut.resize(cut.size() - 30);
    EXPECT_EQ(checkRepair(t, cut, {t.recipe.blocks.size() - 1}), "");
}

}  // namespace
}  // namespace ornpcap::test::fix
