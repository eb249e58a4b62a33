#pragma once

#include <cstddef>
#include <cstdint>

#include "query/geometry.h"
#include "scene/bvh.h"
#include "scene/packed_tree.h"

namespace lucentor {

// The two forms of a hierarchy as the walks see them, so that each walk is written once: the
// BvhNode tree itself, which BvhNode's own operations walk, and its packed copy, which the
// scene queries walk. Both give the same children in the same order with the same boxes, and
// the same spans for them, bit for bit.

struct PointerTreeView {
    using Node = BvhNode;
    using Child = BvhNode*;

    static bool isLeaf(Child child) { return child->left == nullptr; }
    static BvhNode* leafNode(Child child) { return child; }
    static const Node& inner(Child child) { return *child; }
    static Child left(const Node& node) { return node.left; }
    static Child right(const Node& node) { return node.right; }
    static ChildSpans spans(const Ray& ray, const Vec3& inverse, const Node& node) {
        return {nodeSpan(ray, inverse, *node.left), nodeSpan(ray, inverse, *node.right)};
    }
};

struct PackedTreeView {
    using Node = PackedNode;
    using Child = std::int32_t;

    const PackedTree& tree;

    static bool isLeaf(Child child) { return isPackedLeaf(child); }
    BvhNode* leafNode(Child child) const { return tree.leaves[std::size_t(packedLeafSlot(child))]; }
    const Node& inner(Child child) const { return tree.nodes[std::size_t(child)]; }
    static Child left(const Node& node) { return node.children[0]; }
    static Child right(const Node& node) { return node.children[1]; }
    static ChildSpans spans(const Ray& ray, const Vec3& inverse, const Node& node) {
        return childSpans(ray, inverse, node);
    }
};

}  // namespace lucentor
