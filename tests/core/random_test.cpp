#include "core/random.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kelvo {
namespace {

TEST(Random, PublishedCheckValues) {
  SeedRandom(1);
  EXPECT_EQ(NextRandom(), 16807);
  SeedRandom(1);
  std::int32_t value = 0;
  for (int i = 0; i < 10000; ++i) value = NextRandom();
  EXPECT_EQ(value, 1043618065);
  EXPECT_EQ(SeedRandom(0), 64);
  EXPECT_EQ(NextRandom(), 1075648);
}

TEST(Random, StepAgreesWith64BitArithmetic) {
  const std::int32_t edges[] = {1,     2,    127772,     127773,     127774,
                                16807, 2836, 1043618065, 2147483645, 2147483646};
  for (std::int32_t s : edges) {
    const auto expected = static_cast<std::int32_t>((16807LL * s) % 2147483647LL);
    EXPECT_EQ(MinimalStandardStep(s), expected) << s;
  }
  // Many states spread over the whole range stay inside it.
  for (std::int64_t s = 1; s < 2147483647; s += 9973) {
    const auto next = MinimalStandardStep(static_cast<std::int32_t>(s));
    ASSERT_GE(next, 1) << s;
    ASSERT_LE(next, 2147483646) << s;
    ASSERT_EQ(next, static_cast<std::int32_t>((16807LL * s) % 2147483647LL)) << s;
  }
}

TEST(Random, MidnightSeedIsInRange) {
  const auto ms = MillisecondsSinceLocalMidnight();
  EXPECT_GE(ms, 0);
  EXPECT_LT(ms, 86401000);
}

}  // namespace
}  // namespace kelvo
