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

// Appends `child` (a leaf or an inner node with its subtree) and gives its reference, or
// nothing when the packed tree is full.
bool packChild(BvhNode* child, int level, int maxLeaves, PackedTree& packed,
               std::int32_t& reference);

// Appends the inner node `node` with its subtree, or fails when the packed tree is full.
bool packInner(const BvhNode& node, int level, int maxLeaves, PackedTree& packed) {
    if (packed.nodeCount >= maxLeaves - 1) return false;
    if (level >= packed.innerLevels) packed.innerLevels = level + 1;
    const int index = packed.nodeCount++;
    packed.nodes.emplace_back();
    packBox(packed.nodes[std::size_t(index)], 0, *node.left);
    packBox(packed.nodes[std::size_t(index)], 1, *node.right);
    std::int32_t left = 0;
    std::int32_t right = 0;
    if (!packChild(node.left, level + 1, maxLeaves, packed, left) ||
        !packChild(node.right, level + 1, maxLeaves, packed, right)) {
        return false;
    }
    packed.nodes[std::size_t(index)].children = {left, right};
    return true;
}

bool packChild(BvhNode* child, int level, int maxLeaves, PackedTree& packed,
               std::int32_t& reference) {
    if (child->left != nullptr) {
        reference = packed.nodeCount;
        return packInner(*child, level, maxLeaves, packed);
    }
    if (packed.leafCount >= maxLeaves) return false;
    reference = ~std::int32_t(packed.leafCount++);
    packed.leaves.push_back(child);
    return true;
}

}  // namespace

void packTree(BvhNode* root, PackedTree& packed, int maxLeaves) {
    packed = PackedTree{};
    if (root == nullptr || root->left == nullptr) return;
    if (packInner(*root, 0, maxLeaves, packed)) {
        packed.source = root;
    } else {
        packed = PackedTree{};
    }
}

}  // namespace lucentor
