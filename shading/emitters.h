#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/scene.h"

namespace lucentor {

// How the path integrator finds the light of emissive surfaces and sphere lights: both ways,
// weighted by multiple importance sampling, or only one of them (for the tests, which check
// that all three converge to the same picture). Point lights are always sampled, the sky
// always found by bounce rays: neither has another way.
enum class PathStrategy { Combined, LightsOnly, BouncesOnly };

// What the path integrator's light sampling picks from: every point light, sphere light and
// emissive triangle of a scene.
enum class EmitterKind : std::int32_t { Point = 0, Sphere = 1, Triangle = 2 };

// One light as the sampler reads it, copied out of the scene so that a sample touches one
// record. `origin` is a light's position or a triangle's first corner.
struct Emitter {
    EmitterKind kind = EmitterKind::Point;
    Vec3 origin;
    Vec3 sideA;  // a triangle's edges from its first corner; (0, 0, 0) for the others
    Vec3 sideB;
    Vec3 normal;                 // a triangle's unit normal, sideA x sideB: the side it emits to
    float radiusSquared = 0.0f;  // a sphere light's
    float area = 0.0f;           // a triangle's
    Vec3 emission;               // a point light's intensity, the others' radiance
    float probability = 0.0f;    // of being picked: cdf minus the previous entry
};

// An emitter's fields as the lanes gather them, each a float: the kind (its EmitterKind's
// number), origin, sideA, sideB, normal (x, y, z each), radiusSquared, area, emission (x, y, z),
// probability.
inline constexpr std::size_t kEmitterFields = 19;

// The widest lanes' width: a table of no more emitters is read by permuting a row of each field.
inline constexpr std::size_t kFieldRow = 16;

// The lights of a scene and the distribution they are picked by, proportional to their
// power. Built once before rendering, read-only afterwards.
struct EmitterTable {
    std::vector<Emitter> emitters;
    std::vector<float> cdf;  // ascending, the last exactly 1; empty without emitters
    // Each of the scene's lights' probability of being picked, by slot: what a bounce ray that
    // meets a sphere light weighs its emission by.
    std::array<float, kMaxSceneLights> lightProbabilities{};
    // pi over the total power: an emissive triangle of radiance L is picked per unit area with
    // probability selectionWeight(L) times this, whatever its area.
    float trianglePdfScale = 0.0f;
    // The emitters' fields side by side, one array a field in kEmitterFields' order, each
    // padded with zeros to at least kFieldRow floats.
    std::array<std::vector<float>, kEmitterFields> fields;
};

// The part of a radiance or intensity the power is measured by: the mean of the channels,
// 0 for anything not above 0 (NaN included). selectionWeights (shading/emitters_lanes.h) of one
// emission.
float selectionWeight(const Vec3& emission);

EmitterTable makeEmitterTable(const Scene& scene);

// The emitter that `u` (0 to below 1) picks: the first whose cdf exceeds u. The table must
// hold at least one emitter.
int emitterAt(const EmitterTable& table, float u);

}  // namespace lucentor
