#include "shading/random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace lucentor {
namespace {

std::vector<int> draws(RandomGenerator generator, int count) {
    std::vector<int> result(static_cast<std::size_t>(count));
    for (int& value : result) value = generator.next();
    return result;
}

TEST(RandomGenerator, SameSeedSameSequence) {
    EXPECT_EQ(draws(RandomGenerator{42}, 1000), draws(RandomGenerator{42}, 1000));
    EXPECT_NE(draws(RandomGenerator{42}, 10), draws(RandomGenerator{43}, 10));
}

// The light sampler takes remainders of draws: values must reach the top of the range and
// the lowest bit must vary, for every seed (simple seeds such as 0 and 1 included).
TEST(RandomGenerator, DrawsCoverTheRange) {
    EXPECT_EQ(kRandomMax, 2147483647);
    for (std::uint64_t seed = 0; seed < 20; ++seed) {
        int high = 0;
        int odd = 0;
        for (const int value : draws(RandomGenerator{seed}, 300)) {
            EXPECT_GE(value, 0) << "seed " << seed;
            EXPECT_LE(value, kRandomMax) << "seed " << seed;
            if (value > (1 << 30)) ++high;
            odd += value & 1;
        }
        EXPECT_GT(high, 0) << "seed " << seed;
        EXPECT_GT(odd, 0) << "seed " << seed;
        EXPECT_LT(odd, 300) << "seed " << seed;
    }
}

}  // namespace
}  // namespace lucentor
