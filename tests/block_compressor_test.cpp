// Blocks compressed on worker threads: handed back in the order given, each
// as the calling thread alone compresses it, in a ring that stays bounded.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "trace/block_compressor.hpp"
#include "trace/block_encoder.hpp"

namespace ornpcap::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Text that compresses, noise that does not, sizes from 1 byte to 60000.
std::vector<Bytes> variedBlocks() {
    std::vector<Bytes> blocks;
    uint32_t state = 7;
    for (size_t i = 0; i < 40; ++i) {
        const size_t size = i == 0 ? 1 : (i * 7919) % 60000 + 1;
        Bytes data(size);
        for (size_t j = 0; j < size; ++j) {
            state = state * 1664525u + 1013904223u;
            data[j] = i % 2 == 0 ? static_cast<uint8_t>("GET /index.html HTTP/1.1\r\n"[j % 26] ^ (state >> 31))
                                 : static_cast<uint8_t>(state >> 24);
        }
        blocks.push_back(std::move(data));
    }
    return blocks;
}

TEST(TraceBlockCompressor, HandsBackEveryBlockInOrderAsOneThreadMakesIt) {
    const std::vector<Bytes> blocks = variedBlocks();
    std::vector<Bytes> alone;  // compressed here, one after the other
    for (const Bytes& data : blocks) {
        Bytes packed;
        ASSERT_TRUE(compressNrv2b(data, 6, packed));
        alone.push_back(packed);
    }
    for (uint32_t requested : {1u, 2u, 5u}) {
        SCOPED_TRACE(requested);
        const uint32_t workers = compressorWorkers(requested);
        EXPECT_EQ(workers, requested == 1 ? 0u : requested);
        std::vector<CompressorBlock> back;
        size_t mostInFlight = 0;
        BlockCompressor compressor(6, workers, [&](const CompressorBlock& b) { back.push_back(b); });
        for (size_t i = 0; i < blocks.size(); ++i) {
            compressor.add(blocks[i], i % 5 != 3);
            mostInFlight = std::max(mostInFlight, i + 1 - back.size());
        }
        EXPECT_EQ(compressor.threads(), workers);
        compressor.flush();
        ASSERT_EQ(back.size(), blocks.size());
        for (size_t i = 0; i < blocks.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(back[i].data == blocks[i]);
            EXPECT_EQ(back[i].compress, i % 5 != 3);
            EXPECT_EQ(back[i].compressed, back[i].compress);
            if (back[i].compressed) {
                EXPECT_TRUE(back[i].packed == alone[i]);
            }
        }
        // The calling thread waits rather than let more than the ring run ahead.
        EXPECT_LE(mostInFlight, size_t{BlockCompressor::kBlocksPerWorker} * workers);
        if (workers >= 2) {
            EXPECT_GT(mostInFlight, 1u) << "the blocks were compressed one at a time";
        }
    }
}

// A compressor dropped before flush stops its workers, having handed back a
// beginning of the blocks in order; one never given a block starts no thread.
TEST(TraceBlockCompressor, StopsWithBlocksInFlightAndStartsNothingUnused) {
    const std::vector<Bytes> blocks = variedBlocks();
    std::vector<Bytes> handed;
    {
        BlockCompressor compressor(10, 3, [&](const CompressorBlock& b) { handed.push_back(b.data); });
        for (const Bytes& data : blocks) {
            compressor.add(data, true);
        }
    }
    ASSERT_LE(handed.size(), blocks.size());
    EXPECT_TRUE(std::equal(handed.begin(), handed.end(), blocks.begin()));
    const BlockCompressor unused(10, 3, [](const CompressorBlock&) {});
    EXPECT_EQ(unused.threads(), 0u);
}

}  // namespace
}  // namespace ornpcap::test
