#pragma once

// The path integrator, written once over the lane type (simd/lane_math.h): each lane is one
// path with its own generator, and every step runs across the lanes under a mask; a lane whose
// path has ended waits masked, drawing nothing, until the last one ends. Width 1 is the
// one-ray form (tracePath, shading/path.h); the wider kernels give the same bits lane by lane,
// since every operation here is IEEE-exact per lane and no lane's draws depend on another's.
// Templates only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "scene/scene.h"
#include "shading/emitters.h"
#include "shading/emitters_lanes.h"
#include "shading/lane_queries.h"
#include "shading/light_sampling.h"
#include "shading/lighting.h"
#include "shading/materials_lanes.h"
#include "simd/lane_math.h"

namespace lucentor {

// From this many surface interactions on, a path survives each further one only with a
// probability that follows its throughput (Russian roulette), at most kMostSurvival so that
// even a white room's paths end.
inline constexpr int kRouletteStart = 3;
inline constexpr float kMostSurvival = 0.95f;
// Shadow rays stop this share of their length short of the point of the light they aim at,
// so that they never meet the light itself; far beyond the hit tests' rounding.
inline constexpr float kShadowGap = 1.0e-4f;
inline constexpr float kInversePi = 0.318309886f;  // 1 / pi, rounded to float
inline constexpr float kTwoPi = 6.28318531f;       // 2 pi, rounded to float

// A uniform number in [0, 1) for each lane of `lanes`: the low 24 bits of its next draw,
// which a float holds exactly, so that no draw rounds up to 1.
template <class L>
inline Floats<L> uniforms(Generators<L>& generators, Mask<L> lanes) {
    constexpr float kUnit = 1.0f / 16777216.0f;  // 2^-24
    constexpr std::int32_t kLow24 = 0xFFFFFF;
    return toFloats(draw(generators, lanes) & intsOf<L>(kLow24)) * kUnit;
}

// A uniform point of the unit disk but its centre, and its squared distance from the centre
// (itself uniform in (0, 1]). By rejection from the square, x then y, about 1.27 attempts on
// average; a lane that has accepted waits until the last accepts. Lanes outside `lanes` get
// (0, 0) at squared distance 1.
template <class L>
struct DiskPoints {
    Floats<L> x;
    Floats<L> y;
    Floats<L> radiusSquared;
};

template <class L>
inline DiskPoints<L> diskPoints(Generators<L>& generators, Mask<L> lanes) {
    DiskPoints<L> point{0.0f, 0.0f, 1.0f};
    Mask<L> pending = lanes;
    while (any(pending)) {
        // Two statements fix the draw order: x, then y.
        const Floats<L> x = uniforms(generators, pending) * 2.0f - 1.0f;
        const Floats<L> y = uniforms(generators, pending) * 2.0f - 1.0f;
        const Floats<L> r2 = x * x + y * y;
        const Mask<L> accepted = pending & (r2 > 0.0f) & !(r2 > 1.0f);
        point.x = select(accepted, x, point.x);
        point.y = select(accepted, y, point.y);
        point.radiusSquared = select(accepted, r2, point.radiusSquared);
        pending = pending & !accepted;
    }
    return point;
}

// Two unit vectors that make a right-handed frame with the unit vector `n`, without a branch
// (Duff et al., "Building an orthonormal basis, revisited").
template <class L>
struct FrameLanes {
    Vec3Lanes<L> tangent;
    Vec3Lanes<L> bitangent;
};

template <class L>
inline FrameLanes<L> frameAround(const Vec3Lanes<L>& n) {
    const Floats<L> sign = select(n.z < 0.0f, Floats<L>(-1.0f), Floats<L>(1.0f));
    const Floats<L> a = -1.0f / (sign + n.z);
    const Floats<L> b = n.x * n.y * a;
    return {{1.0f + sign * n.x * n.x * a, sign * b, -sign * n.x}, {b, sign + n.y * n.y * a, -n.y}};
}

template <class L>
inline Vec3Lanes<L> normalized(const Vec3Lanes<L>& v) {
    return v * (1.0f / length(v));
}

// The directions from a point towards a sphere: the axis to its centre, and 1 - cos of the
// cone's half angle, from its product form sin^2 / (1 + cos), which keeps its digits where
// the cone is narrow and 1 - cos would cancel. `outside` is false for a point inside the
// sphere (or NaN), which sees no cone.
template <class L>
struct ConeLanes {
    Vec3Lanes<L> axis;
    Floats<L> oneMinusCos;
    Mask<L> outside;
};

template <class L>
inline ConeLanes<L> conesOf(const Vec3Lanes<L>& center, Floats<L> radiusSquared,
                            const Vec3Lanes<L>& from) {
    const Vec3Lanes<L> toCenter = center - from;
    const Floats<L> d2 = dot(toCenter, toCenter);
    const Floats<L> sin2 = radiusSquared / d2;
    const Floats<L> cosMax = sqrtOfRounded(1.0f - sin2);
    return {toCenter * (1.0f / sqrt(d2)), sin2 / (1.0f + cosMax), sin2 < 1.0f};
}

// The solid-angle density of a direction sampled uniformly in the cone, times the light's
// probability of being picked.
template <class L>
inline Floats<L> conePdfs(const ConeLanes<L>& cone, Floats<L> probability) {
    return probability / (kTwoPi * cone.oneMinusCos);
}

// The power heuristic's weight (exponent 2) of a strategy of density `pdf` against one of
// density `other`, as 1 / (1 + (other / pdf)^2), which neither overflows nor loses a tiny
// density; 1 where the other strategy could not have made the sample, 0 where this one
// could not (or its density is NaN).
template <class L>
inline Floats<L> misWeights(Floats<L> pdf, Floats<L> other) {
    const Floats<L> ratio = other / pdf;
    const Floats<L> weight = 1.0f / (1.0f + ratio * ratio);
    return select(other > 0.0f, select(weight >= 0.0f, weight, 0.0f), 1.0f);
}

// The weight of light found by sampling the lights (`byLights`) or by a bounce ray, of
// densities `pdf` and `other` for the two ways.
template <class L>
inline Floats<L> strategyWeights(PathStrategy strategy, bool byLights, Floats<L> pdf,
                                 Floats<L> other) {
    switch (strategy) {
        case PathStrategy::LightsOnly:
            return byLights ? 1.0f : 0.0f;
        case PathStrategy::BouncesOnly:
            return byLights ? 0.0f : 1.0f;
        case PathStrategy::Combined:
            break;
    }
    return misWeights(pdf, other);
}

// Each channel that is not finite taken as 0, so that no degenerate sample adds NaN or an
// infinity to a path's radiance.
template <class L>
inline Vec3Lanes<L> finiteOrZero(const Vec3Lanes<L>& v) {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    const auto finite = [](Floats<L> c) { return select(abs(c) < kInfinity, c, 0.0f); };
    return {finite(v.x), finite(v.y), finite(v.z)};
}

template <class L>
inline Floats<L> largestChannels(const Vec3Lanes<L>& v) {
    return max(max(v.x, v.y), v.z);
}

// The scene's lights of the lanes of `lanes`, by slot: centre, squared radius, emission and
// probability of being picked.
template <class L>
struct LightLanes {
    Vec3Lanes<L> center;
    Floats<L> radiusSquared;
    Vec3Lanes<L> emission;
    Floats<L> probability;
};

template <class L>
inline LightLanes<L> gatherLights(const ShadingScene& shading, Ints<L> slot, Mask<L> lanes) {
    alignas(64) std::array<std::int32_t, L::kWidth> slots{};
    storeInts(slots.data(), slot);
    std::array<FloatArray<L>, 8> values;
    for (int k = 0; k < L::kWidth; ++k) {
        if (!isSet(lanes, k)) continue;
        const auto lane = std::size_t(k);
        const auto index = std::size_t(slots[lane]);
        const Light& light = *shading.scene->lights[index];
        const std::array<float, 8> fields = {
            light.position.x, light.position.y,
            light.position.z, light.radiusSquared,
            light.emission.x, light.emission.y,
            light.emission.z, shading.emitters.lightProbabilities[index]};
        for (std::size_t i = 0; i < fields.size(); ++i) values[i].values[lane] = fields[i];
    }
    const auto at = [&values](std::size_t i) { return load<L>(values[i].values.data()); };
    return {{at(0), at(1), at(2)}, at(3), {at(4), at(5), at(6)}, at(7)};
}

// The emitters that the lanes' numbers `u` pick from the table, gathered from its fields;
// lanes outside `lanes` hold emitter 0's.
template <class L>
struct EmitterLanes {
    Floats<L> kind;  // the EmitterKind's number
    Vec3Lanes<L> origin;
    Vec3Lanes<L> sideA;
    Vec3Lanes<L> sideB;
    Vec3Lanes<L> normal;
    Floats<L> radiusSquared;
    Floats<L> area;
    Vec3Lanes<L> emission;
    Floats<L> probability;
};

template <class L>
inline EmitterLanes<L> pickEmitters(const EmitterTable& table, Floats<L> u, Mask<L> lanes) {
    const Ints<L> index = emittersAt(table, u, lanes);
    static_assert(std::size_t(L::kWidth) <= kFieldRow);
    const bool row = table.emitters.size() <= std::size_t(L::kWidth);
    const auto at = [&](std::size_t i) {
        const float* field = table.fields[i].data();
        return row ? lookup(field, index) : gather(field, index);
    };
    const auto vec = [&at](std::size_t i) { return Vec3Lanes<L>{at(i), at(i + 1), at(i + 2)}; };
    return {at(0), vec(1), vec(4), vec(7), vec(10), at(13), at(14), vec(15), at(18)};
}

// A direction from each lane's point into the cone that its sphere light subtends, at the
// disk point `disk`, where along it the sphere is met, its density and whether the point lies
// outside the sphere.
template <class L>
struct ConeSampleLanes {
    Vec3Lanes<L> direction;
    Floats<L> distance;
    Floats<L> pdf;
    Mask<L> outside;
};

template <class L>
inline ConeSampleLanes<L> sampleCones(const EmitterLanes<L>& e, const Vec3Lanes<L>& from,
                                      const DiskPoints<L>& disk) {
    // Into the cone, then out to where the direction meets the sphere.
    const ConeLanes<L> cone = conesOf(e.origin, e.radiusSquared, from);
    const Floats<L> a = disk.radiusSquared * cone.oneMinusCos;
    const Floats<L> cosTheta = 1.0f - a;
    const Floats<L> sinTheta = sqrtOfRounded(a * (2.0f - a));
    const FrameLanes<L> frame = frameAround(cone.axis);
    const Floats<L> across = sinTheta / sqrt(disk.radiusSquared);
    const Vec3Lanes<L> inCone = normalized(
        cone.axis * cosTheta + (frame.tangent * disk.x + frame.bitangent * disk.y) * across);
    const Vec3Lanes<L> toCenter = e.origin - from;
    const Floats<L> tca = dot(toCenter, inCone);
    const Vec3Lanes<L> offAxis = toCenter - inCone * tca;
    const Floats<L> distance = tca - sqrtOfRounded(e.radiusSquared - dot(offAxis, offAxis));
    return {inCone, distance, conePdfs(cone, e.probability), cone.outside};
}

// A direction towards a light from each lane's point: how far the light's point lies along it,
// the radiance arriving from it (a point light's intensity over the squared distance), and its
// density: per unit solid angle for sphere lights and triangles, the probability of the pick
// for a point light, whose light no bounce ray can find (`point`).
template <class L>
struct LightSampleLanes {
    Vec3Lanes<L> direction;
    Floats<L> distance;
    Vec3Lanes<L> radiance;
    Floats<L> pdf;
    Mask<L> valid;
    Mask<L> point;
};

// Picks one light for each lane of `lanes` by power and a point or direction of it: one draw
// for the pick, then a direction in the cone a sphere light subtends (diskPoints' draws) or a
// point of a triangle, uniform by area (two draws).
template <class L>
inline LightSampleLanes<L> sampleEmitters(const EmitterTable& table, const Vec3Lanes<L>& from,
                                          Mask<L> lanes, Generators<L>& generators) {
    const EmitterLanes<L> e = pickEmitters(table, uniforms(generators, lanes), lanes);
    const Mask<L> sphere = lanes & (e.kind == float(EmitterKind::Sphere));
    const Mask<L> triangle = lanes & (e.kind == float(EmitterKind::Triangle));
    const Mask<L> point = lanes & !sphere & !triangle;
    const DiskPoints<L> disk = diskPoints(generators, sphere);
    const Floats<L> u1 = uniforms(generators, triangle);
    const Floats<L> u2 = uniforms(generators, triangle);

    // Towards a point light, or a triangle's point.
    const Floats<L> root = sqrt(u1);
    const Vec3Lanes<L> onTriangle =
        e.origin + e.sideA * (root * (1.0f - u2)) + e.sideB * (root * u2);
    const Vec3Lanes<L> toPoint = select(triangle, onTriangle, e.origin) - from;
    const Floats<L> squared = dot(toPoint, toPoint);
    const Floats<L> distance = sqrt(squared);
    const Vec3Lanes<L> straight = toPoint * (1.0f / distance);
    const Floats<L> cosLight = -dot(straight, e.normal);
    const Floats<L> trianglePdf = e.probability / e.area * squared / cosLight;

    // Worked out only where a lane picked a sphere light: the other lanes take none of it.
    ConeSampleLanes<L> cone{};
    if (any(sphere)) cone = sampleCones(e, from, disk);

    LightSampleLanes<L> s;
    s.direction = select(sphere, cone.direction, straight);
    s.distance = select(sphere, cone.distance, distance);
    s.radiance = select(point, e.emission * (1.0f / squared), e.emission);
    s.pdf = select(sphere, cone.pdf, select(triangle, trianglePdf, e.probability));
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    const Mask<L> usable = (s.pdf > 0.0f) & (s.pdf < kInfinity) & (s.distance > 0.0f);
    s.valid = usable & (point | (sphere & cone.outside) | (triangle & (cosLight > 0.0f)));
    s.point = point;
    return s;
}

// One path per lane: where it has got to.
template <class L>
struct PathLanes {
    RayLanes<L> ray;
    Vec3Lanes<L> throughput;
    Vec3Lanes<L> radiance;
    Mask<L> alive;
    Mask<L> delta;        // the ray left a delta lobe (or the camera): emission at full weight
    Floats<L> bouncePdf;  // otherwise the solid-angle density it was sampled with
    Vec3Lanes<L> vertex;  // and the surface point it left, which its ray starts just off
};

template <class L>
inline void addLight(PathLanes<L>& path, Mask<L> lanes, const Vec3Lanes<L>& light) {
    path.radiance =
        select(lanes, path.radiance + finiteOrZero(path.throughput * light), path.radiance);
}

// Emission that the lanes' rays of `lanes` met on sphere lights, weighed against sampling
// them from the surface point the ray left.
template <class L>
inline Vec3Lanes<L> sphereLightEmissions(const ShadingScene& shading, PathLanes<L>& path,
                                         Ints<L> slots, Mask<L> lanes) {
    const LightLanes<L> light = gatherLights(shading, slots, lanes);
    const ConeLanes<L> cone = conesOf(light.center, light.radiusSquared, path.vertex);
    const Floats<L> lightPdf = conePdfs(cone, light.probability);
    const Floats<L> weight = strategyWeights(shading.pathStrategy, false, path.bouncePdf, lightPdf);
    return light.emission * select(path.delta, 1.0f, weight);
}

// The emission of the emissive triangles met from their front, weighed likewise: a triangle
// of radiance E is picked per unit area with density selectionWeight(E) times the table's
// scale, whatever its area.
template <class L>
inline Vec3Lanes<L> triangleEmissions(const ShadingScene& shading, const PathLanes<L>& path,
                                      const SurfaceLanes<L>& s) {
    const Floats<L> cosLight = -dot(path.ray.direction, s.geometric);
    const Vec3Lanes<L> travelled = s.point - path.vertex;
    const Floats<L> lightPdf = selectionWeights(s.emission) * shading.emitters.trianglePdfScale *
                               dot(travelled, travelled) / cosLight;
    const Floats<L> weight = strategyWeights(shading.pathStrategy, false, path.bouncePdf, lightPdf);
    return s.emission * select(path.delta, 1.0f, weight);
}

// Next-event estimation at the diffuse vertices `point` of `lanes`: one light picked by power,
// one shadow ray from `start` (just off the surface on the side the path arrived from) that
// treats every surface as opaque and stops short of the light's point, and the light's share
// colour / pi * cos, weighed against finding the light by a bounce. Distances and densities
// are the surface point's, not the shadow ray's start's.
template <class L>
inline void sampleLights(const ShadingScene& shading, PathLanes<L>& path, Mask<L> lanes,
                         const Vec3Lanes<L>& point, const Vec3Lanes<L>& start,
                         const Vec3Lanes<L>& normal, const Vec3Lanes<L>& color,
                         Generators<L>& generators) {
    if (shading.emitters.emitters.empty() || !any(lanes)) return;
    const LightSampleLanes<L> light = sampleEmitters(shading.emitters, point, lanes, generators);
    const Floats<L> cosine = dot(light.direction, normal);
    const Mask<L> facing = light.valid & (cosine > 0.0f);
    if (!any(facing)) return;
    // From the shadow ray's start to the light's point, which the offset moves a little.
    const Vec3Lanes<L> toLight = point + light.direction * light.distance - start;
    const Floats<L> length = sqrt(dot(toLight, toLight));
    const Floats<L> reach = length * (1.0f - kShadowGap);
    const Floats<L> limit = select(reach < kFarDistance, reach, kFarDistance);
    const RayLanes<L> shadow{start, toLight * (1.0f / length), limit};
    const Mask<L> unblocked = facing & !blockedRays(shading, shadow, facing);
    if (!any(unblocked)) return;
    const Floats<L> bsdfPdf = cosine * kInversePi;
    const Floats<L> weight =
        select(light.point, 1.0f, strategyWeights(shading.pathStrategy, true, light.pdf, bsdfPdf));
    const Vec3Lanes<L> arriving = light.radiance * (bsdfPdf * weight / light.pdf);
    addLight(path, unblocked, color * arriving);
}

// How a path leaves a surface: a delta lobe (a mirror's share, glass's Fresnel choice) or
// the diffuse lobe, cosine-sampled, after next-event estimation there.
template <class L>
inline void scatter(const ShadingScene& shading, PathLanes<L>& path, const SurfaceLanes<L>& s,
                    Mask<L> lanes, Generators<L>& generators) {
    const Vec3Lanes<L>& d = path.ray.direction;
    const Mask<L> arrivesFront = dot(d, s.normal) < 0.0f;
    const Vec3Lanes<L> facing = select(arrivesFront, s.normal, -s.normal);
    const Vec3Lanes<L> geometric = select(dot(d, s.geometric) < 0.0f, s.geometric, -s.geometric);
    const Vec3Lanes<L> front = s.point + geometric * kSurfaceOffset;
    const Vec3Lanes<L> back = s.point - geometric * kSurfaceOffset;
    const Floats<L> m = s.material;

    // One draw for the lanes with a delta lobe: a mirror's share or glass's Fresnel share.
    const Mask<L> glass = lanes & (m > 1.0f);
    const Floats<L> u = uniforms(generators, lanes & (m > 0.0f));
    const Floats<L> reflectance = fresnelReflectances(d, -facing, m);
    const Mask<L> refracted = glass & !(u < reflectance);
    const Mask<L> mirrored = (glass & !refracted) | (lanes & !glass & (m > 0.0f) & (u < m));
    const Mask<L> diffuse = lanes & !glass & !mirrored;

    sampleLights(shading, path, diffuse, s.point, front, facing, s.color, generators);
    const DiskPoints<L> disk = diskPoints(generators, diffuse);
    const Floats<L> up = sqrtOfRounded(1.0f - disk.radiusSquared);
    const FrameLanes<L> frame = frameAround(facing);
    const Vec3Lanes<L> bounced =
        normalized(frame.tangent * disk.x + frame.bitangent * disk.y + facing * up);

    const Vec3Lanes<L> reflected = reflectedDirections(d, s.normal);
    const Vec3Lanes<L> bent = refractedDirections(d, s.normal, m);
    path.ray.direction = select(diffuse, bounced, select(refracted, bent, reflected));
    path.ray.origin = select(refracted, back, front);
    path.ray.t = kFarDistance;
    path.throughput = select(lanes, path.throughput * s.color, path.throughput);
    path.delta = !diffuse;
    path.bouncePdf = up * kInversePi;
    path.vertex = s.point;
}

// Russian roulette for the lanes of `lanes`: each survives with the probability of its
// largest throughput channel, at most kMostSurvival, and carries the rest.
template <class L>
inline void playRoulette(PathLanes<L>& path, Mask<L> lanes, Generators<L>& generators) {
    const Floats<L> largest = largestChannels(path.throughput);
    const Floats<L> survival = min(largest, Floats<L>(kMostSurvival));
    const Floats<L> u = uniforms(generators, lanes);
    const Mask<L> survives = u < survival;
    path.throughput = select(survives, path.throughput * (1.0f / survival), path.throughput);
    path.alive = path.alive & survives;
}

// The radiance arriving along each lane's ray of `lanes`, unbiased up to the scene's most
// surface interactions: the background where a ray meets nothing, emission of sphere lights
// and of emissive triangles' fronts, light sampled at every diffuse vertex. Draws per vertex:
// the delta lobe's choice, next-event estimation, the diffuse bounce, the roulette.
template <class L>
inline Vec3Lanes<L> tracePathLanes(const ShadingScene& shading, const RayLanes<L>& rays,
                                   Mask<L> lanes, Generators<L>& generators) {
    const Scene& scene = *shading.scene;
    const int maxDepth = scene.maxDepth < kMaxPathDepth ? scene.maxDepth : kMaxPathDepth;
    PathLanes<L> path{
        rays, lanesOf<L>({1.0f, 1.0f, 1.0f}), Vec3Lanes<L>{}, lanes, lanes, 0.0f, rays.origin};
    for (int depth = 0;; ++depth) {
        const HitLanes<L> hit = closestHits(shading, path.ray, path.alive);
        const Mask<L> missed = path.alive & (path.ray.t == kFarDistance);
        addLight(path, missed, lanesOf<L>(scene.background));
        const Mask<L> light = path.alive & !missed & (hit.kind == intsOf<L>(int(HitKind::Light)));
        if (any(light))
            addLight(path, light, sphereLightEmissions(shading, path, hit.index, light));
        const Mask<L> surfaced = path.alive & !missed & !light;
        if (!any(surfaced)) break;
        const Vec3Lanes<L> point = path.ray.direction * path.ray.t + path.ray.origin;
        const SurfaceLanes<L> s =
            surfacesOf(scene, hit.kind, hit.index, surfaced, point, path.ray.direction);
        const Mask<L> emitting =
            surfaced & s.emissive & (dot(path.ray.direction, s.geometric) < 0.0f);
        if (any(emitting)) addLight(path, emitting, triangleEmissions(shading, path, s));
        if (depth >= maxDepth) break;
        scatter(shading, path, s, surfaced, generators);
        // A path whose throughput is 0 or not finite adds nothing more.
        const Floats<L> largest = largestChannels(path.throughput);
        path.alive =
            surfaced & (largest > 0.0f) & (largest < std::numeric_limits<float>::infinity());
        if (depth + 1 >= kRouletteStart) playRoulette(path, path.alive, generators);
        if (!any(path.alive)) break;
    }
    return path.radiance;
}

}  // namespace lucentor
