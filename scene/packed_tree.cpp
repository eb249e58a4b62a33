#include "scene/packed_tree.h"

namespace lucentor {
namespace {

void packBox(PackedNode& node, int side, const BvhNode& child) {
    node.slabs[0][side] = child.boxMin.x;
    node.slabs[0][side + 2] = child.boxMax.x;
    node.slabs[1][side] = child.boxMin.y;
    node.slabs[1][side + 2] = child.boxMax.y;
    node.slabs[2][side] = child.boxMin.z;
    node.slabs[2][side + 2] = child.boxMax.z;
}

// Where a child went in the packed tree.
struct PackedChild {
    std::int32_t reference = 0;
    LeafTag tag;
};

struct Packing {
    const LeafSlots& slots;
    int maxLeaves = 0;
    PackedTree& packed;
};

// Appends `child` (a leaf or an inner node with its subtree) and tells where it went, or
// fails when the packed tree is full.
bool packChild(const BvhNode& child, int level, Packing& packing, PackedChild& placed);

// Appends the inner node `node` with its subtree, or fails when the packed tree is full.
bool packInner(const BvhNode& node, int level, Packing& packing) {
    PackedTree& packed = packing.packed;
    if (packed.nodeCount >= packing.maxLeaves - 1) return false;
    if (level >= packed.innerLevels) packed.innerLevels = level + 1;
    const int index = packed.nodeCount++;
    packed.nodes.emplace_back();
    packBox(packed.nodes[std::size_t(index)], 0, *node.left);
    packBox(packed.nodes[std::size_t(index)], 1, *node.right);
    PackedChild left;
    PackedChild right;
    if (!packChild(*node.left, level + 1, packing, left) ||
        !packChild(*node.right, level + 1, packing, right)) {
        return false;
    }
    packed.nodes[std::size_t(index)].children = {left.reference, right.reference};
    packed.nodes[std::size_t(index)].leafTags = {left.tag, right.tag};
    return true;
}

bool packChild(const BvhNode& child, int level, Packing& packing, PackedChild& placed) {
    PackedTree& packed = packing.packed;
    if (child.left != nullptr) {
        placed.reference = packed.nodeCount;
        return packInner(child, level, packing);
    }
    if (packed.leafCount >= packing.maxLeaves) return false;
    placed.reference = ~std::int32_t(packed.leafCount++);
    const Sphere& sphere = *child.sphere;
    placed.tag = leafTagOf(packing.slots.find(&child), isRefractive(sphere.material));
    packed.leaves.push_back({sphere.center, sphere.radiusSquared});
    return true;
}

}  // namespace

void packTree(BvhNode* root, const LeafSlots& slots, PackedTree& packed, int maxLeaves) {
    packed = PackedTree{};
    if (root == nullptr || root->left == nullptr) return;
    Packing packing{slots, maxLeaves, packed};
    if (packInner(*root, 0, packing)) {
        packed.source = root;
    } else {
        packed = PackedTree{};
    }
}

}  // namespace lucentor
