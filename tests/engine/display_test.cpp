#include "engine/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "engine/image.h"

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

// The shown level exactly as the conversion is defined, branch by branch.
int definedLevel(float sum, float factor) {
    const double v = double(factor * sum) * 256.0;
    if (v >= 255.0) return 255;
    if (v > 0.0) return int(v);
    return 0;
}

// Channel values that probe every branch and rounding edge, then arbitrary bit patterns:
// NaNs, infinities, subnormals and values just around each level boundary.
std::vector<float> awkwardChannels() {
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 0.5f,
                                 255.0f / 256.0f,
                                 1.0f / 256.0f,
                                 std::nextafter(1.0f / 256.0f, 0.0f),
                                 std::nextafter(1.0f, 0.0f),
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::max(),
                                 -std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN(),
                                 -std::numeric_limits<float>::quiet_NaN()};
    for (int level = 0; level <= 256; ++level) {
        const float edge = float(level) / 256.0f;
        values.push_back(std::nextafter(edge, 0.0f));
        values.push_back(std::nextafter(edge, 2.0f));
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<float> usual(-0.25f, 1.25f);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(usual(random));
        values.push_back(std::bit_cast<float>(std::uint32_t(random())));
    }
    return values;
}

// The window's words must hold, per pixel, the levels of the definition in the order red,
// green, blue from the high byte down, for every pixel of a row whatever its length.
TEST(ShownWords, EqualTheDefinedLevelsForAnyValue) {
    const std::vector<float> channels = awkwardChannels();
    std::vector<Vec3> sums;
    for (std::size_t i = 0; i + 2 < channels.size(); i += 3) {
        sums.push_back({channels[i], channels[i + 1], channels[i + 2]});
        sums.push_back({channels[i + 2], channels[i], channels[i + 1]});
    }
    for (const float factor : {1.0f, meanFactor(3), meanFactor(1000), 0.0f}) {
        // Lengths off the four-pixel step reach the tail of the loop as well.
        for (const int count : {int(sums.size()), int(sums.size()) - 1, 3}) {
            std::vector<std::uint32_t> words(std::size_t(count) + 1, 0xdeadbeefu);
            shownWords(sums.data(), count, factor, words.data());
            int wrong = 0;
            for (int i = 0; i < count && wrong < 5; ++i) {
                const Vec3& s = sums[i];
                const std::uint32_t expected = std::uint32_t(definedLevel(s.x, factor)) << 16 |
                                               std::uint32_t(definedLevel(s.y, factor)) << 8 |
                                               std::uint32_t(definedLevel(s.z, factor));
                wrong += words[i] == expected ? 0 : 1;
                EXPECT_EQ(words[i], expected) << "pixel " << i << " of " << count << ": " << s.x
                                              << " " << s.y << " " << s.z << " * " << factor;
            }
            EXPECT_EQ(words[std::size_t(count)], 0xdeadbeefu) << "wrote past " << count;
        }
    }
}

// A texture's rows may lie further apart than a row's words: each row must start at its pitch,
// hold its own pixels, and leave the padding after it alone.
TEST(ShownPicture, WritesEachRowAtItsPitch) {
    constexpr int kPadWords = 5;
    constexpr int kPitchWords = kImageWidth + kPadWords;
    std::vector<Vec3> sums(kPixelCount);
    for (int i = 0; i < kPixelCount; ++i) {
        sums[i] = {float(i % kImageWidth) / 640.0f, float(i / kImageWidth) / 480.0f, 0.25f};
    }
    std::vector<std::uint32_t> pixels(std::size_t(kPitchWords) * kImageHeight, 0xdeadbeefu);
    shownPicture(sums.data(), 2, pixels.data(), kPitchWords * 4);
    std::vector<std::uint32_t> row(kImageWidth);
    for (int y = 0; y < kImageHeight; ++y) {
        shownWords(sums.data() + pixelIndex(0, y), kImageWidth, meanFactor(2), row.data());
        const auto start = pixels.begin() + std::ptrdiff_t(y) * kPitchWords;
        ASSERT_TRUE(std::equal(row.begin(), row.end(), start)) << "row " << y;
        ASSERT_TRUE(std::all_of(start + kImageWidth, start + kPitchWords,
                                [](std::uint32_t word) { return word == 0xdeadbeefu; }))
            << "padding after row " << y;
    }
}

}  // namespace
}  // namespace lucentor
