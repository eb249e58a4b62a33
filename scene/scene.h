#pragma once

#include <array>
#include <optional>

#include "scene/bvh.h"
#include "scene/packed_tree.h"
#include "scene/records.h"

namespace lucentor {

inline constexpr int kMaxSpheres = 110;
inline constexpr int kMaxPlanes = 10;
inline constexpr int kMaxLights = 10;
static_assert(kMaxSpheres <= kMaxPackedLeaves, "every tree of a scene must fit a packed tree");

// The slot of each leaf in Scene::leaves, by the leaf's address: the closest-hit query names
// the sphere it hits by slot, once for every ray that hits one, and scanning up to 110 slots
// for it cost a tenth of a closest-hit query in the field. Open addressing with linear
// probing in a table over twice the largest sphere count, so probes stay short.
struct LeafSlots {
    static constexpr int kCapacity = 256;  // a power of two above 2 * kMaxSpheres
    std::array<const BvhNode*, kCapacity> leaves{};
    std::array<int, kCapacity> slots{};

    // Records that `leaf` stands in `slot`; a leaf recorded again keeps the later slot.
    void add(const BvhNode* leaf, int slot);
    // The slot recorded for `leaf`, or -1.
    int find(const BvhNode* leaf) const;
};

// Where a scene file's camera stands and looks: the eye, the point it looks at, the direction
// drawn upward, and the vertical field of view in degrees.
struct CameraPose {
    Vec3 position;
    Vec3 lookAt;
    Vec3 up;
    float fovDegrees = 0.0f;
};

// How rays meet the planes. Mirrored: a ray meets a plane where it meets the plane's mirror
// image through the ray's origin, and only travelling along the normal (the presets are laid
// out for it). Geometric: where the plane is, from either side.
enum class PlaneRule { Mirrored, Geometric };

// Everything rays can meet, in fixed-capacity arrays. Slots 0 to count - 1 hold the objects
// in order of addition and the rest are null; a slot number is the object's index in hit
// records. Filled on the main thread, then read by every render worker without locks.
struct Scene {
    int sphereCount = 0;
    int planeCount = 0;
    int lightCount = 0;
    // Owns every node and sphere; null until built, or without spheres. Set it through
    // buildHierarchy, which also packs the tree: the queries take the packed copy whenever its
    // source is this root, so a root replaced by hand must not reuse a freed root's address.
    BvhNode* root = nullptr;
    std::array<BvhNode*, kMaxSpheres> leaves{};  // each sphere's leaf; refers, never owns
    std::array<Plane*, kMaxPlanes> planes{};
    std::array<Light*, kMaxLights> lights{};
    LeafSlots leafSlots;    // the slot of every leaf in `leaves`, kept by addSphere
    PackedTree packedTree;  // root's tree as the queries walk it, made by buildHierarchy
    PlaneRule planeRule = PlaneRule::Mirrored;
    std::optional<CameraPose> camera;  // a scene file's own camera; the fixed one otherwise

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

    // Builds the hierarchy over the spheres added so far, stores it in root and packs it for
    // the queries.
    void buildHierarchy() {
        root = buildBvh(0, leaves.data(), sphereCount);
        packTree(root, packedTree);
    }
};

}  // namespace lucentor
