// Finding the first whole record after a dropped block, where the bytes try
// hardest to mislead: payloads full of record-like headers, zero padding, a
// false header whose length runs past the data; and where the records are
// out of the ordinary: of a kind never seen, over the snapLength, stepping
// back in time, or too few to make a chain before the stream ends. Whatever
// is lost, no record appears that was not in the original.

#include <gtest/gtest.h>

#include <functional>

#include "ornfix/run.hpp"
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

TEST(OrnfixResynchronisation, PayloadsOfRecordLikeHeadersAreNotTakenForRecords) {
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

TEST(OrnfixResynchronisation, ZeroPaddingIsNotTakenForRecords) {
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

TEST(OrnfixResynchronisation, ARecordOfAKindNeverSeenRightAfterTheDamageIsKept) {
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
    Bytes damaged = t.bytes;
    damaged[t.blockBegin[k] + 8] ^= 0xFF;
    EXPECT_EQ(checkRepair(t, damaged, {k}), "");
}

// The index of the n-th record that starts in block k (from 0).
size_t recordStartingIn(const BuiltTrace& t, size_t k, size_t n) {
    size_t i = 0;
    while (t.recordStart[i] < t.blockStreamEnd[k - 1]) {
        ++i;
    }
    return i + n;
}

// Records of ordinary frames, status 0, payloads within the snapLength and
// times in order, in blocks of 30000 bytes: the trace teaches a narrow profile.
std::vector<Record> plainRecords(size_t count, uint32_t seed) {
    std::vector<Record> records = variedRecords(count, seed);
    for (Record& r : records) {
        r.header.eventStatus = 0;
    }
    return records;
}

TEST(OrnfixResynchronisation, AnUnusualRecordAfterTheDamageCostsNoRecordBeforeIt) {
    using Edit = std::function<void(Record&)>;
    const std::pair<const char*, Edit> unusual[] = {
        {"a status 1", [](Record& r) { r.header.eventStatus = 1; }},
        {"a frame over the snapLength",
         [](Record& r) {
             r.payload.assign(2500, 0x3C);
             r.header.origLength = 2500;
         }},
        {"a time stepping back", [](Record& r) { r.header.timeMs -= 900; }},
    };
    for (uint16_t version : {5, 8}) {
        const BuiltTrace plain = buildTrace(plainRecords(900, 24), version, 30000,
                                            BlockMode::Stored);
        ASSERT_GE(plain.recipe.blocks.size(), 4u);
        for (const auto& [name, edit] : unusual) {
            SCOPED_TRACE(std::string(name) + ", version " + std::to_string(version));
            std::vector<Record> records = plain.records;
            edit(records[recordStartingIn(plain, 2, 60)]);
            BuiltTrace t = buildTrace(records, version, 30000, BlockMode::Stored);
            Bytes damaged = t.bytes;
            damaged[t.blockBegin[1] + 40] ^= 0xFF;
            EXPECT_EQ(checkRepair(t, damaged, {1}), "");
        }
    }
}

TEST(OrnfixResynchronisation, AFalseHeaderWhoseLengthRunsPastTheDataIsSetAside) {
    // A payload of 3000 bytes holds, in the block after the damaged one, a
    // header like the trace's own with a dataLength of 36879; 57 records
    // follow it, far fewer bytes than that.
    std::vector<Record> records = plainRecords(200, 25);
    Record big = records.back();
    big.payload = noise(3000, 26);
    big.header.origLength = big.header.dataLength = 3000;
    records.push_back(big);
    const std::vector<Record> after = plainRecords(57, 27);
    for (Record r : after) {
        r.header.timeMs += records.back().header.timeMs;
        records.push_back(r);
    }
    const size_t bigIndex = 200;
    BuiltTrace probe = buildTrace(records, 8, 1000, BlockMode::Stored);
    size_t k = 0;  // the block that holds the big record's byte 1200
    while (probe.blockStreamEnd[k] <= probe.recordStart[bigIndex] + 1200) {
        ++k;
    }
    EventRecord fake = records[bigIndex].header;
    fake.origLength = 36879;
    fake.dataLength = 36879;
    const Bytes header = tracebuild::encodeRecord(fake, Bytes(36879), 8);
    const size_t at = probe.blockStreamEnd[k] + 100 - probe.recordStart[bigIndex] - 25;
    std::copy(header.begin(), header.begin() + 25, records[bigIndex].payload.begin() +
                                                      static_cast<std::ptrdiff_t>(at));
    BuiltTrace t = buildTrace(records, 8, 1000, BlockMode::Stored);
    t.recipe.header.snapLength = 0xFFFF;  // no length is out of the ordinary
    rebuild(t);
    Bytes damaged = t.bytes;
    damaged[t.blockBegin[k] + 30] ^= 0xFF;
    EXPECT_EQ(checkRepair(t, damaged, {k}), "");
}

TEST(OrnfixResynchronisation, TheLastRecordsAfterALateBreakAreKeptWhenTheyEndWithTheStream) {
    // The last block holds the end of a record cut by the damage to the
    // block before it, then three whole records, fewer than a chain.
    for (uint16_t version : {5, 8}) {
        SCOPED_TRACE(version);
        std::vector<Record> records = plainRecords(300, 28);
        const uint32_t headerSize = recordFormOf(version).headerSize;
        uint64_t before = 0;
        for (size_t i = 0; i + 4 < records.size(); ++i) {
            before += headerSize + records[i].payload.size();
        }
        const uint64_t end = (before / 1000 + 2) * 1000 + 60;
        Record& cut = records[records.size() - 4];
        cut.payload.resize(end - before - headerSize);
        cut.header.origLength = static_cast<uint16_t>(cut.payload.size());
        for (size_t i = records.size() - 3; i < records.size(); ++i) {
            records[i].payload.resize(100);
            records[i].header.origLength = 100;
        }
        const BuiltTrace t = buildTrace(records, version, 1000, BlockMode::Alternate);
        const size_t k = t.recipe.blocks.size() - 2;
        Bytes damaged = t.bytes;
        damaged[t.blockBegin[k] + 40] ^= 0xFF;
        EXPECT_EQ(checkRepair(t, damaged, {k}), "");
    }
}

}  // namespace
}  // namespace ornpcap::test::fix
