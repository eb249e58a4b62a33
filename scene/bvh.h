#pragma once

#include "scene/records.h"

namespace lucentor {

// The greatest depth at which the hierarchy builder still makes inner nodes. The traversals
// stop at the same depth, so a tree built within it is always walked completely.
inline constexpr int kMaxBuildDepth = 50;

// A node of the bounding volume hierarchy over the spheres. A leaf (left == nullptr) carries
// one sphere and the box center +- radius; an inner node carries no sphere, two non-null
// children and a box enclosing both of theirs. A node owns its sphere and its children.
struct BvhNode {
    Vec3 boxMin;
    Vec3 boxMax;
    Sphere* sphere = nullptr;  // set exactly in a leaf
    BvhNode* left = nullptr;   // null exactly in a leaf
    BvhNode* right = nullptr;

    BvhNode() = default;
    // Frees the sphere, then the left subtree, then the right one.
    ~BvhNode();
    BvhNode(const BvhNode&) = delete;
    BvhNode& operator=(const BvhNode&) = delete;
    BvhNode(BvhNode&&) = delete;
    BvhNode& operator=(BvhNode&&) = delete;

    // The walks below are asked of inner nodes only; they never test this node's own box.

    // True when the left child's box is entered strictly nearer than the right child's.
    bool leftChildFirst(const Ray& ray) const;

    // The leaf whose sphere the ray hits nearest below this node, having lowered ray.t to that
    // hit, or null with ray.t unchanged. depth counts the levels where both children were hit.
    BvhNode* intersect(int depth, Ray& ray) const;

    // The blocking amount of the spheres below this node: 0, 0.5 or 1. depth counts levels.
    float occlusion(int depth, const Ray& ray) const;
};

}  // namespace lucentor
