// ornfix on every case of the damage catalogue that OrnPcap's and orninfo's
// tests run too: what can be salvaged becomes a trace that converts, holding
// at least every record before the damage; the damaged trace stays as it was.

#include <gtest/gtest.h>

#include "tests/ornfix/fix_support.hpp"
#include "tests/support/damage_catalogue.hpp"

namespace ornpcap::test::fix {
namespace {

class OrnfixDamage : public testing::TestWithParam<size_t> {};

TEST_P(OrnfixDamage, SalvagesWhatWasBeforeTheDamage) {
    const DamageCase& c = damageCatalogue()[GetParam()];
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("Trace.orn", c.trace);
    const ToolRun run = runOrnfix(dir, {"Trace.orn"});
    EXPECT_EQ(run.exitCode, c.ornfixExit) << run.out << run.err;
    EXPECT_EQ(dir.read("Trace.orn"), c.trace) << "the damaged trace must not change";
    if (c.ornfixExit != 0) {
        EXPECT_FALSE(dir.exists("Trace_fixed.orn"));
        EXPECT_TRUE(run.err.starts_with("ornfix: Trace.orn: ")) << run.err;
        return;
    }
    ASSERT_TRUE(dir.exists("Trace_fixed.orn"));
    std::string why;
    const auto records = readBack(dir, dir.read("Trace_fixed.orn"), &why);
    ASSERT_TRUE(records.has_value()) << why;
    EXPECT_GE(records->size(), c.ornfixRecords);
    EXPECT_EQ(runIn(dir, ORNPCAP_BINARY, {"-iTrace_fixed.orn", "-f4", "-p3"}).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, OrnfixDamage,
                         testing::Range<size_t>(0, damageCatalogue().size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return damageCaseName(info.param);
                         });

}  // namespace
}  // namespace ornpcap::test::fix
