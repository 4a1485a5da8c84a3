// What a repair promises, over traces of every version whose records are of
// every kind (rare event types and statuses, empty records, frames over the
// snapLength, times stepping back, several ports and LSNs): one damaged
// block, whatever the damage, costs only the records with a byte in it, and
// no repaired trace holds a record that was not in the original, in its
// order.

#include <gtest/gtest.h>

#include <functional>

#include "tests/ornfix/fix_support.hpp"

namespace ornpcap::test::fix {
namespace {

#if defined(ORNPCAP_SANITIZE) || defined(ORNPCAP_TSAN)
constexpr size_t kEveryNthBlock = 7;  // a sample where every check is slow
#else
constexpr size_t kEveryNthBlock = 1;
#endif

using BlockDamage = std::function<void(const BuiltTrace&, size_t k, Bytes&)>;

const std::pair<const char*, BlockDamage> kDamages[] = {
    {"a data byte flipped",
     [](const BuiltTrace& t, size_t k, Bytes& b) { b[t.blockEnd[k] - 1] ^= 0x81; }},
    {"its header zeroed",
     [](const BuiltTrace& t, size_t k, Bytes& b) {
         std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(t.blockBegin[k]), 6, 0);
     }},
    {"its length field wrong",
     [](const BuiltTrace& t, size_t k, Bytes& b) { b[t.blockBegin[k] + 2] ^= 0x04; }},
    {"cut out",
     [](const BuiltTrace& t, size_t k, Bytes& b) {
         b.erase(b.begin() + static_cast<std::ptrdiff_t>(t.blockBegin[k]),
                 b.begin() + static_cast<std::ptrdiff_t>(t.blockEnd[k]));
     }},
    {"bytes inserted in it",
     [](const BuiltTrace& t, size_t k, Bytes& b) {
         const Bytes extra = noise(37, static_cast<uint32_t>(k));
         b.insert(b.begin() + static_cast<std::ptrdiff_t>(t.blockBegin[k] + 9), extra.begin(),
                  extra.end());
     }},
};

TEST(OrnfixEveryKindOfRecord, OneDamagedBlockCostsOnlyTheRecordsWithAByteInIt) {
    const struct {
        uint16_t version;
        size_t chunk;
        BlockMode mode;
    } traces[] = {{5, 1500, BlockMode::Compressed},
                  {6, 2200, BlockMode::Stored},
                  {7, 900, BlockMode::Alternate},
                  {8, 3000, BlockMode::Smallest}};
    for (const auto& [version, chunk, mode] : traces) {
        const BuiltTrace t = buildTrace(everyKindRecords(700, version, version), version, chunk,
                                        mode);
        std::vector<std::string> failures;
        size_t cases = 0;
        for (size_t k = version % kEveryNthBlock; k < t.recipe.blocks.size();
             k += kEveryNthBlock) {
            const auto& [name, damage] = kDamages[k % std::size(kDamages)];
            Bytes damaged = t.bytes;
            damage(t, k, damaged);
            ++cases;
            if (const std::string why = checkRepair(t, damaged, {k}); !why.empty()) {
                failures.push_back("block " + std::to_string(k + 1) + " " + name + ": " + why);
            }
        }
        EXPECT_TRUE(failures.empty()) << "version " << version << ": " << failures.size()
                                      << " of " << cases << " fail, the first: " << failures[0];
    }
}

}  // namespace
}  // namespace ornpcap::test::fix
