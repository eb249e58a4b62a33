#include "shading/random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace lucentor {
namespace {

std::vector<int> draws(RandomGenerator generator, int count) {
    std::vector<int> result(static_cast<std::size_t>(count));
    for (int& value : result) value = generator.next();
    return result;
}

std::vector<int> threadDraws(int count) {
    std::vector<int> result(static_cast<std::size_t>(count));
    for (int& value : result) value = threadRandom();
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

TEST(RandomThread, FollowsTheGeneratorOfItsSeed) {
    seedThreadRandom(7);
    EXPECT_EQ(threadDraws(100), draws(RandomGenerator{7}, 100));
    seedThreadRandom(7);
    EXPECT_EQ(threadDraws(5), draws(RandomGenerator{7}, 5));
}

// Seeding and drawing on one thread leaves another thread's sequence where it was.
TEST(RandomThread, ThreadsDrawIndependently) {
    seedThreadRandom(5);
    const std::vector<int> expected = draws(RandomGenerator{5}, 20);
    std::vector<int> mine = threadDraws(10);

    std::vector<int> other;
    std::vector<int> unseeded;
    std::thread worker([&] {
        unseeded = threadDraws(3);
        seedThreadRandom(5);
        other = threadDraws(20);
    });
    worker.join();

    const std::vector<int> rest = threadDraws(10);
    mine.insert(mine.end(), rest.begin(), rest.end());
    EXPECT_EQ(mine, expected);
    EXPECT_EQ(other, expected);
    EXPECT_EQ(unseeded, draws(RandomGenerator{0}, 3)) << "a new thread starts from seed 0";
}

// The remainder by multiplication must equal the division's for every value a draw can take:
// the edges of the range, multiples of the divisor and their neighbours, and random values.
TEST(FixedDivisor, RemaindersEqualTheDivisions) {
    std::mt19937 random(3);
    std::uniform_int_distribution<std::uint32_t> anyValue;
    const std::uint32_t divisors[] = {1u,     2u,     3u,          7u,          5001u,
                                      20001u, 65536u, 1073741825u, 0x7fffffffu, 0xffffffffu};
    for (const std::uint32_t divisor : divisors) {
        const FixedDivisor by = makeFixedDivisor(divisor);
        std::vector<std::uint32_t> values = {0u,          1u,          divisor - 1u, divisor,
                                             0x7fffffffu, 0xfffffffeu, 0xffffffffu};
        for (std::uint32_t k = 1; k < 50; ++k) {
            const std::uint64_t multiple = std::uint64_t(divisor) * (0xffffffffu / divisor / k);
            values.push_back(std::uint32_t(multiple));
            values.push_back(std::uint32_t(multiple - 1));
        }
        for (int i = 0; i < 100000; ++i) values.push_back(anyValue(random));
        for (const std::uint32_t value : values) {
            ASSERT_EQ(remainder(value, by), value % divisor) << value << " mod " << divisor;
        }
    }
}

}  // namespace
}  // namespace lucentor
