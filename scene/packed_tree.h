#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "scene/bvh.h"
#include "scene/leaf_slots.h"
#include "scene/records.h"

namespace lucentor {

// At most this many leaves fit a packed tree: the most spheres a scene holds.
inline constexpr int kMaxPackedLeaves = 1'000'000;

// What the walks read of a leaf's sphere: the very floats the sphere holds, so that the sphere
// tests compute on them exactly what they compute on the sphere. Leaves lie in the order the
// walks meet them, so neighbouring rays read neighbouring records.
struct alignas(16) PackedLeaf {
    Vec3 center;
    float radiusSquared = 0.0f;
};

// What a query answers of a leaf beyond its sphere test: the sphere's slot in Scene::leaves
// (-1 when the tree was packed without knowing it) and whether it is refractive, which halves
// the light it blocks. Kept in the parent node, in room the node's alignment leaves unused.
// Coded as slot * 2, plus 1 for a refractive sphere.
struct LeafTag {
    std::int32_t code = -2;
};

constexpr LeafTag leafTagOf(int slot, bool refractive) { return {slot * 2 + (refractive ? 1 : 0)}; }

constexpr int slotOf(LeafTag tag) { return tag.code >> 1; }  // rounds down: -2 and -1 give -1

constexpr bool isRefractive(LeafTag tag) { return (tag.code & 1) != 0; }

// One inner node of a packed tree, one cache line. Both children's boxes sit side by side, so
// that the ray queries test the two with one run of four-lane arithmetic, and the children are
// found by index in one contiguous array rather than by pointer.
struct alignas(64) PackedNode {
    // Per axis x, y, z: the left child's min, the right child's min, the left max, the right
    // max.
    std::array<std::array<float, 4>, 3> slabs{};
    // Left, then right: an inner node's index in PackedTree::nodes, or ~k for leaves[k].
    std::array<std::int32_t, 2> children{};
    std::array<LeafTag, 2> leafTags{};  // for leaf children only
};
static_assert(sizeof(PackedNode) == 64, "a packed node fills exactly one cache line");

constexpr bool isPackedLeaf(std::int32_t child) { return child < 0; }

constexpr std::int32_t packedLeafSlot(std::int32_t child) { return ~child; }

// A read-only copy of a hierarchy whose root is an inner node, for the ray queries: the same
// boxes, the same children in the same order, and each leaf's sphere as the walks read it.
// The BvhNode tree stays the record of the hierarchy; this copy is made from it once, after
// it is built, and the queries use it only while `source` is still the scene's root.
struct PackedTree {
    const BvhNode* source = nullptr;  // the root it was made from; null when there is none
    int nodeCount = 0;
    int leafCount = 0;
    int innerLevels = 0;            // inner nodes on the longest path down from the root
    std::vector<PackedNode> nodes;  // nodes[0] is the root
    std::vector<PackedLeaf> leaves;
};

// Whether `packed` is a copy of the tree below `root`, so that a query may walk it instead.
constexpr bool isCopyOf(const PackedTree& packed, const BvhNode* root) {
    return root != nullptr && packed.source == root;
}

// Copies the tree below `root` into `packed`, depth first and left first, tagging each leaf
// with its slot in `slots`. Leaves `source` null when root is null or a leaf, or when the
// tree has more than `maxLeaves` leaves (no tree the builder makes from a scene has more than
// kMaxPackedLeaves).
void packTree(BvhNode* root, const LeafSlots& slots, PackedTree& packed,
              int maxLeaves = kMaxPackedLeaves);

}  // namespace lucentor
