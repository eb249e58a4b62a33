#pragma once

#include "scene/bvh.h"
#include "scene/packed_tree.h"

namespace lucentor {

// Both hierarchy walks give up below this depth. The builder stays within the same limit, so
// a tree it built is always walked completely.
inline constexpr int kMaxTraversalDepth = 50;

// The leaf of the nearest sphere that the ray hits at or below `node`, having lowered ray.t to
// that hit, or null with ray.t unchanged: a leaf answers by its sphere test, an inner node by
// its walk at `depth`. The node's own box is not tested. `inverse` is the reciprocal of the
// ray's direction, computed once per query rather than at every node.
BvhNode* closestLeaf(BvhNode* node, int depth, Ray& ray, const Vec3& inverse);

// The same walk over a packed copy of a hierarchy, from its root at depth 0, with the same
// result: the tag of the leaf that the walk over the tree would return.
const LeafTag* closestPackedLeaf(const PackedTree& tree, Ray& ray, const Vec3& inverse);

}  // namespace lucentor
