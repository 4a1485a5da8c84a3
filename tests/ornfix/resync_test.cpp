// Finding the first whole record after a dropped block, where the bytes try
// hardest to mislead: payloads full of record-like headers, zero padding, a
// record of a kind the trace has not shown before. Whatever is lost, no
// record appears that was not in the original.

#include <gtest/gtest.h>

#include "ornfix/fix_run.hpp"
#include "tests/ornfix/fix_support.hpp"

namespace ornpcap::test::fix {
namespace {

using ornfix::repairInMemory;

// A payload of `fakes` plausible record headers and payloads chained one
// after the other, then `tail` bytes of 0xA5.
Bytes recordLikePayload(int fakes, size_t tail, uint32_t time, uint16_t version) {
    Bytes payload;
    for (int i = 0; i < fakes; ++i) {
        EventRecord fake;
        fake.timeMs = time + static_cast<uint32_t>(i);
        fake.port = 30;
        fake.eventType = kEventFrameSent;
        fake.origLength = 12;
        const Bytes inner = tracebuild::encodeRecord(fake, Bytes(12, 0x33), version);
        payload.insert(payload.end(), inner.begin(), inner.end());
    }
    payload.insert(payload.end(), tail, 0xA5);
    return payload;
}

// Repairs the trace with block k's data damaged; checks that nothing foreign
// appears and returns how many records came back.
size_t repairDamaged(const BuiltTrace& original, size_t k) {
    BuiltTrace t = original;
    t.bytes[t.blockBegin[k] + 8] ^= 0xFF;
    const ornfix::MemoryRepair repair = repairInMemory(t.bytes);
    EXPECT_EQ(repair.code, ResultCode::Ok);
    TempDir dir;
    std::string why;
    const auto got = readBack(dir, repair.output, &why);
    EXPECT_TRUE(got) << why;
    if (!got) {
        return 0;
    }
    EXPECT_TRUE(placesIn(*got, original.records, t.version, &why)) << why;
    return got->size();
}

TEST(Resynchronisation, PayloadsOfRecordLikeHeadersAreNotTakenForRecords) {
    for (uint16_t version : {5, 8}) {
        std::vector<Record> records = variedRecords(600, 21);
        for (size_t i = 0; i < records.size(); i += 2) {
            records[i].payload =
                recordLikePayload(6, 40 + i % 7, records[i].header.timeMs, version);
            records[i].header.origLength = static_cast<uint16_t>(records[i].payload.size());
        }
        const BuiltTrace t = buildTrace(records, version, 700, BlockMode::Stored);
        for (size_t k = 3; k + 3 < t.recipe.blocks.size(); k += 5) {
            SCOPED_TRACE("version " + std::to_string(version) + ", block " + std::to_string(k + 1));
            EXPECT_GT(repairDamaged(t, k), records.size() * 9 / 10);
        }
    }
}

TEST(Resynchronisation, ZeroPaddingIsNotTakenForRecords) {
    std::vector<Record> records = variedRecords(500, 22);
    for (size_t i = 0; i < records.size(); i += 3) {
        records[i].payload.assign(200 + i % 50, 0);
        records[i].header.origLength = static_cast<uint16_t>(records[i].payload.size());
    }
    const BuiltTrace t = buildTrace(records, 8, 900, BlockMode::Alternate);
    for (size_t k = 2; k + 2 < t.recipe.blocks.size(); k += 7) {
        SCOPED_TRACE(k + 1);
        EXPECT_GT(repairDamaged(t, k), records.size() * 9 / 10);
    }
}

TEST(Resynchronisation, ARecordOfAnUnknownKindAfterTheDamageIsLostButNothingIsMadeUp) {
    std::vector<Record> records = variedRecords(400, 23);
    BuiltTrace probe = buildTrace(records, 8, 800, BlockMode::Compressed);
    const size_t k = probe.recipe.blocks.size() / 2;
    // The first record starting in the block after the damaged one: an event
    // and a status the trace has nowhere else.
    size_t odd = 0;
    while (probe.recordStart[odd] < probe.blockStreamEnd[k]) {
        ++odd;
    }
    records[odd].header.eventType = 99;
    records[odd].header.eventStatus = 42;
    const BuiltTrace t = buildTrace(records, 8, 800, BlockMode::Compressed);
    const size_t kept = repairDamaged(t, k);
    EXPECT_LT(kept, records.size() - 1);
    EXPECT_GT(kept, records.size() * 8 / 10);
}

}  // namespace
}  // namespace ornpcap::test::fix
