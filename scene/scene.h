#pragma once

#include <array>

#include "scene/bvh.h"
#include "scene/records.h"

namespace lucentor {

inline constexpr int kMaxSpheres = 110;
inline constexpr int kMaxPlanes = 10;
inline constexpr int kMaxLights = 10;

// Everything rays can meet, in fixed-capacity arrays. Slots 0 to count - 1 hold the objects
// in order of addition and the rest are null; a slot number is the object's index in hit
// records. Filled on the main thread, then read by every render worker without locks.
struct Scene {
    int sphereCount = 0;
    int planeCount = 0;
    int lightCount = 0;
    BvhNode* root = nullptr;  // owns every node and sphere; null until built, or without spheres
    std::array<BvhNode*, kMaxSpheres> leaves{};  // each sphere's leaf; refers, never owns
    std::array<Plane*, kMaxPlanes> planes{};
    std::array<Light*, kMaxLights> lights{};

    Scene() = default;
    // Releases the hierarchy (every node and sphere), then the planes, then the lights.
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    Scene(Scene&&) = delete;
    Scene& operator=(Scene&&) = delete;

    // Each add makes one record in the next free slot; on a full array it does nothing.
    // Arguments are stored as they come: nothing is validated or normalised.
    void addSphere(Vec3 center, float radius, Vec3 color, float material);
    void addPlane(Vec3 point, Vec3 color, Vec3 normal, float material);
    void addLight(Vec3 position, float radius, Vec3 color, float intensity);

    // Builds a tree over the first `count` (at most kMaxSpheres) leaves of `nodes`, which are
    // read and never changed, and returns its root, or null when count <= 0 or depth >
    // kMaxBuildDepth. Called with depth 0, it gives every inner node two children and keeps
    // every inner node within kMaxBuildDepth levels of the root, whatever the spheres hold.
    static BvhNode* buildBvh(int depth, BvhNode* const* nodes, int count);

    // Builds the hierarchy over the spheres added so far and stores it in root.
    void buildHierarchy() { root = buildBvh(0, leaves.data(), sphereCount); }
};

}  // namespace lucentor
