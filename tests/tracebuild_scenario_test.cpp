// Scenarios made into traces: the same bytes whatever the threads that
// compress the blocks, and the same as before they had any.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/file_io.hpp"
#include "base/byte_order.hpp"
#include "tests/support/temp_dir.hpp"
#include "tracebuild/scenario.hpp"

namespace ornpcap::test {
namespace {

uint64_t fnv1a(const Bytes& bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        hash = (hash ^ b) * 0x100000001b3ull;
    }
    return hash;
}

Bytes made(const TempDir& dir, const std::string& text, uint32_t workers) {
    {
        FileHandle out(std::fopen((dir / "Trace.orn").c_str(), "wb"));
        tracebuild::ScenarioOptions options;
        options.workers = workers;
        const tracebuild::ScenarioResult result = tracebuild::runScenario(text, out.get(), options);
        EXPECT_TRUE(result.ok) << result.error;
    }
    return dir.read("Trace.orn");
}

// Stored and compressed blocks of a version 8 trace.
std::pair<size_t, size_t> blockKinds(const Bytes& trace) {
    size_t stored = 0, compressed = 0;
    for (size_t at = 203; at + 6 <= trace.size() - 16; at += 6 + loadLe16(&trace[at + 2])) {
        ++(loadLe16(&trace[at]) & 0x8000 ? stored : compressed);
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

}  // namespace
}  // namespace ornpcap::test
