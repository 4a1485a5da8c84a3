// A .vn output past 4 GiB, end to end: 65535 compressed blocks of 64 PPP-Sync
// frames of 1500 bytes, 6.4 GB of packets on one LSN from a trace of a few
// MB. The file stops where its 32-bit index stops, complete, and the run says
// how many records it left out; under a file-size limit just above 4 GiB the
// file keeps every packet its header counts. Each run writes 4 GiB: these
// tests are labelled long and left out of `make test` (`make test-long`).

#include <gtest/gtest.h>

#include <cstdio>

#include "base/byte_order.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tool_run.hpp"
#include "trace/fcs16.hpp"

namespace ornpcap::test {
namespace {

constexpr uint32_t kBlocks = 65535;
constexpr uint32_t kFramesPerBlock = 64;
constexpr uint32_t kFrameSize = 1500;
constexpr uint64_t kPacketSize = 20 + kFrameSize;
constexpr uint64_t kFrames = uint64_t{kBlocks} * kFramesPerBlock;
// Packets whose start an offset of 32 bits can hold: 192 + k * 1520 <= 2^32 - 1.
constexpr uint64_t kFits = (0xFFFFFFFFull - 192) / kPacketSize + 1;

// Every block holds the same 64 records, so it is compressed once.
void writeBigTrace(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    Bytes frame(kFrameSize, 0x5A);
    frame[0] = 0xFF, frame[1] = 0x03, frame[2] = 0x00, frame[3] = 0x21;
    EventRecord r;
    r.port = 1, r.eventType = kEventFrameReceived, r.origLength = kFrameSize;
    Bytes block;
    for (uint32_t n = 0; n < kFramesPerBlock; ++n) {
        const Bytes one = tracebuild::encodeRecord(r, frame, 8);
        block.insert(block.end(), one.begin(), one.end());
    }
    const Bytes packed = tracebuild::compressNrv2b(block, 1);
    Fcs16 fcs;
    fcs.reset().update(packed.data(), static_cast<uint32_t>(packed.size()));
    const Bytes header = tracebuild::buildHeader({});
    std::fwrite(header.data(), 1, header.size(), out);
    for (uint32_t position = 1; position <= kBlocks; ++position) {
        uint8_t head[6];
        storeLe16(head, static_cast<uint16_t>(position % 32768));
        storeLe16(head + 2, static_cast<uint16_t>(packed.size()));
        storeLe16(head + 4, fcs.result());
        std::fwrite(head, 1, sizeof head, out);
        std::fwrite(packed.data(), 1, packed.size(), out);
    }
    const Bytes trailer = tracebuild::buildTrailer(
        {0xFFFF, 0xFFFF, static_cast<uint32_t>(kBlocks * (6 + packed.size())), false});
    std::fwrite(trailer.data(), 1, trailer.size(), out);
    ASSERT_EQ(std::fclose(out), 0);
}

// Reads what a reader needs: the header's count, the index at the end.
struct VnShape {
    uint64_t size = 0;
    uint32_t packetCount = 0;
    bool indexRight = false;  // entry i is 192 + i * 1520, for every i
};

VnShape shapeOf(const std::string& path) {
    VnShape shape;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return shape;
    }
    uint8_t head[192];
    std::fread(head, 1, sizeof head, in);
    shape.packetCount = loadLe32(head + 4);
    std::fseek(in, 0, SEEK_END);
    shape.size = static_cast<uint64_t>(std::ftell(in));
    Bytes index(4ull * shape.packetCount);
    std::fseek(in, static_cast<long>(shape.size - index.size()), SEEK_SET);
    shape.indexRight = std::fread(index.data(), 1, index.size(), in) == index.size();
    for (uint32_t i = 0; shape.indexRight && i < shape.packetCount; ++i) {
        shape.indexRight = loadLe32(&index[4 * i]) == 192 + i * kPacketSize;
    }
    std::fclose(in);
    return shape;
}

TEST(LongRuns, AVisualNetworksFileStopsWhereItsIndexStops) {
    TempDir dir;
    writeBigTrace(dir / "Trace.orn");
    const ToolRun run = runOrnPcap(dir, {"-f2", "-p1", "-lANY"});
    EXPECT_EQ(run.exitCode, 6) << run.out;
    EXPECT_EQ(run.err, "OrnPcap: Trace.vn: the Visual Networks format addresses its packets "
                       "within 4 GiB, and the file is full: " + std::to_string(kFits) +
                       " packets kept, " + std::to_string(kFrames - kFits) +
                       " records left out (exit 6)\n");
    const VnShape vn = shapeOf(dir / "Trace.vn");
    EXPECT_EQ(vn.packetCount, kFits);
    EXPECT_EQ(vn.size, 192 + kFits * (kPacketSize + 4));
    EXPECT_TRUE(vn.indexRight);
}

TEST(LongRuns, AFileSizeLimitAbove4GiBKeepsEveryPacketTheHeaderCounts) {
    TempDir dir;
    writeBigTrace(dir / "Trace.orn");
    RunOptions options;
    options.fileSizeLimit = (4l << 30) + (1l << 20);
    const ToolRun run = runOrnPcap(dir, {"-f2", "-p1", "-lANY"}, options);
    EXPECT_EQ(run.exitCode, 6) << run.out;
    const VnShape vn = shapeOf(dir / "Trace.vn");
    EXPECT_GT(vn.packetCount, kFits - 8000) << "no more lost than the index needs room for";
    EXPECT_EQ(vn.size, 192 + vn.packetCount * (kPacketSize + 4));
    EXPECT_LE(vn.size, static_cast<uint64_t>(options.fileSizeLimit));
    EXPECT_TRUE(vn.indexRight);
}

}  // namespace
}  // namespace ornpcap::test
