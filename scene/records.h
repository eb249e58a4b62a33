#pragma once

#include "scene/vec3.h"

namespace lucentor {

struct Scene;

// The distance every closest-hit query starts with. A ray whose t is still exactly this
// value afterwards hit nothing, so nothing at this distance or beyond is ever seen.
inline constexpr float kFarDistance = 100.0f;

// What a closest-hit query reports, stored as a float in HitRecord::kind.
enum class HitKind { Sphere = 0, Plane = 1, Light = 2, Triangle = 3 };

// Laid out like a Vec3; whether anything was hit is told by the ray's t, not by the record.
struct HitRecord {
    float kind = 0.0f;   // a HitKind as a whole number
    float index = 0.0f;  // the slot in the Scene array of that kind, as a whole number
    float spare = 0.0f;  // always 0
};

struct Sphere {
    Vec3 center;
    float radius = 0.0f;
    float radiusSquared = 0.0f;  // radius * radius in float, fixed when the sphere is made
    Vec3 color;
    float material = 0.0f;  // 0 diffuse, up to 1 mirror share, above 1 refractive index
};

// A material above 1 is a refractive index: the sphere is glass.
constexpr bool isRefractive(float material) { return material > 1.0f; }

// A checkerboard's squares, on the hit point's x and z whatever the plane's orientation: the
// colour of the square from (0, 0) to (size, size) and of every square sharing no side with
// it, the colour of the others, and the side of a square. The defaults are the presets'.
struct Checker {
    Vec3 first = {1.0f, 0.0f, 0.86f};  // magenta
    Vec3 second = {1.0f, 1.0f, 1.0f};  // white
    float size = 1.0f;                 // above 0
};

struct Plane {
    Vec3 point;
    Vec3 color;   // components adding up to exactly 0 select the checkerboard instead
    Vec3 normal;  // unit; its sign follows the mirrored plane test the presets are laid out for
    float material = 0.0f;  // as for Sphere
    Checker checker;        // read only where `color` selects the checkerboard
};

struct Light {
    Vec3 position;
    float radius = 0.0f;  // 0 for a point light, which rays never hit
    float radiusSquared = 0.0f;
    Vec3 emission;  // the colour given to addLight times its intensity
};

// A query ray, built on the caller's stack.
struct Ray {
    Vec3 origin;
    Vec3 direction;          // unit length for every query (the sphere test relies on it)
    float t = kFarDistance;  // distance of the nearest accepted hit so far

    // What the ray meets first among the spheres, planes and light spheres: lowers t to the
    // hit's distance and names the object hit; t unchanged means nothing was hit.
    HitRecord closestHit(const Scene& scene);

    // How much of a light the spheres and triangles on this shadow ray block, from 0 to 1 in
    // quarters (a glass sphere 0.5, a glass triangle 0.25, anything else all). Reads no t.
    float occlusion(const Scene& scene) const;
};

}  // namespace lucentor
