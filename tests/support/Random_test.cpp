#include "support/Random.h"

#include <gtest/gtest.h>

#include <set>

namespace corvanteer {
namespace {

TEST(FakeRandom, ScriptFirstThenRepeatableDraws) {
    FakeRandom random;
    random.Script({40, 7, 2147483648u});
    EXPECT_EQ(random.Below(36), 4u);  // taken modulo the bound
    EXPECT_EQ(random.Below(10), 7u);
    EXPECT_DOUBLE_EQ(random.Real(), 0.5);
    FakeRandom a(7);
    FakeRandom b(7);
    for (int i = 0; i < 20; ++i) {
        const uint32_t value = a.Below(1000);
        EXPECT_EQ(value, b.Below(1000));
        EXPECT_LT(value, 1000u);
    }
    const double real = a.Real();
    EXPECT_EQ(real, b.Real());
    EXPECT_GE(real, 0.0);
    EXPECT_LT(real, 1.0);
}

TEST(FakeRandom, NewScriptStartsOver) {
    FakeRandom random;
    random.Script({1, 2});
    EXPECT_EQ(random.Below(100), 1u);
    random.Script({5});
    EXPECT_EQ(random.Below(100), 5u);
}

TEST(SystemRandom, StaysInRangeAndVaries) {
    SystemRandom random;
    std::set<uint32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const uint32_t value = random.Below(36);
        ASSERT_LT(value, 36u);
        seen.insert(value);
        const double real = random.Real();
        ASSERT_GE(real, 0.0);
        ASSERT_LT(real, 1.0);
    }
    EXPECT_EQ(seen.size(), 36u);  // missing one of 36 in 2000 draws: about 1e-22
    EXPECT_EQ(random.Below(1), 0u);
}

}  // namespace
}  // namespace corvanteer
