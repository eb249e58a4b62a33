#pragma once

#include <functional>
#include <random>

#include "scene/scene.h"

namespace lucentor::testing {

// Fills an empty scene with a random, crowded and overlapping set of up to kMaxSpheres
// spheres (diffuse, mirror and glass), up to kMaxPlanes planes and up to kMaxLights lights
// (point and spherical) in a cube of half-width 10 around the origin, its planes under either
// rule, and builds its
// hierarchy. Every value is finite: these scenes test the queries' answers, not their
// robustness.
void fillRandomScene(Scene& scene, std::mt19937& random);

// A ray from somewhere in the same cube in a random unit direction, with t = kFarDistance.
Ray randomRay(std::mt19937& random);

// A ray that makes the slab arithmetic meet its special cases (for a scene with spheres):
// a direction along an axis or in an axis plane (infinite reciprocals) from a corner of a
// leaf's box (0 times infinity), and for `kind` above 0 an origin with a NaN or infinite
// component, so that grazes and NaN spans, where the operand order of each min and max
// decides, are reached.
Ray awkwardRay(const Scene& scene, std::mt19937& random, int kind);

// A unit vector in float arithmetic, normalised the way the renderer normalises.
Vec3 normalized(const Vec3& v);

// Calls `check` for `raysPerScene` random rays in each of `scenes` random scenes, all drawn
// from `seed`; `check` returns false to stop at the first failure. The case number names
// the scene, the ray number the ray within it.
void forRandomQueries(
    unsigned seed, int scenes, int raysPerScene,
    const std::function<bool(const Scene&, Ray&, int caseNumber, int rayNumber)>& check);

}  // namespace lucentor::testing
