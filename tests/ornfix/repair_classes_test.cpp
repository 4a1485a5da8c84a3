// Each kind of repair besides damage in the middle: header, trailer, bytes
// after the stream, the last record, good traces, traces nothing can be
// salvaged from; and what the writer makes of the blocks.

#include <gtest/gtest.h>

#include "base/byte_order.hpp"
#include "ornfix/run.hpp"
#include "tests/ornfix/fix_support.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap::test::fix {
namespace {

using ornfix::FindingKind;
using ornfix::repairInMemory;

struct BlockAt {
    uint16_t tag;
    uint16_t length;
    uint16_t fcs;
    Bytes data;
};

// The blocks of a well-formed trace, in order.
std::vector<BlockAt> blocksOf(const Bytes& trace, uint16_t version) {
    std::vector<BlockAt> blocks;
    size_t at = tracebuild::headerSizeFor(version);
    while (at + 6 <= trace.size() - 16) {
        BlockAt b{loadLe16(&trace[at]), loadLe16(&trace[at + 2]), loadLe16(&trace[at + 4]), {}};
        b.data.assign(trace.begin() + static_cast<std::ptrdiff_t>(at + 6),
                      trace.begin() + static_cast<std::ptrdiff_t>(at + 6 + b.length));
        blocks.push_back(std::move(b));
        at += 6 + b.length;
    }
    return blocks;
}

uint16_t trailerField(const Bytes& trace, size_t offset) {
    return loadLe16(&trace[trace.size() - 16 + offset]);
}

void setTrailerField(Bytes& trace, size_t offset, uint16_t value) {
    uint8_t* trailer = &trace[trace.size() - 16];
    storeLe16(trailer + offset, value);
    storeLe16(trailer + 14, Fcs16().reset().update(trailer, 14).result());
}

// The repair keeps every record of the original and names the finding.
void expectAllKept(const BuiltTrace& original, const Bytes& damaged, FindingKind kind) {
    const ornfix::MemoryRepair repair = repairInMemory(damaged);
    ASSERT_EQ(repair.code, ResultCode::Ok);
    ASSERT_FALSE(repair.plan.findings.empty());
    EXPECT_EQ(repair.plan.findings.front().kind, kind);
    TempDir dir;
    std::string why;
    const auto got = readBack(dir, repair.output, &why);
    ASSERT_TRUE(got) << why;
    EXPECT_TRUE(sameRecords(*got, original.records, original.version));
    EXPECT_EQ(repairInMemory(repair.output).code, ResultCode::NeedsNoRepair);
}

BuiltTrace small(uint16_t version = 8) {
    return buildTrace(variedRecords(120, 31), version, 600, BlockMode::Alternate);
}

TEST(OrnfixHeaderRepair, AWrongFcsWithRecognisableFieldsIsRewritten) {
    for (uint16_t version : {5, 6, 7, 8}) {
        SCOPED_TRACE(version);
        BuiltTrace t = small(version);
        const uint32_t size = tracebuild::headerSizeFor(version);
        t.bytes[size - 1] ^= 0x40;
        expectAllKept(t, t.bytes, FindingKind::HeaderRewritten);
        const ornfix::MemoryRepair repair = repairInMemory(t.bytes);
        EXPECT_TRUE(hasGoodFcs(repair.output.data(), size));
        EXPECT_TRUE(std::equal(t.bytes.begin(), t.bytes.begin() + size - 2, repair.output.begin()));
    }
}

TEST(OrnfixHeaderRepair, AFlippedBitInTheVersionOrTheTypeIsRebuiltFromTheBlocks) {
    // Offset and bit: the version's last digit (8 reads 9, 7 reads 6, 6
    // reads 7, 5 reads 4), a leading zero of it, the R and the T of TRC.
    const std::pair<size_t, uint8_t> flips[] = {{14, 0x01}, {12, 0x10}, {4, 0x01}, {3, 0x20}};
    for (uint16_t version : {5, 6, 7, 8}) {
        const BuiltTrace t = small(version);
        const uint32_t size = tracebuild::headerSizeFor(version);
        for (const auto& [offset, bit] : flips) {
            SCOPED_TRACE("version " + std::to_string(version) + ", byte " +
                         std::to_string(offset));
            Bytes damaged = t.bytes;
            damaged[offset] ^= bit;
            expectAllKept(t, damaged, FindingKind::HeaderRewritten);
            const ornfix::MemoryRepair repair = repairInMemory(damaged);
            EXPECT_EQ(repair.plan.header.state, ornfix::HeaderState::Rebuilt);
            EXPECT_TRUE(repair.plan.header.fcsRestored);
            EXPECT_TRUE(std::equal(t.bytes.begin(), t.bytes.begin() + size,
                                   repair.output.begin()));
            // With another byte damaged too, the FCS is rewritten.
            damaged[100] ^= 1;
            const ornfix::MemoryRepair rewritten = repairInMemory(damaged);
            EXPECT_EQ(rewritten.plan.header.state, ornfix::HeaderState::Rebuilt);
            EXPECT_FALSE(rewritten.plan.header.fcsRestored);
            EXPECT_TRUE(hasGoodFcs(rewritten.output.data(), size));
        }
    }
}

TEST(OrnfixHeaderRepair, AHeaderOfAnotherFormatOrDamagedBeyondOneCharacterIsNotRebuilt) {
    using HeaderEdit = std::function<void(tracebuild::HeaderSpec&)>;
    const auto refused = [](const HeaderEdit& edit, bool badFcs, TraceCheck check) {
        BuiltTrace t = small();
        edit(t.recipe.header);
        rebuild(t);
        t.bytes[100] ^= badFcs ? 1 : 0;
        const ornfix::MemoryRepair repair = repairInMemory(t.bytes);
        EXPECT_EQ(repair.code, ResultCode::CannotRepair);
        EXPECT_EQ(repair.plan.header.fault.check, check);
    };
    // An intact header of version 9 is another format, not damage.
    refused([](tracebuild::HeaderSpec& h) { h.versionText = "00009.000"; }, false,
            TraceCheck::VersionRefused);
    refused([](tracebuild::HeaderSpec& h) { h.versionText = "00019.000"; }, true,
            TraceCheck::VersionRefused);
    refused([](tracebuild::HeaderSpec& h) { h.subVersion = 2; }, true,
            TraceCheck::SubVersionRefused);
    BuiltTrace t = small();
    t.bytes[3] = 'X';  // "XXC"
    t.bytes[4] = 'X';
    EXPECT_EQ(repairInMemory(t.bytes).plan.header.fault.check, TraceCheck::NotATrace);
    // One character off, but no block 1 to show the layout.
    BuiltTrace noLayout = small();
    noLayout.bytes[4] = 'X';
    noLayout.bytes[noLayout.blockBegin[0] + 10] ^= 1;
    EXPECT_EQ(repairInMemory(noLayout.bytes).plan.header.fault.check, TraceCheck::NotATrace);
}

TEST(OrnfixTrailerRepair, DamagedOrDisagreeingTrailersAreComputedAnew) {
    const BuiltTrace t = small();
    Bytes badFcs = t.bytes;
    badFcs.back() ^= 1;
    expectAllKept(t, badFcs, FindingKind::TrailerDamaged);

    Bytes fewerBlocks = t.bytes;  // the conversion would leave blocks unread
    setTrailerField(fewerBlocks, 2, static_cast<uint16_t>(t.recipe.blocks.size() - 3));
    expectAllKept(t, fewerBlocks, FindingKind::TrailerDisagrees);

    Bytes shorterStream = t.bytes;
    setTrailerField(shorterStream, 8, static_cast<uint16_t>(trailerField(t.bytes, 8) - 100));
    expectAllKept(t, shorterStream, FindingKind::TrailerDisagrees);

    Bytes smallMax = t.bytes;  // every block longer than maxBlockLength
    setTrailerField(smallMax, 0, 100);
    expectAllKept(t, smallMax, FindingKind::TrailerDisagrees);
    // The search past a damaged block finds blocks longer than it says too.
    std::fill_n(smallMax.begin() + static_cast<std::ptrdiff_t>(t.blockBegin[3]), 6, 0);
    EXPECT_EQ(checkRepair(t, smallMax, {3}), "");
}

TEST(OrnfixTrailerRepair, AMaxBlockLengthTooSmallForARecordCarriedOverIsRaised) {
    // Stored blocks of 300 bytes holding records of 1000: the work buffer of
    // a maxBlockLength of 300 cannot hold them.
    std::vector<Record> records = variedRecords(20, 32);
    for (Record& r : records) {
        r.payload.assign(1000, 0x11);
        r.header.origLength = 1000;
    }
    BuiltTrace t = buildTrace(records, 8, 300, BlockMode::Stored);
    t.recipe.maxBlockLength = 300;
    rebuild(t);
    expectAllKept(t, t.bytes, FindingKind::TrailerDisagrees);
    EXPECT_NE(repairInMemory(t.bytes).plan.findings.front().detail.find("too little room"),
              std::string::npos);
}

TEST(OrnfixStreamEnd, BytesAfterTheBlockStreamAreDropped) {
    BuiltTrace t = small();
    t.recipe.unusedBeforeTrailer = 333;
    rebuild(t);
    expectAllKept(t, t.bytes, FindingKind::BytesAfterStream);
    const ornfix::MemoryRepair repair = repairInMemory(t.bytes);
    EXPECT_EQ(repair.plan.findings.front().to - repair.plan.findings.front().from, 333u);
}

TEST(OrnfixStreamEnd, AnIncompleteLastRecordIsDropped) {
    BuiltTrace t = small();
    t.recipe.blocks.back().data.resize(t.recipe.blocks.back().data.size() - 5);
    rebuild(t);
    const ornfix::MemoryRepair repair = repairInMemory(t.bytes);
    ASSERT_EQ(repair.code, ResultCode::Ok);
    EXPECT_EQ(repair.plan.findings.back().kind, FindingKind::IncompleteLastRecord);
    EXPECT_EQ(repair.plan.tail.recordsCut, 1u);
    TempDir dir;
    const auto got = readBack(dir, repair.output);
    ASSERT_TRUE(got);
    EXPECT_TRUE(sameRecords(*got, {t.records.begin(), t.records.end() - 1}, 8));
}

TEST(OrnfixGoodTraces, NeedNoRepair) {
    for (uint16_t version : {5, 6, 7, 8}) {
        EXPECT_EQ(repairInMemory(small(version).bytes).code, ResultCode::NeedsNoRepair);
    }
    EXPECT_EQ(repairInMemory(tracebuild::readFile(ORNPCAP_SOURCE_DIR "/examples/Trace.orn")).code,
              ResultCode::NeedsNoRepair);
    BuiltTrace empty = buildTrace({}, 8, 600, BlockMode::Stored);  // no blocks at all
    EXPECT_EQ(repairInMemory(empty.bytes).code, ResultCode::NeedsNoRepair);
}

TEST(OrnfixNothingToSalvage, NoIntactBlockOrNoWholeRecordIsFifteen) {
    BuiltTrace t = small();
    for (size_t i = 210; i < t.bytes.size() - 16; ++i) {
        t.bytes[i] = static_cast<uint8_t>(i * 7);
    }
    EXPECT_EQ(repairInMemory(t.bytes).code, ResultCode::CannotRepair);
    EXPECT_EQ(repairInMemory(Bytes(150, 0)).code, ResultCode::CannotRepair);
    // One intact block holding the start of a record only.
    std::vector<Record> one = variedRecords(1, 33);
    one[0].payload.assign(400, 1);
    BuiltTrace start = buildTrace(one, 8, 200, BlockMode::Stored);
    start.bytes.resize(start.blockEnd[0]);
    EXPECT_EQ(repairInMemory(start.bytes).code, ResultCode::CannotRepair);
}

TEST(OrnfixWriter, CopiesWholeBlocksAndCutsTheRestIntoBlocksNoLongerThanTheInputs) {
    // Compressible records in stored blocks of 1000 bytes: the two blocks
    // beside the damaged one are cut anew, compressed; the rest are copied.
    std::vector<Record> records = variedRecords(300, 34);
    for (Record& r : records) {
        std::fill(r.payload.begin(), r.payload.end(), 0x5C);
    }
    BuiltTrace t = buildTrace(records, 8, 1000, BlockMode::Stored);
    const size_t k = 10;
    t.bytes[t.blockBegin[k] + 20] ^= 1;
    const ornfix::MemoryRepair repair = repairInMemory(t.bytes);
    ASSERT_EQ(repair.code, ResultCode::Ok);
    EXPECT_EQ(repair.counts.copied, t.recipe.blocks.size() - 3);
    EXPECT_GE(repair.counts.newBlocks, 2u);
    const std::vector<BlockAt> in = blocksOf(t.bytes, 8);
    const std::vector<BlockAt> out = blocksOf(repair.output, 8);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_LE(out[i].length, 1000u);
        EXPECT_EQ(out[i].tag & 0x7FFF, i + 1);
    }
    // Blocks before the damage are the input's, but for the last one.
    for (size_t i = 0; i + 1 < k; ++i) {
        EXPECT_EQ(out[i].data, in[i].data);
        EXPECT_EQ(out[i].fcs, in[i].fcs);
    }
    EXPECT_EQ(out[k - 1].tag & 0x8000, 0) << "the new block is compressed";
}

TEST(OrnfixWriter, TheNewMaxBlockLengthIsTheSmallestTheConversionReads) {
    for (BlockMode mode : {BlockMode::Stored, BlockMode::Compressed}) {
        BuiltTrace t = buildTrace(variedRecords(400, 35), 8, 500, mode);
        t.bytes[t.blockBegin[7] + 12] ^= 1;
        const ornfix::MemoryRepair repair = repairInMemory(t.bytes);
        ASSERT_EQ(repair.code, ResultCode::Ok);
        TempDir dir;
        ASSERT_TRUE(readBack(dir, repair.output));
        Bytes tighter = repair.output;
        setTrailerField(tighter, 0, static_cast<uint16_t>(trailerField(tighter, 0) - 1));
        EXPECT_FALSE(readBack(dir, tighter));
    }
}

TEST(OrnfixWriter, MoreThan32767BlocksAreNumberedOnModulo32768) {
    // 40000 stored blocks of 8 bytes, the trailer damaged: every block is
    // copied and numbered 1 to 32767, then 0, 1, ...
    BuiltTrace t = buildTrace(variedRecords(2400, 36), 8, 8, BlockMode::Stored);
    ASSERT_GT(t.recipe.blocks.size(), 40000u);
    t.bytes.back() ^= 1;
    const ornfix::MemoryRepair repair = repairInMemory(t.bytes);
    ASSERT_EQ(repair.code, ResultCode::Ok);
    EXPECT_EQ(repair.counts.blocks, t.recipe.blocks.size());
    EXPECT_EQ(loadLe16(&repair.output[203 + 32767 * 14]) & 0x7FFF, 0);
    TempDir dir;
    const auto got = readBack(dir, repair.output);
    ASSERT_TRUE(got);
    EXPECT_TRUE(sameRecords(*got, t.records, 8));
}

}  // namespace
}  // namespace ornpcap::test::fix
