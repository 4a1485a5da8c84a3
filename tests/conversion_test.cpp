// The trace as a record source, driven over traces built in memory with a
// sink that keeps everything it is handed.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <tuple>

#include "tests/support/temp_dir.hpp"
#include "ornpcap/plan.hpp"
#include "trace/block_expander.hpp"
#include "trace/fcs16.hpp"
#include "trace/record_source.hpp"

using namespace ornpcap::converter;

namespace ornpcap::test {
namespace {

using tracebuild::BlockMode;
using tracebuild::BlockSpec;
using tracebuild::TraceSpec;
using enum ResultCode;

constexpr uint16_t kSnapLength = 1234;  // in every trace header here

struct Delivered {
    EventRecord record;
    uint16_t snapLength = 0;
    std::optional<Bytes> payload;  // empty when the sink got no payload pointer
};

struct Outcome {
    ResultCode code = Ok;
    std::vector<Delivered> records;
    std::vector<size_t> recordsAfterBlock;  // records delivered once each block was done
    int started = 0;
    int finishes = 0;
};

// Keeps everything it is handed, and refuses record failAt (counted from 1)
// with failWith.
struct CollectingSink final : RecordSink, BlockObserver {
    Outcome& out;
    size_t failAt = 0;
    ResultCode failWith = Ok;
    uint16_t snapLength = 0;

    explicit CollectingSink(Outcome& o) : out(o) {}
    ResultCode start(const OpenedTrace& trace) override {
        ++out.started;
        snapLength = trace.header.snapLength();
        return Ok;
    }
    ResultCode record(const EventRecord& record, const uint8_t* payload) override {
        out.records.push_back({record, snapLength, std::nullopt});
        if (payload != nullptr) {
            out.records.back().payload = Bytes(payload, payload + record.dataLength);
        }
        return out.records.size() == failAt ? failWith : Ok;
    }
    ResultCode finish(ResultCode result) override {
        ++out.finishes;
        return result;
    }
    void blockDone(const BlockProgress&) override {
        out.recordsAfterBlock.push_back(out.records.size());
    }
};

// Reads a trace from a folder of its own into a collecting sink.
struct Harness {
    TempDir dir;
    size_t failAt = 0;
    ResultCode failWith = Ok;

    Outcome run(const TraceSpec& layout, bool readOnly = false) {
        dir.write("Trace.orn", tracebuild::buildTrace(layout));
        EXPECT_EQ(::chmod((dir / "Trace.orn").c_str(), readOnly ? 0444 : 0644), 0);
        Outcome out;
        CollectingSink sink(out);
        sink.failAt = failAt;
        sink.failWith = failWith;
        const TraceRequest request{dir / "Trace.orn", layout.header.versionMajor, 0, &sink};
        out.code = readTrace(request, sink);
        return out;
    }
};

struct Sample {
    EventRecord record;
    Bytes payload;
};

// Record n with every field distinct; lsn and auxWord2 stay below 256 so that
// version 5 can carry them. A compressible payload is all zeros.
Sample sample(uint16_t n, uint16_t length, bool compressible = false) {
    const auto u16 = [](int v) { return static_cast<uint16_t>(v); };
    Sample s{{u16(0x100 + n), 0x10000000u + 1000u * n, n, u16(0x40 + n), u16(0xA000 + n),
              u16(0x20 + n), static_cast<uint8_t>(20 + n % 2), static_cast<uint8_t>(n), 0,
              u16(length + 4), 0xC0DE0000u + n, length},
             Bytes(length, 0)};
    for (size_t i = 0; i < length && !compressible; ++i) {
        s.payload[i] = static_cast<uint8_t>(n * 31 + i * 7);
    }
    return s;
}

Bytes streamOf(const std::vector<Sample>& samples, uint16_t version = 8) {
    Bytes out;
    for (const Sample& s : samples) {
        const Bytes one = tracebuild::encodeRecord(s.record, s.payload, version);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

TraceSpec traceOf(std::vector<BlockSpec> blocks, uint16_t version = 8) {
    TraceSpec layout;
    layout.header.versionMajor = version;
    layout.header.snapLength = kSnapLength;
    layout.blocks = std::move(blocks);
    return layout;
}

BlockSpec storedBlock(Bytes data) {
    BlockSpec b;
    b.data = std::move(data);
    b.stored = true;
    return b;
}

void expectDelivered(const Outcome& out, const std::vector<Sample>& expected) {
    const auto fields = [](const EventRecord& r) {
        return std::make_tuple(r.recordWord, r.timeMs, r.port, r.lsn, r.auxWord1, r.auxWord2,
                               int{r.eventType}, int{r.auxByte}, int{r.eventStatus},
                               r.origLength, r.auxLong, r.dataLength);
    };
    ASSERT_EQ(out.records.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Delivered& got = out.records[i];
        EXPECT_EQ(fields(got.record), fields(expected[i].record)) << "record " << i;
        EXPECT_EQ(got.snapLength, kSnapLength);
        const Bytes& payload = expected[i].payload;
        EXPECT_EQ(got.payload, payload.empty() ? std::nullopt : std::optional<Bytes>(payload))
            << "record " << i;
    }
}

TEST(OrnPcapConversionRun, RecordsAcrossBlocksArriveOnceWholeAndWithTheBlockThatEndsThem) {
    // An empty record between two others; the long one spans three blocks of
    // 60 bytes and two of 100; blocks of 20 cut every header.
    const std::vector<Sample> samples = {sample(1, 10), sample(2, 0), sample(3, 100), sample(4, 3)};
    for (uint16_t version : {5, 6, 7, 8}) {
        const Bytes stream = streamOf(samples, version);
        std::vector<size_t> ends;  // of each record in the stream
        for (const Sample& s : samples) {
            ends.push_back((ends.empty() ? 0 : ends.back()) + recordFormOf(version).headerSize +
                           s.payload.size());
        }
        for (BlockMode mode : {BlockMode::Compressed, BlockMode::Stored, BlockMode::Alternate}) {
            for (size_t chunk : {20, 60, 100, 1000}) {
                SCOPED_TRACE(testing::Message() << "version " << version << ", mode "
                                                << static_cast<int>(mode) << ", chunk " << chunk);
                const TraceSpec layout =
                    traceOf(tracebuild::splitIntoBlocks(stream, chunk, mode), version);
                Harness h;
                const Outcome out = h.run(layout);
                EXPECT_EQ(out.code, Ok);
                expectDelivered(out, samples);
                ASSERT_EQ(out.recordsAfterBlock.size(), layout.blocks.size());
                for (size_t b = 0; b < layout.blocks.size(); ++b) {
                    const size_t done = std::min(stream.size(), (b + 1) * chunk);
                    EXPECT_EQ(out.recordsAfterBlock[b],
                              std::count_if(ends.begin(), ends.end(),
                                            [&](size_t end) { return end <= done; }))
                        << "after block " << b + 1;
                }
                EXPECT_EQ(std::tie(out.started, out.finishes), std::make_tuple(1, 1));
            }
        }
    }
}

TEST(OrnPcapConversionRun, VersionFiveHeadersAreWidened) {
    // Written out by hand: lsn and auxWord2 are single bytes, which reach the
    // writer zero-extended; the record after this one must still be found.
    Bytes stream = {0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0x02, 0x01, 0xFF, 0xEF, 0xBE, 0x80,
                    0x15, 0x5A, 0x07, 0x56, 0x04, 0x0D, 0xF0, 0xFE, 0xCA, 0x03, 0x00};
    const Sample first{
        {0x1234, 0x89ABCDEF, 0x0102, 0x00FF, 0xBEEF, 0x0080, 21, 0x5A, 7, 0x0456, 0xCAFEF00D, 3},
        {0xAA, 0xBB, 0xCC}};
    const Sample next = sample(9, 4);
    for (const Bytes& part : {first.payload, streamOf({next}, 5)}) {
        stream.insert(stream.end(), part.begin(), part.end());
    }
    Harness h;
    const Outcome out = h.run(traceOf({storedBlock(stream)}, 5));
    EXPECT_EQ(out.code, Ok);
    expectDelivered(out, {first, next});
}

TEST(OrnPcapConversionRun, NothingToReadGivesOne) {
    // streamLength 0: no block is read, but the sink starts, so the pcap
    // converter clears old outputs first. blockCount 0: the run ends before
    // that, and they stay.
    for (bool noBlocks : {false, true}) {
        SCOPED_TRACE(noBlocks ? "blockCount 0" : "streamLength 0");
        TraceSpec layout = traceOf({storedBlock(streamOf({sample(1, 5)}))});
        noBlocks ? void(layout.blockCount = 0) : void(layout.streamLength = 0);
        Harness h;
        const Outcome out = h.run(layout);
        EXPECT_EQ(out.code, noBlocks ? NoEvents : Ok);
        EXPECT_TRUE(out.records.empty());
        EXPECT_TRUE(out.recordsAfterBlock.empty()) << "no block read";
        EXPECT_EQ(out.started, noBlocks ? 0 : 1);

        for (const char* name : {"out_00FF.pcap", "out_In.pcap", "outer.pcap"}) {
            h.dir.write(name, {1});
        }
        ConversionSettings settings;
        settings.inputName = h.dir / "Trace.orn";
        settings.outputName = h.dir / "out.pcap";
        settings.versionMajor = 8;
        ConversionStats stats{7, 7, 7, 7, 7, 7};  // the converter has to start from zero
        EXPECT_EQ(runPlan(makePlan(settings), stats).code, NoEvents);
        EXPECT_EQ(std::tie(stats.traceRecords, stats.outputRecords, stats.discardedRecords,
                           stats.inRecords, stats.outRecords, stats.generatedFiles),
                  std::make_tuple(0, 0, 0, 0, 0, 0));
        const std::vector<std::string> left =
            noBlocks ? std::vector<std::string>{"Trace.orn", "out_00FF.pcap", "out_In.pcap",
                                                "outer.pcap"}
                     : std::vector<std::string>{"Trace.orn", "outer.pcap"};
        EXPECT_EQ(h.dir.list(), left);
    }
}

TEST(OrnPcapConversionRun, ReadOnlyTraceIsConvertedAndLeftAsItWas) {
    const std::vector<Sample> samples = {sample(1, 10), sample(2, 60)};
    const TraceSpec layout =
        traceOf(tracebuild::splitIntoBlocks(streamOf(samples), 50, BlockMode::Alternate));
    Harness h;
    const Outcome out = h.run(layout, true);
    EXPECT_EQ(out.code, Ok);
    expectDelivered(out, samples);
    EXPECT_EQ(h.dir.read("Trace.orn"), tracebuild::buildTrace(layout));
}

// One record stream, cut into blocks by offsets: A [0, 30), B [30, 230) (its
// payload compresses well), C [230, 265).
const std::vector<Sample> kStream = {sample(1, 5), sample(2, 175, true), sample(3, 10)};

struct Cut {
    size_t from, to;
    bool stored;
};

struct BlockCase {
    const char* name;
    std::vector<Cut> cuts;
    void (*damage)(TraceSpec&);
    ResultCode code;
    size_t delivered;             // records of kStream handed to the writer
    uint16_t maxBlockLength = 0;  // 0: what the blocks need
    size_t failAt = 0;            // the record the writer refuses with code
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.name; }

// Block 1 is stored and holds A whole, so the writer has its sink open when
// block 2 goes wrong.
const std::vector<Cut> kTwo = {{0, 30, true}, {30, 230, false}};
const std::vector<Cut> kTwoStored = {{0, 30, true}, {30, 230, true}};

template <uint16_t Block, uint16_t Number>
void numbered(TraceSpec& s) { s.blocks[Block].number = Number; }

const BlockCase kBlockCases[] = {
    {.name = "FirstBlockCompressedNumberedOne", .cuts = {{0, 30, false}}, .damage = nullptr,
     .code = Ok, .delivered = 1},
    {.name = "FirstBlockStoredNumberedOne", .cuts = {{0, 30, true}}, .damage = nullptr, .code = Ok,
     .delivered = 1},
    {.name = "FirstBlockCompressedNumberedZero", .cuts = {{0, 30, false}}, .damage = numbered<0, 0>,
     .code = BadFormat, .delivered = 0},
    {.name = "FirstBlockStoredNumberedZero", .cuts = {{0, 30, true}}, .damage = numbered<0, 0>,
     .code = BadFormat, .delivered = 0},
    {.name = "FirstBlockCompressedNumberedTwo", .cuts = {{0, 30, false}}, .damage = numbered<0, 2>,
     .code = BadFormat, .delivered = 0},
    {.name = "FirstBlockStoredNumberedTwo", .cuts = {{0, 30, true}}, .damage = numbered<0, 2>,
     .code = BadFormat, .delivered = 0},
    {.name = "SecondBlockNumberedOne", .cuts = kTwo, .damage = numbered<1, 1>, .code = BadFormat,
     .delivered = 1},
    {.name = "SecondBlockNumberedThree", .cuts = kTwo, .damage = numbered<1, 3>, .code = BadFormat,
     .delivered = 1},
    {.name = "IncompleteHeaderAtTheEndIsDropped", .cuts = {{0, 40, true}}, .damage = nullptr,
     .code = Ok, .delivered = 1},
    {.name = "IncompletePayloadAtTheEndIsDropped", .cuts = {{0, 30, false}, {30, 100, true}},
     .damage = nullptr, .code = Ok, .delivered = 1},
    // Zero bytes after the blocks would be out of sequence.
    {.name = "StreamLengthBeyondTheBlocks", .cuts = kTwo, .damage = [](TraceSpec& s) {
         const size_t around = tracebuild::headerSizeFor(8) + 16;  // header and trailer
         s.streamLength = static_cast<uint32_t>(tracebuild::buildTrace(s).size() - around + 64);
         s.unusedBeforeTrailer = 64;
     }, .code = Ok, .delivered = 2},
    // maxBlockLength 40: 80 bytes of work buffer, 50 of them taken by B when
    // block 3 comes. maxBlockLength 100: 200 bytes, 20 taken by B.
    {.name = "StoredBlockJustFits", .cuts = {{0, 40, true}, {40, 80, true}, {80, 110, true}},
     .damage = nullptr, .code = Ok, .delivered = 1, .maxBlockLength = 40},
    {.name = "StoredBlockOneByteTooLong", .cuts = {{0, 40, true}, {40, 80, true}, {80, 111, true}},
     .damage = nullptr, .code = BadFormat, .delivered = 1, .maxBlockLength = 40},
    {.name = "CompressedBlockJustFits", .cuts = {{0, 50, true}, {50, 230, false}},
     .damage = nullptr, .code = Ok, .delivered = 2, .maxBlockLength = 100},
    {.name = "CompressedBlockOneByteTooLong", .cuts = {{0, 50, true}, {50, 231, false}},
     .damage = nullptr, .code = BadFormat, .delivered = 1, .maxBlockLength = 100},
    {.name = "BytesAfterTheEndMarker", .cuts = kTwo,
     .damage = [](TraceSpec& s) { s.blocks[1].appendToCompressed = {0}; }, .code = BadFormat,
     .delivered = 1},
    {.name = "CompressedDataCutShort", .cuts = kTwo, .damage = [](TraceSpec& s) {
         s.blocks[1].cutCompressedTo = tracebuild::compressNrv2b(s.blocks[1].data).size() - 1;
     }, .code = BadFormat, .delivered = 1},
    {.name = "WrongBlockFcs", .cuts = kTwoStored, .damage = [](TraceSpec& s) {
         const uint16_t fcs = Fcs16().reset().update(s.blocks[1].data.data(), 200).result();
         s.blocks[1].fcs = static_cast<uint16_t>(fcs ^ 1);
     }, .code = BadFormat, .delivered = 1},
    {.name = "LongerThanMaxBlockLength", .cuts = kTwoStored, .damage = nullptr, .code = BadFormat,
     .delivered = 1, .maxBlockLength = 199},
    // The block runs past the end of the file, trailer included.
    {.name = "BlockDataMissing", .cuts = kTwoStored,
     .damage = [](TraceSpec& s) { s.blocks[1].lengthField = 200 + 17; }, .code = CannotReadSource,
     .delivered = 1, .maxBlockLength = 0x200},
    {.name = "EmptyBlock", .cuts = {{0, 30, true}, {30, 30, true}}, .damage = nullptr,
     .code = CannotReadSource, .delivered = 1},
    {.name = "WriterRefusesSecondRecord", .cuts = kTwo, .damage = nullptr,
     .code = CannotCreateTarget, .delivered = 2, .maxBlockLength = 0, .failAt = 2},
};

class OrnPcapConversionBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(OrnPcapConversionBlocks, EndWithTheirCodeAndTheSinkFinishedOnce) {
    const BlockCase& c = GetParam();
    const Bytes stream = streamOf(kStream);
    TraceSpec layout = traceOf({});
    for (const Cut& cut : c.cuts) {
        layout.blocks.push_back(storedBlock(Bytes(stream.begin() + static_cast<long>(cut.from),
                                                stream.begin() + static_cast<long>(cut.to))));
        layout.blocks.back().stored = cut.stored;
    }
    if (c.maxBlockLength != 0) {
        layout.maxBlockLength = c.maxBlockLength;
    }
    if (c.damage != nullptr) {
        c.damage(layout);
    }
    Harness h;
    h.failAt = c.failAt;
    h.failWith = c.code;
    const Outcome out = h.run(layout);
    EXPECT_EQ(out.code, c.code);
    expectDelivered(out, {kStream.begin(), kStream.begin() + static_cast<long>(c.delivered)});
    EXPECT_EQ(std::tie(out.started, out.finishes), std::make_tuple(1, 1));
}

INSTANTIATE_TEST_SUITE_P(Conversion, OrnPcapConversionBlocks, testing::ValuesIn(kBlockCases),
                         [](const testing::TestParamInfo<BlockCase>& info) {
                             return std::string(info.param.name);
                         });

// The expander initialises once per process, so what it does before that is
// looked at in a process of its own (started afresh, not forked from this one).
TEST(TraceExpanderDeathTest, ExpandBeforeInitialisationTouchesNothing) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto untouched = [] {
        const Bytes packed = tracebuild::compressNrv2b(Bytes(16, 0x55));
        Bytes out(32, 0xEE);
        uint32_t length = 32;
        const BlockExpander::Status status = BlockExpander::expand(
            packed.data(), static_cast<uint32_t>(packed.size()), out.data(), length);
        return status == BlockExpander::NotInitialised && length == 32 && out == Bytes(32, 0xEE);
    };
    EXPECT_EXIT(std::exit(untouched() ? 0 : 1), testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace
}  // namespace ornpcap::test
