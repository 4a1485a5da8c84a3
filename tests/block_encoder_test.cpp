// The encoding direction read back by the decoder: blocks stored and
// compressed (one whose data does not compress), the trailer, a sealed header.

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "base/file_io.hpp"
#include "trace/block_encoder.hpp"
#include "trace/block_stream.hpp"
#include "trace/fcs16.hpp"
#include "trace/trace_header.hpp"

namespace ornpcap::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes textLike(size_t n) {
    Bytes data(n);
    for (size_t i = 0; i < n; ++i) {
        data[i] = static_cast<uint8_t>("GET /index.html HTTP/1.1\r\nHost: example\r\n"[i % 41]);
    }
    return data;
}

Bytes noise(size_t n) {
    Bytes data(n);
    uint32_t state = 99;
    for (uint8_t& b : data) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return data;
}

struct Piece {
    Bytes data;
    bool stored;
};

TEST(TraceBlockEncoder, BlocksAndTrailerReadBackThroughTheDecoder) {
    const std::vector<Piece> pieces = {
        {textLike(3000), true}, {textLike(5000), false}, {noise(4000), false}, {Bytes{7}, false}};
    Bytes stream;
    uint32_t room = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        Bytes stored = pieces[i].data;
        if (!pieces[i].stored) {
            ASSERT_TRUE(compressNrv2b(pieces[i].data, 10, stored));
        }
        const BlockHeader header =
            blockHeaderFor(static_cast<uint32_t>(i + 1), pieces[i].stored, stored);
        const auto raw = encodeBlockHeader(header);
        stream.insert(stream.end(), raw.begin(), raw.end());
        stream.insert(stream.end(), stored.begin(), stored.end());
        room = std::max(room, blockRoomNeed(static_cast<uint32_t>(stored.size()), 0,
                                            static_cast<uint32_t>(pieces[i].data.size())));
    }
    // Noise grows under compression and is still written compressed here.
    EXPECT_GT(stream.size(), 3000u + 4000u + 4 * kBlockHeaderSize);

    const TraceTrailer trailer = encodeTrailer(static_cast<uint16_t>(room), 4,
                                               static_cast<uint32_t>(stream.size()));
    EXPECT_TRUE(hasGoodFcs(trailer.bytes.data(), kTrailerSize));
    EXPECT_EQ(trailer.maxBlockLength(), room);
    EXPECT_EQ(trailer.blockCount(), 4);
    EXPECT_EQ(trailer.streamLength(), stream.size());
    EXPECT_EQ(checkTrailer(trailer, kHeaderSizeV8 + stream.size() + kTrailerSize, kHeaderSizeV8),
              TrailerCheck::Good);

    FileHandle file(fmemopen(stream.data(), stream.size(), "rb"));
    ASSERT_TRUE(file);
    std::vector<uint8_t> blockBuffer(trailer.maxBlockLength());
    std::vector<uint8_t> work(2 * trailer.maxBlockLength());
    for (size_t i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE(i);
        BlockHeader header;
        ASSERT_EQ(readBlock(file.get(), trailer, static_cast<uint16_t>(i + 1), header, blockBuffer),
                  ResultCode::Ok);
        EXPECT_EQ(header.storedFlag(), pieces[i].stored);
        uint32_t fill = 0;
        ASSERT_EQ(expandBlock(header, blockBuffer.data(), work, fill,
                              static_cast<uint32_t>(work.size())),
                  ResultCode::Ok);
        EXPECT_EQ(Bytes(work.begin(), work.begin() + fill), pieces[i].data);
    }
}

TEST(TraceBlockEncoder, KeepsTheTrailersUninterpretedBytesAndNumbersModulo32768) {
    std::array<uint8_t, kTrailerSize> kept{};
    kept.fill(0xA5);
    const TraceTrailer trailer = encodeTrailer(1, 2, 3, kept);
    EXPECT_TRUE(hasGoodFcs(trailer.bytes.data(), kTrailerSize));
    EXPECT_EQ(trailer.bytes[4], 0xA5);
    EXPECT_EQ(trailer.bytes[12], 0xA5);

    const Bytes data{1, 2, 3};
    EXPECT_EQ(blockHeaderFor(32767, false, data).blockTag, 0x7FFF);
    EXPECT_EQ(blockHeaderFor(32768, true, data).blockTag, 0x8000);
    EXPECT_EQ(blockHeaderFor(32769, false, data).blockNumber(), 1);
    EXPECT_EQ(blockHeaderFor(1, false, data).blockFcs,
              Fcs16().reset().update(data.data(), 3).result());

    std::array<uint8_t, 10> area{1, 2, 3, 4, 5, 6, 7, 8, 0, 0};
    sealWithFcs(area);
    EXPECT_TRUE(hasGoodFcs(area.data(), area.size()));
}

}  // namespace
}  // namespace ornpcap::test
