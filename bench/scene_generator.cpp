#include "bench/scene_generator.h"

#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <random>

namespace lucentor {
namespace {

// The camera's half extents of the view one unit ahead.
constexpr float kHalfWidth = 0.675f;
constexpr float kHalfHeight = 0.5f;
constexpr float kNearest = 10.0f;
constexpr float kFarthest = 25.0f;
// The share of the view the spheres' discs would cover without overlap.
constexpr float kCoveredShare = 1.5f;
constexpr int kShells = 48;
constexpr float kOuterShell = 4.0f;
// The layer's depth, in sphere radii, and where it lies.
constexpr float kLayerRadii = 10.0f;
constexpr float kLayerDepth = 15.0f;

// A float in [0, 1) from the generator's top 24 bits: the same on every standard library.
float unit(std::mt19937& random) { return float(random() >> 8u) * 0x1p-24f; }

float between(std::mt19937& random, float low, float high) {
    return low + (high - low) * unit(random);
}

struct Point {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// A point in the view at a depth between `nearest` and `farthest`.
Point inView(std::mt19937& random, float nearest = kNearest, float farthest = kFarthest) {
    const float depth = between(random, nearest, farthest);
    return {between(random, -kHalfWidth, kHalfWidth) * depth,
            between(random, -kHalfHeight, kHalfHeight) * depth, -depth};
}

// `angular`: the radius of a sphere one unit ahead.
// `focus`: where the clustered and coincident centres gather.
Point centerOf(SphereLayout layout, const Point& focus, float angular, std::mt19937& random) {
    if (layout == SphereLayout::Volume) return inView(random);
    if (layout == SphereLayout::Layer) {
        const float half = kLayerRadii * angular * kLayerDepth;
        return inView(random, kLayerDepth - half, kLayerDepth + half);
    }
    if (layout == SphereLayout::Coincident) return focus;
    const Point d{between(random, -1.0f, 1.0f), between(random, -1.0f, 1.0f),
                  between(random, -1.0f, 1.0f)};
    const float scale = kOuterShell * std::ldexp(1.0f, -int(random() % kShells)) /
                        std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return {focus.x + d.x * scale, focus.y + d.y * scale, focus.z + d.z * scale};
}

void append(std::string& text, float value) {
    std::array<char, 32> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    text.append(digits.data(), result.ptr);
}

}  // namespace

std::string sphereRowsText(int count, SphereLayout layout, std::uint32_t seed) {
    std::mt19937 random(seed);
    const Point focus = inView(random);
    // n discs of angular radius a cover n * pi * a^2 of the view's 4 * w * h.
    const float angular = std::sqrt(kCoveredShare * 4.0f * kHalfWidth * kHalfHeight /
                                    (std::numbers::pi_v<float> * float(count)));
    std::string text = "x,y,z,radius,r,g,b,material\n";
    text.reserve(std::size_t(count) * 64u);
    for (int i = 0; i < count; ++i) {
        const Point c = centerOf(layout, focus, angular, random);
        const float radius = -c.z * angular * between(random, 0.8f, 1.2f);
        const std::array<float, 8> row = {c.x,
                                          c.y,
                                          c.z,
                                          radius,
                                          between(random, 0.2f, 1.0f),
                                          between(random, 0.2f, 1.0f),
                                          between(random, 0.2f, 1.0f),
                                          i % 10 == 0 ? 0.9f : 0.0f};
        for (std::size_t k = 0; k < row.size(); ++k) {
            append(text, row[k]);
            text += k + 1 < row.size() ? ',' : '\n';
        }
    }
    return text;
}

std::string sceneTextAround(std::string_view rowsFile) {
    // The presets' plane rule, said so that reading it prints no warning.
    std::string text = "planes = \"mirrored\"\n[spheres]\nfile = \"";
    text += rowsFile;
    text +=
        "\"\n\n[[plane]]\npoint = [0, -26, 0]\nnormal = [0, 1, 0]\ncolor = \"checkerboard\"\n\n"
        "[[light]]\nposition = [-3, -4, 1]\nradius = 0\nemission = [90, 90, 90]\n\n"
        "[[light]]\nposition = [4, -3, -2]\nradius = 0.5\nemission = [60, 60, 55]\n";
    return text;
}

}  // namespace lucentor
