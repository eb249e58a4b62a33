#include "shading/light_sampling.h"

#include <cmath>
#include <limits>

#include "query/packet.h"

namespace lucentor {
namespace {

// Radii above about 53687 would need a grid of more values than one draw gives. Such grids
// are cut to the widest centred one the draws cover: its points still lie in the ball, they
// are merely not spread over all of it.
constexpr float kMaxGridHalfWidth = 536870912.0f;  // 2^29 grid steps

float gridOffset(const LightGrid& grid, int k) {
    return (float(k) - grid.halfWidth) * kLightGridStep;
}

float squaredLength(float x, float y, float z) { return x * x + y * y + z * z; }

bool isWithin(float square, float radius) { return !(squareRoot(square) > radius); }

// Whether rejection sampling can ever accept: true when the grid point nearest the centre
// lies in the ball. Offsets grow monotonically away from k = floor(halfWidth) in both
// directions, and so does the rounded length, so that point decides for all of them.
bool gridReachesBall(const LightGrid& grid, float radius) {
    if (grid.size < 1) return false;
    const int below = int(grid.halfWidth);
    const int above = below + 1 < grid.size ? below + 1 : below;
    const float low = std::fabs(gridOffset(grid, below));
    const float high = std::fabs(gridOffset(grid, above));
    const float nearest = low < high ? low : high;
    return isWithin(squaredLength(nearest, nearest, nearest), radius);
}

}  // namespace

LightGrid makeLightGrid(float radius) {
    const float halfWidth = radius * kLightGridScale;
    // Not above 0 (NaN included): no grid at all. Every conversion below is then in range.
    if (!(halfWidth > 0.0f)) return {};
    const float clamped = halfWidth < kMaxGridHalfWidth ? halfWidth : kMaxGridHalfWidth;
    LightGrid grid;
    grid.halfWidth = clamped;
    grid.size = int(2.0f * clamped + 1.0f);
    if (!gridReachesBall(grid, radius)) return {};
    grid.largestSquare = largestAcceptedSquare(radius);
    return grid;
}

// Walks from radius^2 to the last square within the radius: a few steps, since radius^2 is
// within an ulp or two of it.
float largestAcceptedSquare(float radius) {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    float square = radius * radius;
    for (float up = std::nextafter(square, kInfinity); up != square && isWithin(up, radius);
         up = std::nextafter(square, kInfinity)) {
        square = up;
    }
    while (!isWithin(square, radius)) square = std::nextafter(square, -kInfinity);
    return square;
}

ShadingScene makeShadingScene(const Scene& scene) {
    ShadingScene shading;
    shading.scene = &scene;
    for (int i = 0; i < scene.lightCount; ++i) {
        shading.lightGrids[std::size_t(i)] = makeLightGrid(scene.lights[std::size_t(i)]->radius);
    }
    shading.packetWalks = packetWalksApply(scene);
    if (scene.integrator == Integrator::Path) shading.emitters = makeEmitterTable(scene);
    return shading;
}

}  // namespace lucentor
