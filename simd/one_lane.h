#pragma once

// Between one ray's values and the width-1 lane types, for the one-ray forms that call the lane
// templates at width 1 (shading/*.cpp, engine/camera.cpp, engine/render_job.cpp). Baseline code
// of width 1 only: never included inside a kernel's target region.

#include "scene/scene.h"
#include "shading/random.h"
#include "simd/lane_math.h"
#include "simd/lanes_scalar.h"

namespace lucentor::scalar {

using Vec3Lanes = lucentor::Vec3Lanes<Lanes>;
using RayLanes = lucentor::RayLanes<Lanes>;

inline Vec3 vec3Of(const Vec3Lanes& v) { return {v.x.value, v.y.value, v.z.value}; }

inline Vec3Lanes lanesOf(const Vec3& v) { return lucentor::lanesOf<Lanes>(v); }

inline RayLanes rayLanesOf(const Ray& ray) {
    return {lanesOf(ray.origin), lanesOf(ray.direction), ray.t};
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

inline constexpr Mask kOneLane{true};

}  // namespace lucentor::scalar
