// Scenarios made into traces: the same bytes whatever the threads that
// compress the blocks, and the same as before they had any.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

#include "base/file_io.hpp"
#include "base/byte_order.hpp"
#include "tests/support/temp_dir.hpp"
#include "tracebuild/scenario.hpp"
#include "tracebuild/traffic.hpp"

namespace ornpcap::test {
namespace {

uint64_t fnv1a(const Bytes& bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        hash = (hash ^ b) * 0x100000001b3ull;
    }
    return hash;
}

tracebuild::ScenarioResult made(const TempDir& dir, const std::string& text, uint32_t workers,
                                bool expectOk) {
    FileHandle out(std::fopen((dir / "Trace.orn").c_str(), "wb"));
    tracebuild::ScenarioOptions options;
    options.workers = workers;
    const tracebuild::ScenarioResult result = tracebuild::runScenario(text, out.get(), options);
    EXPECT_TRUE(result.ok || !expectOk) << result.error;
    return result;
}

Bytes made(const TempDir& dir, const std::string& text, uint32_t workers) {
    made(dir, text, workers, true);
    return dir.read("Trace.orn");
}

// The blocks of a trace whose header takes headerSize bytes: their tag and
// length, in order.
std::vector<std::pair<uint16_t, uint16_t>> blocksOf(const Bytes& trace, size_t headerSize = 203) {
    std::vector<std::pair<uint16_t, uint16_t>> blocks;
    for (size_t at = headerSize; at + 6 <= trace.size() - 16; at += 6 + loadLe16(&trace[at + 2])) {
        blocks.emplace_back(loadLe16(&trace[at]), loadLe16(&trace[at + 2]));
    }
    return blocks;
}

// Stored and compressed blocks of a version 8 trace.
std::pair<size_t, size_t> blockKinds(const Bytes& trace) {
    size_t stored = 0, compressed = 0;
    for (const auto& [tag, length] : blocksOf(trace)) {
        ++(tag & 0x8000 ? stored : compressed);
    }
    return {stored, compressed};
}

TEST(TracebuildScenario, TheBytesAreTheSameWhateverTheThreadsThatCompress) {
    struct Case {
        const char* blocks;
        int level;
        size_t size;
        uint64_t hash;  // of the trace mktrace made with no worker threads
        std::pair<size_t, size_t> kinds;
    };
    const Case cases[] = {
        {"compressed", 10, 622049, 0x18f7376c8c4e3bd4ull, {0, 308}},
        {"alternate", 1, 771580, 0x5b2a7b562c02f85aull, {154, 154}},
        {"smallest", 6, 619323, 0xc8d608e94bea4bedull, {12, 296}},  // the bulk's noise stored
        {"stored", 10, 925512, 0xe4d422e195962616ull, {308, 0}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocks);
        const std::string text = std::string("blocks 3000 ") + c.blocks + "\nlevel " +
                                 std::to_string(c.level) +
                                 "\nframe 5 7 1 out async : 7e7d0102030405\n"
                                 "frame 6 7 1 in : 00112233445566778899aabbccddeeff\n"
                                 "traffic format=ethernet count=800 port=20 lsns=2\n"
                                 "traffic format=ppp-sync count=600 port=3 lsns=2 time=100\n"
                                 "bulk count=300 port=1 lsn=0 size=400\n";
        for (uint32_t workers : {1u, 3u}) {
            SCOPED_TRACE(workers);
            const Bytes trace = made(dir, text, workers);
            EXPECT_EQ(trace.size(), c.size);
            EXPECT_EQ(fnv1a(trace), c.hash);
            EXPECT_EQ(blockKinds(trace), c.kinds);
        }
    }
}

TEST(TracebuildScenario, BlocksGrowWithoutABlocksLineOnlyWhere512BytesCannotHoldTheRecords) {
    EXPECT_EQ(tracebuild::defaultBlockBytes(0), 512u);
    EXPECT_EQ(tracebuild::defaultBlockBytes(65535ull * 512), 512u);
    EXPECT_EQ(tracebuild::defaultBlockBytes(65535ull * 512 + 1), 1024u);
    EXPECT_EQ(tracebuild::defaultBlockBytes(65535ull * 1024 + 1), 2048u);
    EXPECT_EQ(tracebuild::defaultBlockBytes(65535ull * 32768), 32768u);
    EXPECT_EQ(tracebuild::defaultBlockBytes(65535ull * 32768 + 1), 60000u);
    EXPECT_EQ(tracebuild::defaultBlockBytes(65535ull * 60000 + 1), 60000u);  // fails as too large
}

// Records of every kind of line, in version 5 (23-byte record headers),
// that take exactly what 65535 blocks of 512 bytes hold, and one byte more.
TEST(TracebuildScenario, TheRecordsOfEveryLineCountTowardsTheDefaultBlocks) {
    constexpr uint64_t kHeld = 65535ull * 512;
    const tracebuild::TrafficSpec recipe{tracebuild::TrafficFormat::PppAsync, 3, 0, 2, 500};
    uint64_t trafficBytes = 0;
    tracebuild::generateTraffic(recipe, [&](const EventRecord&, std::span<const uint8_t> p) {
        trafficBytes += 23 + p.size();
    });
    // A frame of 5 bytes, the traffic, then bulk records of 1280 bytes and a
    // last one of what remains.
    const uint64_t remaining = kHeld - (23 + 5) - trafficBytes;
    const uint64_t full = (remaining - 23 - 46) / 1280;
    const uint64_t last = remaining - full * 1280 - 23;
    ASSERT_GE(last, 46u);
    const std::string text = "version 5\nlevel 1\nframe 1 2 3 in : 0102030405\n"
                             "traffic format=ppp-async count=500 port=3 lsns=2\n"
                             "bulk count=" + std::to_string(full) + " port=1 lsn=0 size=1257\n"
                             "bulk count=1 port=1 lsn=0 size=" + std::to_string(last) + "\n";
    TempDir dir;
    for (const bool oneMore : {false, true}) {
        SCOPED_TRACE(oneMore);
        const Bytes trace = made(dir, text + (oneMore ? "frame 9 2 3 out : 07\n" : ""), 0);
        const auto blocks = blocksOf(trace, 180);
        ASSERT_EQ(blocks.size(), oneMore ? 32768u : 65535u);
        // Alternate, as without a blocks line before: the second is stored.
        EXPECT_EQ(blocks[1].first & 0x8000, 0x8000);
        EXPECT_EQ(blocks[1].second, oneMore ? 1024u : 512u);
    }
}

// Progress comes after every block written, out of the records every line
// announces; a stop asked for ends the run there, without a trailer, and one
// asked for at once, while the scenario is first read, writes nothing.
TEST(TracebuildScenario, ReportsProgressAndStopsWhenAsked) {
    const std::string text = "blocks 4000 alternate\nframe 5 7 1 in : 0011\n"
                             "traffic format=i4b count=3000 port=5 lsns=2\n"
                             "bulk count=700 port=1 lsn=0 size=300\n";
    TempDir dir;
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    const auto run = [&](const std::function<bool()>& stop) {
        calls.clear();
        FileHandle out(std::fopen((dir / "Trace.orn").c_str(), "wb"));
        tracebuild::ScenarioOptions options;
        options.workers = 2;
        options.progress = [&](uint64_t records, uint64_t announced) {
            calls.emplace_back(records, announced);
        };
        options.stop = stop;
        return tracebuild::runScenario(text, out.get(), options);
    };
    const tracebuild::ScenarioResult whole = run([] { return false; });
    ASSERT_TRUE(whole.ok) << whole.error;
    const Bytes trace = dir.read("Trace.orn");
    ASSERT_EQ(calls.size(), whole.blocks);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].second, 3701u);
        if (i > 0) {
            EXPECT_GE(calls[i].first, calls[i - 1].first) << i;
        }
    }
    EXPECT_EQ(calls.back().first, 3701u);

    const tracebuild::ScenarioResult stopped = run([&] { return calls.size() >= 10; });
    EXPECT_FALSE(stopped.ok);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.error, "");
    EXPECT_EQ(calls.size(), 10u);
    const Bytes cut = dir.read("Trace.orn");
    EXPECT_LT(cut.size(), trace.size());
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), trace.begin())) << "the blocks before the stop";

    const tracebuild::ScenarioResult atOnce = run([] { return true; });
    EXPECT_TRUE(atOnce.stopped);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(dir.read("Trace.orn").empty());
}

// Each kind of line names what it cannot read; the edges of each word's range
// are taken.
TEST(TracebuildScenario, EveryLineNamesTheWordItCannotRead) {
    const std::pair<std::string, std::string> refused[] = {
        {"version 9", "cannot read the version line"},
        {"version 8 7", "cannot read the version line"},
        {"snap 65536", "cannot read the snap line"},
        {"level 0", "cannot read the level line"},
        {"level x", "cannot read the level line"},
        {"colour blue", "cannot read the colour line"},
        {"blocks 60001 stored", "cannot read the blocks line"},
        {"blocks 512 packed", "blocks mode is compressed, stored, alternate or smallest"},
        {"bulk count=x", "bulk wants key=value words"},
        {"bulk count", "bulk wants key=value words"},
        {"bulk colour=3", "unknown bulk word colour"},
        {"bulk size=45", "bulk wants size 46..65535, lsns >= 1 and a 16-bit port"},
        {"bulk port=65536", "bulk wants size 46..65535, lsns >= 1 and a 16-bit port"},
        {"bulk size=10 colour=3", "unknown bulk word colour"},  // the limits once the line is read
        {"traffic format port=1", "traffic wants key=value words"},
        {"traffic format=i4b port=1 size=x", "bad traffic value size=x"},
        {"traffic format=i4b port=1 count=4294967296", "bad traffic value count=4294967296"},
        {"frame 1 2 3 out status=256 : 00", "unknown frame option status=256"},
        {"frame 1 2 3 out orig=65536 : 00", "unknown frame option orig=65536"},
        {"frame 1 2 3 out cut=x : 00", "unknown frame option cut=x"},
        {"frame 1 2 3 out status : 00", "unknown frame option status"},
        {"frame 1 2 3 out colour=1 : 00", "unknown frame option colour=1"},
    };
    TempDir dir;
    for (const auto& [line, error] : refused) {
        const tracebuild::ScenarioResult result = made(dir, line + "\n", 1, false);
        EXPECT_EQ(result.error, "line 1: " + error) << line;
    }
    const std::string taken[] = {
        "version 5\nsnap 65535\nlevel 1\nbulk count=2 port=65535 lsn=7 lsns=3 size=65535 step=0 time=9\n",
        "version 8\nlevel 10\nframe 1 2 3 out status=255 orig=65535 cut=0 async badfcs : 00\n",
        "blocks 60000 smallest\ntraffic format=i4b port=65535 lsn=65535 lsns=65535 count=3 "
        "seed=4294967295 time=4294967295 step=4294967295\n",
    };
    for (const std::string& text : taken) {
        const tracebuild::ScenarioResult result = made(dir, text, 1, false);
        EXPECT_TRUE(result.ok) << text << result.error;
    }
}

// Past the 65535 blocks a trailer counts, no more records are made: a line
// of four billion ends at once with the error.
TEST(TracebuildScenario, StopsMakingRecordsAtWhatATrailerCounts) {
    TempDir dir;
    for (const char* line : {"bulk count=4000000000 port=1 lsn=0 size=46",
                             "traffic format=i4b count=4000000000 port=1"}) {
        SCOPED_TRACE(line);
        const tracebuild::ScenarioResult result =
            made(dir, std::string("blocks 1 stored\n") + line + "\n", 1, false);
        EXPECT_EQ(result.error, "more than the 65535 blocks (and 4 GiB) a trailer counts: use "
                                "larger blocks");
    }
}

}  // namespace
}  // namespace ornpcap::test
