#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "scene/bvh.h"
#include "scene/leaf_slots.h"
#include "scene/mesh.h"
#include "scene/packed_tree.h"
#include "scene/records.h"
#include "scene/wide_tree.h"

namespace lucentor {

// How many spheres, planes and lights a scene holds at most; an add past a limit does nothing.
struct SceneLimits {
    int spheres = 0;
    int planes = 0;
    int lights = 0;
};

// The container of the presets and the window programs.
inline constexpr SceneLimits kPresetLimits{110, 10, 10};
inline constexpr int kMaxSpheres = kPresetLimits.spheres;
inline constexpr int kMaxPlanes = kPresetLimits.planes;
inline constexpr int kMaxLights = kPresetLimits.lights;
static_assert(kWideTreeThreshold == kPresetLimits.spheres,
              "every preset, and every scene no larger, keeps the seed's hierarchy");

// The container of scene files. Planes and lights are tested one by one for every ray.
inline constexpr SceneLimits kSceneFileLimits{1'000'000, 64, 64};
inline constexpr int kMaxSceneLights = kSceneFileLimits.lights;  // the most of any scene
static_assert(kSceneFileLimits.spheres <= 1 << 24, "hit records name slots exactly as floats");
static_assert(kSceneFileLimits.spheres <= kMaxPackedLeaves,
              "every tree of a scene must fit a packed tree");

// A sphere of a scene past kWideTreeThreshold spheres together with its leaf, made in blocks
// of kPooledBlock that the scene owns: one allocation for thousands of spheres instead of two
// heap records each (112 bytes a sphere with the allocator's headers, 88 here).
struct PooledSphere {
    BvhNode leaf;
    Sphere sphere;

    PooledSphere() = default;
    // The sphere is this record's, not the leaf's: cleared before the leaf's destructor runs.
    ~PooledSphere() { leaf.sphere = nullptr; }
    PooledSphere(const PooledSphere&) = delete;
    PooledSphere& operator=(const PooledSphere&) = delete;
    PooledSphere(PooledSphere&&) = delete;
    PooledSphere& operator=(PooledSphere&&) = delete;
};

inline constexpr int kPooledBlock = 4096;

// One triangle of a scene's meshes as the shading reads it.
struct TriangleShading {
    std::array<Vec3, 3> corners;
    std::array<Vec3, 3> normals;  // the vertex normals, where `smooth`
    bool smooth = false;
    std::array<TexCoord, 3> uvs;  // (0, 0) each where the mesh has none
    const MeshMaterial* material = nullptr;
    const Texture* texture = nullptr;  // the base colour's, or null
};

// Where a scene file's camera stands and looks: the eye, the point it looks at, the direction
// drawn upward, and the vertical field of view in degrees. A mirrored pose draws its picture
// left to right as a mirror shows it, as the fixed camera draws the presets.
struct CameraPose {
    Vec3 position;
    Vec3 lookAt;
    Vec3 up;
    float fovDegrees = 0.0f;
    bool mirrored = false;
};

// How rays meet the planes. Mirrored: a ray meets a plane where it meets the plane's mirror
// image through the ray's origin, and only travelling along the normal (the presets are laid
// out for it). Geometric: where the plane is, from either side.
enum class PlaneRule { Mirrored, Geometric };

// How light reaches the camera. Direct: the seed's renderer, lights seen straight from each
// surface and the delta paths of mirrors and glass. Path: light that bounces, unbiased, with
// physical units (a point light's emission is its intensity, a sphere light's and an emissive
// surface's the radiance of their surface).
enum class Integrator { Direct, Path };

// The path integrator's most surface interactions along a path, unless a scene says otherwise;
// a path that reaches its scene's maximum ends there.
inline constexpr int kDefaultMaxDepth = 8;
inline constexpr int kMaxPathDepth = 64;

// Everything rays can meet, in containers bounded by `limits`. Slots 0 to count - 1 hold the
// objects in order of addition; a slot number is the object's index in hit records. Filled on
// the main thread, then read by every render worker without locks.
//
// Up to kWideTreeThreshold spheres (every preset), each sphere and its leaf are heap records of
// their own, which the binary hierarchy in root owns once built. Past it, the scene keeps every
// sphere and leaf in `pool` (the ones made before are moved there when the threshold is
// passed) and builds no binary hierarchy: root stays null, and the queries walk the wide tree.
struct Scene {
    SceneLimits limits = kPresetLimits;  // raised only while the scene is empty
    int sphereCount = 0;
    int planeCount = 0;
    int lightCount = 0;
    // Owns every node and sphere; null until built, without spheres, or past
    // kWideTreeThreshold spheres. Set it through buildHierarchy, which also packs the tree: the
    // queries take the packed copy whenever its source is this root, so a root replaced by hand
    // must not reuse a freed root's address.
    BvhNode* root = nullptr;
    std::vector<BvhNode*> leaves;  // each sphere's leaf; refers, never owns
    // The spheres and leaves past kWideTreeThreshold spheres, kPooledBlock a block; empty below.
    std::vector<std::unique_ptr<PooledSphere[]>> pool;
    std::vector<Plane*> planes;
    std::vector<Light*> lights;
    // Placed meshes in order of addition; a triangle's slot in hit records counts through them
    // in that order. At most kMaxMeshTriangles triangles in all.
    std::vector<Mesh> meshes;
    std::size_t triangleCount = 0;
    std::vector<std::size_t> meshStarts;  // each mesh's first triangle in that count
    // Each triangle's mesh, by that count, once a second mesh is added (a single mesh needs no
    // table): shading finds a hit's mesh by one read instead of a search through meshStarts.
    std::vector<std::uint32_t> triangleMeshes;
    PackedTree packedTree;  // root's tree as the queries walk it, made by buildHierarchy
    WideTree wideTree;      // the queries' tree instead, past kWideTreeThreshold spheres
    PlaneRule planeRule = PlaneRule::Mirrored;
    std::optional<CameraPose> camera;  // a scene file's own camera; the fixed one otherwise
    Integrator integrator = Integrator::Direct;
    int maxDepth = kDefaultMaxDepth;  // the path integrator's, 1 to kMaxPathDepth
    Vec3 background;  // the radiance of every ray that meets nothing, in both integrators

    Scene() = default;
    // Releases the hierarchy (every node and sphere) or the pool, then the planes, then the
    // lights.
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
    // Adds a placed mesh, unless its triangles would take the scene past kMaxMeshTriangles:
    // then nothing is added and the answer is false.
    bool addMesh(Mesh mesh);
    // The triangle of `index`, counted through the meshes in order; below triangleCount.
    TriangleShading triangleShading(std::size_t index) const;

    // The sphere in `slot`, below sphereCount. A pooled sphere is found from its slot alone,
    // without reading its leaf's address from `leaves` first: after a hit in a big scene,
    // that is one cache miss instead of two.
    const Sphere& sphereAt(std::size_t slot) const {
        if (pool.empty()) return *leaves[slot]->sphere;
        constexpr std::size_t kBlock = kPooledBlock;
        return pool[slot / kBlock][slot % kBlock].sphere;
    }

    // Builds a tree over the first `count` leaves of `nodes`, which are read and never changed,
    // and returns its root, or null when count <= 0 or depth > kMaxBuildDepth. Called with
    // depth 0, it gives every inner node two children and keeps every inner node within
    // kMaxBuildDepth levels of the root, whatever the spheres hold.
    static BvhNode* buildBvh(int depth, BvhNode* const* nodes, int count);

    // Makes the queries' tree over the spheres and meshes added so far: past kWideTreeThreshold
    // spheres a wide tree alone (root stays null); otherwise the hierarchy, stored in root, and
    // its packed copy, which the queries walk unless there are triangles: then a wide tree over
    // the spheres and triangles together, made for that root, answers them.
    void buildHierarchy() {
        if (sphereCount > kWideTreeThreshold) {
            buildWideTree(leaves, meshes, nullptr, wideTree);
            return;
        }
        root = buildBvh(0, leaves.data(), sphereCount);
        packTree(root, leafSlotsOf(leaves), packedTree);
        if (triangleCount > 0) buildWideTree(leaves, meshes, root, wideTree);
    }
};

}  // namespace lucentor
