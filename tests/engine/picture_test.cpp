// Whole pictures against stored references: each preset after 16 passes, as the window shows
// it, averaged over 4x4 blocks and compared with tests/app/references/<preset>.png.
//
// After a deliberate change to the pictures, rewrite the references (the tests then fail, saying
// so), look at them and commit them:
//   LUCENTOR_WRITE_REFERENCES=1 ctest --test-dir build/release -R '^picture\.'
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engine/display.h"
#include "engine/image.h"
#include "engine/render_job.h"
#include "engine/rendering.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "tests/support/lacked_paths.h"

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace lucentor {
namespace {

constexpr int kPasses = 16;
constexpr int kBlock = 4;
constexpr int kBlocksWide = kImageWidth / kBlock;
constexpr int kBlocksHigh = kImageHeight / kBlock;
// The noise of another seed stays well within these; each fault below does not. Noise grows
// with brightness, so a block's channel may differ by kSlack plus a share of its level.
constexpr double kMaxRelativeDifference = 0.025;  // all differences over all reference levels
constexpr int kSlack = 8;
constexpr int kLevelShare = 8;     // one eighth of the reference level
constexpr int kMaxOffBlocks = 20;  // of 19,200

// 8-bit RGB, row-major, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    std::uint8_t& at(int x, int y, int channel) { return rgb[index(x, y, channel)]; }
    std::uint8_t at(int x, int y, int channel) const { return rgb[index(x, y, channel)]; }
    std::size_t index(int x, int y, int channel) const {
        return (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(channel);
    }
};

struct PixelRect {
    int left, top, right, bottom;
};

struct PresetCase {
    const char* name;
    Preset preset;
    PixelRect sphere;  // holds one sphere (with a few neighbours in the crowded field)
    // FNV-1a of the float sums after kPasses passes at kRenderSeed, recorded when the samples
    // took a random stream per pixel: faster code must leave every bit of every sum as it was.
    std::uint64_t sumsDigest;
};

const PresetCase kPresets[] = {
    {"box", buildBoxScene, {200, 320, 330, 445}, 0xcbc87a0336706bc8},
    {"trio", buildTrioScene, {365, 185, 450, 295}, 0x8cb26d575a109e66},
    {"field", buildFieldScene, {120, 360, 195, 425}, 0x53ae5c073bf45dc2},
};

std::uint64_t digest(const Vec3* sums) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(sums);
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < std::size_t(kPixelCount) * sizeof(Vec3); ++i) {
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    }
    return hash;
}

struct Rendered {
    Picture shown;
    std::uint64_t sumsDigest = 0;
};

Rendered renderShown(Preset preset, std::uint64_t seed, SimdPath simd = bestAvailablePath()) {
    Rendering rendering;
    prepareRendering(rendering, preset);
    startWorkers(rendering, 2, seed, simd);
    while (rendering.job.passNumber.load() < kPasses || !isPassComplete(rendering.job)) {
        if (!stepFrame(rendering, [] {})) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Picture shown{kImageWidth, kImageHeight,
                  std::vector<std::uint8_t>(std::size_t(kPixelCount) * 3)};
    for (int i = 0; i < kPixelCount; ++i) {
        const DisplayColor c = displayColor(rendering.accumulation[i], meanFactor(kPasses));
        shown.rgb[std::size_t(i) * 3] = c.red;
        shown.rgb[std::size_t(i) * 3 + 1] = c.green;
        shown.rgb[std::size_t(i) * 3 + 2] = c.blue;
    }
    return {shown, digest(rendering.accumulation)};
}

// Each channel of a block is the rounded mean of its kBlock x kBlock pixels.
Picture downscale(const Picture& full) {
    Picture small{kBlocksWide, kBlocksHigh,
                  std::vector<std::uint8_t>(std::size_t(kBlocksWide * kBlocksHigh) * 3)};
    for (int by = 0; by < kBlocksHigh; ++by) {
        for (int bx = 0; bx < kBlocksWide; ++bx) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int y = 0; y < kBlock; ++y) {
                    for (int x = 0; x < kBlock; ++x)
                        sum += full.at(bx * kBlock + x, by * kBlock + y, c);
                }
                small.at(bx, by, c) = std::uint8_t((sum + kBlock * kBlock / 2) / (kBlock * kBlock));
            }
        }
    }
    return small;
}

struct Difference {
    double relative = 0.0;
    int offBlocks = 0;  // blocks with a channel beyond its tolerance
};

Difference compare(const Picture& picture, const Picture& reference) {
    Difference d;
    long total = 0;
    long levels = 0;
    for (int y = 0; y < reference.height; ++y) {
        for (int x = 0; x < reference.width; ++x) {
            bool off = false;
            for (int c = 0; c < 3; ++c) {
                const int level = reference.at(x, y, c);
                const int difference = std::abs(picture.at(x, y, c) - level);
                total += difference;
                levels += level;
                off = off || difference > kSlack + level / kLevelShare;
            }
            if (off) ++d.offBlocks;
        }
    }
    d.relative = double(total) / double(std::max(levels, 1L));
    return d;
}

bool isAccepted(const Difference& d) {
    return d.relative <= kMaxRelativeDifference && d.offBlocks <= kMaxOffBlocks;
}

std::ostream& operator<<(std::ostream& out, const Difference& d) {
    return out << "relative difference " << d.relative << ", " << d.offBlocks << " blocks off";
}

void PrintTo(const PresetCase& preset, std::ostream* out) { *out << preset.name; }

std::string referencePath(const PresetCase& preset) {
    return std::string(LUCENTOR_REFERENCE_DIR) + "/" + preset.name + ".png";
}

bool readReference(const PresetCase& preset, Picture& reference) {
    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc* pixels = stbi_load(referencePath(preset).c_str(), &width, &height, &channels, 3);
    if (pixels == nullptr) return false;
    reference = {width, height,
                 std::vector<std::uint8_t>(pixels, pixels + std::ptrdiff_t(width) * height * 3)};
    stbi_image_free(pixels);
    return width == kBlocksWide && height == kBlocksHigh;
}

// The kRenderSeed rendering, once per process.
const Rendered& renderedPicture(const PresetCase& preset) {
    static std::vector<std::pair<std::string_view, Rendered>> rendered;
    for (const auto& [name, picture] : rendered) {
        if (name == preset.name) return picture;
    }
    rendered.emplace_back(preset.name, renderShown(preset.preset, kRenderSeed));
    return rendered.back().second;
}

const Picture& shownPicture(const PresetCase& preset) { return renderedPicture(preset).shown; }

class PictureTest : public testing::TestWithParam<PresetCase> {};

TEST_P(PictureTest, MatchesItsReference) {
    const Picture small = downscale(shownPicture(GetParam()));
    // NOLINTNEXTLINE(concurrency-mt-unsafe): no other thread runs between renderings
    if (const char* write = std::getenv("LUCENTOR_WRITE_REFERENCES");
        write != nullptr && *write == '1') {
        ASSERT_NE(stbi_write_png(referencePath(GetParam()).c_str(), small.width, small.height, 3,
                                 small.rgb.data(), small.width * 3),
                  0);
        FAIL() << "wrote " << referencePath(GetParam()) << "; unset LUCENTOR_WRITE_REFERENCES";
    }
    Picture reference;
    ASSERT_TRUE(readReference(GetParam(), reference)) << "no usable " << referencePath(GetParam());
    const Difference d = compare(small, reference);
    EXPECT_TRUE(isAccepted(d)) << d;
}

TEST_P(PictureTest, SumsAreBitForBitTheRecordedOnes) {
    EXPECT_EQ(renderedPicture(GetParam()).sumsDigest, GetParam().sumsDigest)
        << std::hex << "digest 0x" << renderedPicture(GetParam()).sumsDigest;
}

// The window programs take the widest path; every other path the processor has must give the
// same sums.
TEST_P(PictureTest, SumsAreTheRecordedOnesOnEverySimdPath) {
    for (const SimdPath path : {SimdPath::Scalar, SimdPath::Avx2, SimdPath::Avx512}) {
        if (!isAvailable(path, detectCpuFeatures()) || path == bestAvailablePath()) continue;
        const std::uint64_t sums = renderShown(GetParam().preset, kRenderSeed, path).sumsDigest;
        EXPECT_EQ(sums, GetParam().sumsDigest)
            << pathName(path) << std::hex << " digest 0x" << sums;
    }
    skipLackedPaths({SimdPath::Scalar, SimdPath::Avx2, SimdPath::Avx512});
}

TEST_P(PictureTest, AcceptsTheNoiseOfAnotherSeed) {
    const Picture small = downscale(renderShown(GetParam().preset, kRenderSeed + 1).shown);
    Picture reference;
    ASSERT_TRUE(readReference(GetParam(), reference)) << "no usable " << referencePath(GetParam());
    const Difference d = compare(small, reference);
    EXPECT_TRUE(isAccepted(d)) << d;
}

using Mutation = void (*)(Picture&, const PresetCase&);

void flipVertically(Picture& p, const PresetCase& /*preset*/) {
    for (int y = 0; y < p.height / 2; ++y) {
        std::swap_ranges(&p.at(0, y, 0), &p.at(0, y + 1, 0), &p.at(0, p.height - 1 - y, 0));
    }
}

void swapRedAndBlue(Picture& p, const PresetCase& /*preset*/) {
    for (std::size_t i = 0; i < p.rgb.size(); i += 3) std::swap(p.rgb[i], p.rgb[i + 2]);
}

// As if a red material (the box's left wall) reflected a quarter less.
void darkenRedSurfaces(Picture& p, const PresetCase& /*preset*/) {
    for (std::size_t i = 0; i < p.rgb.size(); i += 3) {
        if (p.rgb[i] > p.rgb[i + 1] + p.rgb[i + 2]) p.rgb[i] = std::uint8_t(p.rgb[i] * 3 / 4);
    }
}

void moveSphereRight(Picture& p, const PresetCase& preset) {
    constexpr int kShift = 3;
    const PixelRect r = preset.sphere;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.right - 1; x >= r.left + kShift; --x) {
            for (int c = 0; c < 3; ++c) p.at(x, y, c) = p.at(x - kShift, y, c);
        }
    }
}

// As if the mean divided the sums by one pass too many.
void divideByOneMorePass(Picture& p, const PresetCase& /*preset*/) {
    for (std::uint8_t& level : p.rgb) level = std::uint8_t(level * kPasses / (kPasses + 1));
}

void blackenRow(Picture& p, const PresetCase& /*preset*/) {
    constexpr int kRow = 440;  // the floor in every preset
    std::fill(&p.at(0, kRow, 0), &p.at(0, kRow + 1, 0), 0);
}

TEST_P(PictureTest, RejectsEachFault) {
    const std::vector<std::pair<const char*, Mutation>> faults = {
        {"flipped vertically", flipVertically},
        {"red and blue swapped", swapRedAndBlue},
        {"red surfaces darker", darkenRedSurfaces},
        {"a sphere 3 pixels to the right", moveSphereRight},
        {"one black row", blackenRow},
        {"divided by one pass too many", divideByOneMorePass},
    };
    Picture reference;
    ASSERT_TRUE(readReference(GetParam(), reference)) << "no usable " << referencePath(GetParam());
    for (const auto& [name, mutate] : faults) {
        Picture faulty = shownPicture(GetParam());
        mutate(faulty, GetParam());
        const Difference d = compare(downscale(faulty), reference);
        EXPECT_FALSE(isAccepted(d)) << name << ": " << d;
    }
}

INSTANTIATE_TEST_SUITE_P(Presets, PictureTest, testing::ValuesIn(kPresets),
                         [](const testing::TestParamInfo<PresetCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace lucentor
