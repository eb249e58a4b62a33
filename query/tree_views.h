#pragma once

#include <cstddef>
#include <cstdint>

#include "query/geometry.h"
#include "scene/bvh.h"
#include "scene/packed_tree.h"

namespace lucentor {

// The two forms of a hierarchy as the walks see them, so that each walk is written once: the
// BvhNode tree itself, which BvhNode's own operations walk, and its packed copy, which the
// scene queries walk. Both give the same children in the same order with the same boxes, the
// same spans for them and the same sphere floats, bit for bit. A leaf found is named by a
// `Found` pointer, null for none: the leaf itself, or the packed leaf's tag.

struct PointerTreeView {
    using Node = BvhNode;
    using Child = BvhNode*;
    using Found = BvhNode*;

    static bool isLeaf(Child child) { return child->left == nullptr; }
    static const Sphere& sphereOf(Child child) { return *child->sphere; }
    static bool isGlass(Child child) { return isRefractive(child->sphere->material); }
    static Found found(Child child) { return child; }
    static const Node& inner(Child child) { return *child; }
    static Child left(const Node& node) { return node.left; }
    static Child right(const Node& node) { return node.right; }
    static ChildSpans spans(const Ray& ray, const Vec3& inverse, const Node& node) {
        return {nodeSpan(ray, inverse, *node.left), nodeSpan(ray, inverse, *node.right)};
    }
};

struct PackedTreeView {
    using Node = PackedNode;
    // A leaf's tag lives in its parent, so a child comes with it.
    struct Child {
        std::int32_t reference;
        const LeafTag* tag;
    };
    using Found = const LeafTag*;

    const PackedTree& tree;

    static bool isLeaf(Child child) { return isPackedLeaf(child.reference); }
    const PackedLeaf& sphereOf(Child child) const {
        return tree.leaves[std::size_t(packedLeafSlot(child.reference))];
    }
    static bool isGlass(Child child) { return isRefractive(*child.tag); }
    static Found found(Child child) { return child.tag; }
    const Node& inner(Child child) const { return tree.nodes[std::size_t(child.reference)]; }
    static Child left(const Node& node) { return {node.children[0], &node.leafTags[0]}; }
    static Child right(const Node& node) { return {node.children[1], &node.leafTags[1]}; }
    static ChildSpans spans(const Ray& ray, const Vec3& inverse, const Node& node) {
        return childSpans(ray, inverse, node);
    }
};

}  // namespace lucentor
