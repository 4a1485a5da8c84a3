#include "tests/support/damage_catalogue.hpp"

#include <functional>

#include "tracebuild/traffic.hpp"

namespace ornpcap::test {

namespace {

using tracebuild::BlockMode;
using tracebuild::TraceSpec;

const std::string kBadFormat = " \nINVALID Source file format or BAD Source file version.\n";
const std::string kCannotRead = " \nUnable to READ Source file.\n";

constexpr size_t kRecords = 40;
constexpr size_t kChunk = 400;
constexpr uint64_t kRecordSize = 85;  // 25-byte header, 60-byte frame

TraceSpec goodTrace(size_t records = kRecords, size_t chunk = kChunk) {
    std::vector<tracebuild::Record> list;
    for (size_t n = 0; n < records; ++n) {
        EventRecord r;
        r.timeMs = static_cast<uint32_t>(n * 10);
        r.port = 3;
        r.eventType = n % 2 ? kEventFrameReceived : kEventFrameSent;
        r.origLength = 60;
        list.push_back({r, Bytes(60, static_cast<uint8_t>(n))});
        list.back().payload[0] = 0x45;
    }
    TraceSpec layout;
    layout.blocks = tracebuild::splitIntoBlocks(tracebuild::recordStream(list, 8), chunk,
                                                BlockMode::Alternate);
    return layout;
}

Bytes build(const std::function<void(TraceSpec&)>& damage) { return damagedBase(damage); }

uint64_t recordsBefore(uint16_t block) { return recordsBeforeBaseBlock(block); }

Bytes recordLargerThanTheBuffers() {
    TraceSpec layout = goodTrace(3, 100);
    layout.maxBlockLength = 100;  // a 85-byte record fits, but not 3 blocks of carry-over
    EventRecord big;
    big.port = 3;
    big.eventType = kEventFrameSent;
    const Bytes bytes = tracebuild::encodeRecord(big, Bytes(1000, 0x45), 8);
    for (const auto& block : tracebuild::splitIntoBlocks(bytes, 100, BlockMode::Stored)) {
        layout.blocks.push_back(block);
    }
    return tracebuild::buildTrace(layout);
}

std::vector<DamageCase> makeCatalogue() {
    const Bytes good = goodDamageBase();
    const size_t streamEnd = good.size() - 16;
    Bytes truncated = good;
    truncated.resize(truncated.size() - 10);
    // The last block's data ends 30 bytes early; the trailer agrees.
    TraceSpec cut = goodTrace();
    cut.streamLength = static_cast<uint32_t>(good.size() - 203 - 16 - 30);
    Bytes lastBlockCut = tracebuild::buildTrace(cut);
    lastBlockCut.erase(lastBlockCut.end() - 16 - 30, lastBlockCut.end() - 16);

    std::vector<DamageCase> cases;
    auto add = [&](DamageCase c) { cases.push_back(std::move(c)); };
    DamageCase c;

    c = {"TooShort", "195 blanks", Bytes(195, 0x20), 7, "", false,
         "195 bytes: too short for a trace (at least 196)", 0, 0, false, false};
    c.ornfixExit = 15;
    c.orninfoReports = false;
    add(c);
    c = {"CutInsideItsHeader", "cut inside its header", Bytes(good.begin(), good.begin() + 150), 7,
         "", false, "150 bytes: too short for a trace (at least 196)", 0, 0, false, false};
    c.ornfixExit = 15;
    add(c);
    c = {"BadHeaderFcs", "bad header FCS", build([](TraceSpec& s) { s.header.badFcs = true; }), 4,
         "", false, "header damaged: FCS-16 wrong", 0, 0, false};
    c.ornfixRecords = kRecords;
    add(c);
    c = {"WrongVersionText", "wrong version text",
         build([](TraceSpec& s) { s.header.versionText = "00009.000"; }), 4, "", false,
         "format version 9.0 is not one of 5.0 to 8.0"};
    // A header whose checksum holds speaks for a version of its own: ornfix
    // does not rewrite a trace it cannot read into one it can.
    c.ornfixExit = 15;
    add(c);
    c = {"SubVersionNot01", "subVersion not 01",
         build([](TraceSpec& s) { s.header.subVersion = 2; }), 7, "", false,
         "sub-version 2 is not the known 01"};
    c.ornfixExit = 15;
    add(c);
    c = {"BadTrailerFcs", "bad trailer FCS", build([](TraceSpec& s) { s.badTrailerFcs = true; }),
         11, "", false, "trailer checksum wrong: the file may be cut short", 0, kRecords, true, false};
    c.ornfixRecords = kRecords;
    add(c);
    c = {"StreamLengthTooLarge", "streamLength too large",
         build([](TraceSpec& s) { s.streamLength = 1u << 20; }), 11, "", false,
         "streamLength 1048576 larger than the " + std::to_string(streamEnd - 203) +
             " bytes between header and trailer",
         0, kRecords};
    c.ornfixRecords = kRecords;
    add(c);
    // A trailer refused: the blocks before it are read all the same, in one
    // pass; the cut one loses the last 3 records.
    c = {"TrailerLost", "file truncated (trailer lost)", truncated, 11, "", false,
         "trailer checksum wrong: the file may be cut short", 0, kRecords - 3, true, false};
    c.ornfixRecords = kRecords;
    add(c);
    c = {"BlockOutOfSequence", "block out of sequence",
         build([](TraceSpec& s) { s.blocks[2].number = 4; }), 11, kBadFormat, true,
         "numbered 4 where 3 was due: out of sequence", 3, recordsBefore(3)};
    c.ornfixRecords = recordsBefore(3);
    add(c);
    c = {"BlockFcs", "block FCS", build([](TraceSpec& s) { s.blocks[3].fcs = 0x1234; }), 11,
         kBadFormat, true, "FCS-16 wrong", 4, recordsBefore(4)};
    c.ornfixRecords = recordsBefore(4);
    add(c);
    c = {"OversizeBlock", "oversize block", build([](TraceSpec& s) { s.maxBlockLength = 300; }),
         11, kBadFormat, true, "400 bytes long, more than maxBlockLength 300", 2,
         recordsBefore(2)};
    c.ornfixRecords = recordsBefore(2);
    add(c);
    c = {"CorruptCompressedData", "corrupt compressed data",
         build([](TraceSpec& s) { s.blocks[2].cutCompressedTo = 40; }), 11, kBadFormat, true,
         "compressed data damaged: it does not expand", 3, recordsBefore(3)};
    c.ornfixRecords = recordsBefore(3);
    add(c);
    c = {"BlockDataMissing", "block data missing", lastBlockCut, 4, kCannotRead, true,
         "bytes of data are cut short", 9, recordsBefore(9)};
    c.ornfixRecords = recordsBefore(9);
    add(c);
    c = {"RecordLargerThanTheBuffers", "record larger than the buffers",
         recordLargerThanTheBuffers(), 11, kBadFormat, true,
         "does not fit the 0 bytes left in the work buffer", 6, 3, true, true, false};
    c.ornfixRecords = 3;
    add(c);
    // The stream ends 10 bytes into the last block: 37 records and 65 bytes.
    c = {"IncompleteLastRecord", "incomplete last record",
         build([](TraceSpec& s) { s.blocks.back().data.resize(10); }), 0, "", true,
         "the record stream ends in an incomplete record of 65 bytes, dropped", 0, 37};
    c.ornfixRecords = 37;
    add(c);
    c = {"BlocksBehindTheTrailersCount", "blocks behind the trailer's count",
         build([](TraceSpec& s) { s.blockCount = 5; }), 0, "", true,
         "the block stream ends after block 5 by its trailer (blockCount 5, streamLength ", 0,
         recordsBefore(6)};
    c.ornfixRecords = recordsBefore(6);
    add(c);
    return cases;
}

}  // namespace

Bytes goodDamageBase() { return tracebuild::buildTrace(goodTrace()); }

Bytes damagedBase(const std::function<void(TraceSpec&)>& damage) {
    TraceSpec layout = goodTrace();
    damage(layout);
    return tracebuild::buildTrace(layout);
}

uint64_t recordsBeforeBaseBlock(uint16_t n) { return (n - 1) * kChunk / kRecordSize; }

uint64_t offsetOfBaseBlock(uint16_t n) {
    const TraceSpec layout = goodTrace();
    uint64_t offset = 203;
    for (uint16_t i = 1; i < n; ++i) {
        offset += tracebuild::encodeBlock(layout.blocks[i - 1], i).size();
    }
    return offset;
}

const std::vector<DamageCase>& damageCatalogue() {
    static const std::vector<DamageCase> cases = makeCatalogue();
    return cases;
}

std::string damageCaseName(size_t index) { return damageCatalogue().at(index).id; }

}  // namespace ornpcap::test
