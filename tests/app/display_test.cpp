#include "app/display.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lucentor {
namespace {

TEST(DisplayLevel, MeansToLevels) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kSmallestLevel = 1.0f / 256.0f;
    const struct {
        float sum;
        float factor;
        int level;
    } kCases[] = {
        {0.5f, 1.0f, 128},
        {100.7f / 256.0f, 1.0f, 100},  // truncated, not rounded
        {255.0f / 256.0f, 1.0f, 255},
        {0.999f, 1.0f, 255},
        {1.0f, 1.0f, 255},
        {kSmallestLevel, 1.0f, 1},
        {std::nextafter(kSmallestLevel, 0.0f), 1.0f, 0},
        {0.0f, 1.0f, 0},
        {-0.5f, 1.0f, 0},
        {std::numeric_limits<float>::quiet_NaN(), 1.0f, 0},
        {1e30f, 1.0f, 255},
        {kInf, 1.0f, 255},
        {-kInf, 1.0f, 0},
        {-1e30f, 1.0f, 0},
        {3 * 0.5f, meanFactor(3), 128},
        {4 * 0.999f, meanFactor(4), 255},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(int(displayLevel(c.sum, c.factor)), c.level) << c.sum << " * " << c.factor;
    }
}

TEST(DisplayColor, ChannelsInOrder) {
    const DisplayColor color = displayColor({1.0f, 0.5f, 0.0f}, meanFactor(2));
    EXPECT_EQ(int(color.red), 128);
    EXPECT_EQ(int(color.green), 64);
    EXPECT_EQ(int(color.blue), 0);
}

}  // namespace
}  // namespace lucentor
