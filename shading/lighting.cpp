#include "shading/lighting.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "query/geometry.h"
#include "shading/random.h"

namespace lucentor {
namespace {

// Radii above about 53687 would need a grid of more values than one draw gives. Such grids
// are cut to the widest centred one the draws cover: its points still lie in the ball, they
// are merely not spread over all of it.
constexpr float kMaxGridHalfWidth = 536870912.0f;  // 2^29 grid steps

// The grid of a light's ball along each axis, and its acceptance bound: everything the
// sampler needs that depends on the radius alone.
struct LightGrid {
    float halfWidth = 0.0f;
    int size = 0;  // points per axis, (k - halfWidth) grid steps from the centre; 0 when no
                   // grid point lies in the ball
    // The largest squared offset length whose rounded root is still within the radius. The
    // root rounds monotonically, so comparing squares with this bound accepts exactly the
    // offsets that comparing lengths with the radius would, without a root per attempt.
    float largestSquare = 0.0f;
    FixedDivisor bySize;  // draws are taken modulo size several times per shadow ray
};

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
    grid.bySize = makeFixedDivisor(std::uint32_t(grid.size));
    return grid;
}

// The presets sample one light over and over, so each thread keeps the grid of the radius it
// met last rather than working it out for every shadow ray.
struct CachedGrid {
    std::uint64_t radiusBits = ~std::uint64_t{0};  // no float's bits: empty at first
    LightGrid grid;
};

constinit thread_local CachedGrid cachedGrid;

const LightGrid& lightGrid(float radius) {
    const std::uint64_t bits = std::bit_cast<std::uint32_t>(radius);
    if (cachedGrid.radiusBits != bits) cachedGrid = {bits, makeLightGrid(radius)};
    return cachedGrid.grid;
}

float drawOffset(const LightGrid& grid) {
    return gridOffset(grid, int(remainder(std::uint32_t(threadRandom()), grid.bySize)));
}

// A random grid point of the ball, relative to its centre, by rejection: about two attempts
// on average, since the ball fills 52 % of its cube.
Vec3 ballOffset(float radius) {
    const LightGrid& grid = lightGrid(radius);
    if (grid.size == 0) return {};
    for (;;) {
        // Three separate statements fix the draw order: x, then y, then z.
        const float x = drawOffset(grid);
        const float y = drawOffset(grid);
        const float z = drawOffset(grid);
        if (!(squaredLength(x, y, z) > grid.largestSquare)) return {x, y, z};
    }
}

// The shadow ray's target for one light: a random point of a spherical light, the position
// of a point light.
Vec3 lightTarget(const Light& light, const Vec3& from) {
    return light.radius > 0.0f ? sampleLightPoint(light, from) : light.position;
}

}  // namespace

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

Vec3 sampleLightPoint(const Light& light, const Vec3& from) {
    const Vec3 target = light.position + ballOffset(light.radius);
    const Vec3 v = target - from;
    const Vec3 u = v * (1.0f / length(v));

    // Near intersection of the line of sight with the light's sphere. The target lies in the
    // ball, so d2 exceeds radiusSquared only by rounding: at a grazing line of sight, or for
    // any line at all when the radius is tiny. The root is then 0, the tangent point, where
    // a NaN would throw the point 100 units away.
    const ClosestApproach line = closestApproach(from, u, light.position);
    const float t0 = line.tca - squareRootOfRounded(light.radiusSquared - line.d2);
    const float distance = (t0 > 0.0f && t0 < kFarDistance) ? t0 : kFarDistance;
    return from + u * distance;
}

ShadowRay shadowRayTo(const Light& light, const Vec3& start) {
    const Vec3 toLight = lightTarget(light, start) - start;
    const float inverseDistance = 1.0f / length(toLight);
    return {Ray{start, toLight * inverseDistance, 0.0f}, inverseDistance};
}

Vec3 shadowStart(const Vec3& point, const Vec3& normal) { return point - normal * kSurfaceOffset; }

Vec3 withLight(const Vec3& result, const Light& light, const ShadowRay& shadow, float blocked,
               const Vec3& normal) {
    if (!(blocked < 1.0f)) return result;
    float factor = dot(shadow.ray.direction, normal) * (1.0f - blocked);
    // Lit alike from either side of the normal.
    if (factor < 0.0f) factor = -factor;
    return result + (light.emission * shadow.inverseDistance) * factor;
}

Vec3 directLighting(const Scene& scene, const Vec3& point, const Vec3& normal) {
    Vec3 result;
    const Vec3 start = shadowStart(point, normal);
    for (int i = 0; i < scene.lightCount; ++i) {
        const Light& light = *scene.lights[i];
        const ShadowRay shadow = shadowRayTo(light, start);
        result = withLight(result, light, shadow, shadow.ray.occlusion(scene), normal);
    }
    return result;
}

}  // namespace lucentor
