// The sample pipeline at width 1: the scalar path and the readable reference of the wider
// kernels, and the one-ray forms of its stages that the rest of the program and the tests
// call (trace, directLighting, sampleLightPoint, the materials, the camera ray).
#include <cassert>

#include "engine/kernel_headers.h"

namespace lucentor::scalar {

// NOLINTBEGIN(bugprone-suspicious-include): the fragments are written to be included here,
// in this order, each after what it uses.
// clang-format off
#include "simd/lanes_scalar.inl"
#include "simd/lane_math.inl"
#include "engine/lane_queries_scalar.inl"
#include "shading/materials_lanes.inl"
#include "shading/lighting_lanes.inl"
#include "engine/integrator.inl"
// clang-format on
// NOLINTEND(bugprone-suspicious-include)

SampleKernel sampleKernel() { return {kPacketWidth, kPacketHeight, renderTileLanes}; }

LanePrimitives lanePrimitives() { return lanePrimitivesOfLanes(); }

namespace {

Vec3 vec3Of(const Vec3Lanes& v) { return {v.x.value, v.y.value, v.z.value}; }

RayLanes rayLanesOf(const Ray& ray) {
    return {scalar::lanesOf(ray.origin), scalar::lanesOf(ray.direction), ray.t};
}

// A generator as the one lane's, handed back with its draws.
struct OneLane {
    RandomGenerator& generator;
    Generators lane;

    explicit OneLane(RandomGenerator& g) : generator(g), lane{g.state} {}
    OneLane(const OneLane&) = delete;
    OneLane& operator=(const OneLane&) = delete;
    OneLane(OneLane&&) = delete;
    OneLane& operator=(OneLane&&) = delete;
    ~OneLane() { generator.state = lane.state; }
};

constexpr Mask kOneLane{true};

}  // namespace
}  // namespace lucentor::scalar

namespace lucentor {

using scalar::kOneLane;
using scalar::OneLane;
using scalar::vec3Of;

Vec3 trace(Ray& ray, float depth, const Scene& scene, RandomGenerator& generator) {
    assert(depth >= 0.0f && depth <= kMaxDepth && depth == std::trunc(depth));
    const ShadingScene shading = makeShadingScene(scene);
    OneLane one{generator};
    scalar::RayLanes rays = scalar::rayLanesOf(ray);
    scalar::RayTreeStack stack{};
    const Vec3 color =
        vec3Of(scalar::traceLanes(shading, rays, kOneLane, int(depth), one.lane, stack));
    ray.t = rays.t.value;
    return color;
}

Vec3 directLighting(const Scene& scene, const Vec3& point, const Vec3& normal,
                    RandomGenerator& generator) {
    const ShadingScene shading = makeShadingScene(scene);
    OneLane one{generator};
    return vec3Of(scalar::directLightings(shading, scalar::lanesOf(point), scalar::lanesOf(normal),
                                          kOneLane, one.lane));
}

Vec3 sampleLightPoint(const Light& light, const Vec3& from, RandomGenerator& generator) {
    OneLane one{generator};
    return vec3Of(scalar::sampleLightPoints(light, makeLightGrid(light.radius),
                                            scalar::lanesOf(from), kOneLane, one.lane));
}

Vec3 checkerColor(const Checker& checker, const Vec3& point) {
    return vec3Of(scalar::checkerColors(scalar::lanesOf(point), scalar::checkersOf(checker)));
}

Surface surfaceOf(const HitRecord& hit, const Scene& scene, const Vec3& point) {
    const scalar::SurfaceLanes s =
        scalar::surfacesOf(scene, scalar::intsOf(int(hit.kind)), scalar::intsOf(int(hit.index)),
                           kOneLane, scalar::lanesOf(point));
    return {vec3Of(s.point), vec3Of(s.normal), vec3Of(s.color), s.material.value};
}

Vec3 refractedDirection(const Vec3& direction, const Vec3& normal, float index) {
    return vec3Of(
        scalar::refractedDirections(scalar::lanesOf(direction), scalar::lanesOf(normal), index));
}

Vec3 reflectedDirection(const Vec3& direction, const Vec3& normal) {
    return vec3Of(scalar::reflectedDirections(scalar::lanesOf(direction), scalar::lanesOf(normal)));
}

float fresnelReflectance(const Vec3& direction, const Vec3& turnedNormal, float index) {
    return scalar::fresnelReflectances(scalar::lanesOf(direction), scalar::lanesOf(turnedNormal),
                                       index)
        .value;
}

Ray cameraRay(const Camera& camera, float u, float v) {
    return scalar::rayOf(scalar::cameraRays(camera, u, v));
}

Ray RenderJob::jitteredRay(int x, int y, RandomGenerator& generator) const {
    const PixelCell cell = pixelCell(x, y);
    assert(cell.uHigh > cell.uLow && cell.vHigh > cell.vLow);
    OneLane one{generator};
    // Two statements: the first draw is the column's, the second the row's.
    const auto width = [](int low, int high) {
        return scalar::divisorsOf(scalar::intsOf(high - low));
    };
    const scalar::Floats u = scalar::jitterCoordinates(
        *this, scalar::intsOf(cell.uLow), width(cell.uLow, cell.uHigh), kOneLane, one.lane);
    const scalar::Floats v = scalar::jitterCoordinates(
        *this, scalar::intsOf(cell.vLow), width(cell.vLow, cell.vHigh), kOneLane, one.lane);
    return scalar::rayOf(scalar::cameraRays(*camera, u, v));
}

Vec3 RenderJob::samplePixel(int x, int y, RandomGenerator& generator) const {
    assert(shading.scene == scene);
    Ray ray = jitteredRay(x, y, generator);
    OneLane one{generator};
    scalar::RayLanes rays = scalar::rayLanesOf(ray);
    scalar::RayTreeStack stack{};
    return vec3Of(scalar::traceLanes(shading, rays, kOneLane, 0, one.lane, stack));
}

SampleKernel sampleKernelOf(SimdPath path) {
    switch (path) {
        case SimdPath::Avx512:
            return avx512::sampleKernel();
        case SimdPath::Avx2:
            return avx2::sampleKernel();
        case SimdPath::Scalar:
            break;
    }
    return scalar::sampleKernel();
}

LanePrimitives lanePrimitivesOf(SimdPath path) {
    switch (path) {
        case SimdPath::Avx512:
            return avx512::lanePrimitives();
        case SimdPath::Avx2:
            return avx2::lanePrimitives();
        case SimdPath::Scalar:
            break;
    }
    return scalar::lanePrimitives();
}

}  // namespace lucentor
