#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/bvh.h"
#include "scene/mesh.h"
#include "scene/packed_tree.h"
#include "scene/records.h"

namespace lucentor {

// Scenes of more spheres than this get a wide tree for their queries (see WideTree); up to it,
// the queries walk the binary hierarchy. The presets' container: every preset, and every scene
// file no larger, keeps the walks over the hierarchy the builder makes.
inline constexpr int kWideTreeThreshold = 110;

// Children per node of a wide tree, tested side by side in runs of four-lane arithmetic. Eight
// rather than four: the tree of a million spheres has 7 levels instead of 10, so that a ray
// that walks it alone waits on fewer misses one after another.
inline constexpr int kWideChildren = 8;

// Spheres per leaf of a wide tree at most.
inline constexpr int kWideLeafSpheres = 4;

// The most node levels of a wide tree: the builder halves its lists from half this depth on.
inline constexpr int kMaxWideLevels = 48;

// Triangles per leaf of a wide tree at most.
inline constexpr int kWideLeafTriangles = 4;

// One node of a wide tree: per axis the children's box corners side by side, then the
// children (256 bytes, four cache lines). A child is an inner node's index in WideTree::nodes, or a
// leaf: ~k for WideTree::leaves[k], holding `counts` spheres, or, where the count carries
// kTriangleLeafFlag, for WideTree::triangleLeaves[k], holding its low bits' triangles. An
// unused child has count 0, an inner child kInnerChild; an unused child's box is all NaN,
// which every box test misses.
struct alignas(64) WideNode {
    std::array<std::array<float, kWideChildren>, 3> boxMin{};
    std::array<std::array<float, kWideChildren>, 3> boxMax{};
    std::array<std::int32_t, kWideChildren> children{};
    std::array<std::uint8_t, kWideChildren> counts{};
};

// The size of a cache line, by which the walks fetch a node's lines ahead of its visit.
inline constexpr std::size_t kCacheLineBytes = 64;

// The spheres of one leaf as the wide walks read them, component by component so that one run
// of four-lane arithmetic tests them all: each sphere's own floats, and its slot in
// Scene::leaves with whether it is glass as a LeafTag. Lanes past the leaf's count hold zeros.
struct alignas(16) WideLeaf {
    std::array<float, kWideLeafSpheres> centerX{};
    std::array<float, kWideLeafSpheres> centerY{};
    std::array<float, kWideLeafSpheres> centerZ{};
    std::array<float, kWideLeafSpheres> radiusSquared{};
    std::array<LeafTag, kWideLeafSpheres> tags{};
};

// The triangles of one leaf as the triangle test over lanes reads them: each corner's
// coordinates component by component, and each triangle's index among the scene's triangles
// (counted through its meshes in order) with whether it is glass as a LeafTag. Lanes past the
// leaf's count hold zeros.
struct alignas(16) WideTriangleLeaf {
    std::array<std::array<std::array<float, kWideLeafTriangles>, 3>, 3> corners{};  // [v][axis]
    std::array<LeafTag, kWideLeafTriangles> tags{};
};

// The walks name a hit by one number, so that one rule orders every tie: a sphere by its slot,
// a triangle by kTriangleHitBase plus its index. At equal distances a sphere wins over a
// triangle and a lower index over a higher one.
inline constexpr int kTriangleHitBase = 1 << 24;
static_assert(kMaxMeshTriangles < std::size_t(kTriangleHitBase),
              "triangle indices must stay exact as floats in hit records");

// Trees past this many bytes of nodes and leaves outgrow the caches of the machine measured
// (32 MB last level): the packet walks fetch their lines ahead, and test a triangle leaf that
// one lane reaches by that lane's one-ray test. Below it both only cost: fetching ahead made a
// pass at 100,000 spheres 8 % longer (one worker, medians of five alternating runs); in the
// Cornell box the one-ray leaf tests took 5 % of a pass and the walks took no less.
inline constexpr std::size_t kPastCachesBytes = std::size_t{16} << 20;

// A tree of kWideChildren-wide nodes over a scene's spheres, built with a binned surface-area
// heuristic for the queries of big scenes: a few levels of nodes whose children are tested
// together, and leaves of up to kWideLeafSpheres spheres lying side by side. Unlike the
// binary hierarchy, its walks' answers do not depend on its shape or on the order of the walk
// (see closestWideHit): every box is widened by `pad` beyond its spheres, so that the spheres
// that count are, but for rare grazing hits, every sphere the ray's sphere test accepts.
struct WideTree {
    // The root of the scene it was built for: null for a scene past kWideTreeThreshold
    // spheres, which has no binary hierarchy.
    const BvhNode* source = nullptr;
    float pad = 0.0f;
    int levels = 0;               // node levels on the longest path down from nodes[0]
    std::vector<WideNode> nodes;  // nodes[0] is the root
    std::vector<WideLeaf> leaves;
    std::vector<WideTriangleLeaf> triangleLeaves;
    bool pastCaches = false;  // more than kPastCachesBytes of nodes and leaves
};

inline constexpr std::uint8_t kInnerChild = 0xff;

inline constexpr std::uint8_t kTriangleLeafFlag = 0x80;

constexpr bool isWideLeaf(std::uint8_t count) { return count != kInnerChild; }

// Of a leaf's count: whether it holds triangles, and how many spheres or triangles.
constexpr bool isTriangleLeaf(std::uint8_t count) { return (count & kTriangleLeafFlag) != 0; }
constexpr int leafItemCount(std::uint8_t count) { return count & ~kTriangleLeafFlag; }

// The index in WideTree::leaves of a leaf child ~k.
constexpr std::size_t wideLeafIndex(std::int32_t child) {
    return std::size_t(std::uint32_t(~child));
}

// Whether the queries take `wide` for a scene whose root is `root`: a tree built for that
// root, or for no root when the scene has none.
inline bool isWideTreeOf(const WideTree& wide, const BvhNode* root) {
    return !wide.nodes.empty() && wide.source == root;
}

// Builds `wide` over the spheres of `leaves`, each named by its index there, and the triangles
// of `meshes`, named by their index counted through the meshes in order, for the scene whose
// hierarchy is `root` (null for a scene without one). Leaves `wide` empty when there is
// nothing to hold. A leaf holds spheres or triangles, never both.
void buildWideTree(const std::vector<BvhNode*>& leaves, const std::vector<Mesh>& meshes,
                   const BvhNode* root, WideTree& wide);

}  // namespace lucentor
