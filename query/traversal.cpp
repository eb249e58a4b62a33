#include "query/traversal.h"

#include "query/geometry.h"
#include "query/tree_views.h"

namespace lucentor {
namespace {

// Left first exactly when the right child is reached strictly later; on a tie the right
// child goes first.
bool leftIsNearer(const BoxSpan& left, const BoxSpan& right) {
    return entryDistance(right) > entryDistance(left);
}

template <class Tree>
typename Tree::Found closestInner(const Tree& tree, const typename Tree::Node& node, int depth,
                                  Ray& ray, const Vec3& inverse);

// A leaf answers by its sphere test, an inner node by its walk.
template <class Tree>
typename Tree::Found closestBelow(const Tree& tree, typename Tree::Child child, int depth, Ray& ray,
                                  const Vec3& inverse) {
    if (!tree.isLeaf(child)) return closestInner(tree, tree.inner(child), depth, ray, inverse);
    const auto& sphere = tree.sphereOf(child);
    return hitSphere(ray, sphere.center, sphere.radiusSquared) ? tree.found(child) : nullptr;
}

// The walk below an inner node, as BvhNode::intersect defines it.
template <class Tree>
typename Tree::Found closestInner(const Tree& tree, const typename Tree::Node& node, int depth,
                                  Ray& ray, const Vec3& inverse) {
    if (depth > kMaxTraversalDepth) return nullptr;
    const ChildSpans spans = tree.spans(ray, inverse, node);
    const bool leftHit = spanHits(spans.left);
    const bool rightHit = spanHits(spans.right);
    if (!leftHit && !rightHit) return nullptr;
    // Passing through a single child does not deepen the walk.
    if (leftHit != rightHit)
        return closestBelow(tree, leftHit ? tree.left(node) : tree.right(node), depth, ray,
                            inverse);
    const bool leftFirst = leftIsNearer(spans.left, spans.right);
    const auto nearChild = leftFirst ? tree.left(node) : tree.right(node);
    const auto farChild = leftFirst ? tree.right(node) : tree.left(node);
    const BoxSpan& farSpan = leftFirst ? spans.right : spans.left;
    // Child boxes may overlap, so a hit in the near child does not settle the question: the
    // far child can still hold a nearer sphere whenever its box is entered before that hit.
    // Its sphere tests accept only strictly nearer hits, so equal distances keep the first.
    typename Tree::Found found = closestBelow(tree, nearChild, depth + 1, ray, inverse);
    if (found == nullptr || farSpan.entry < ray.t) {
        const typename Tree::Found nearer = closestBelow(tree, farChild, depth + 1, ray, inverse);
        if (nearer != nullptr) found = nearer;
    }
    return found;
}

}  // namespace

BvhNode* closestLeaf(BvhNode* node, int depth, Ray& ray, const Vec3& inverse) {
    return closestBelow(PointerTreeView{}, node, depth, ray, inverse);
}

const LeafTag* closestPackedLeaf(const PackedTree& tree, Ray& ray, const Vec3& inverse) {
    return closestInner(PackedTreeView{tree}, tree.nodes[0], 0, ray, inverse);
}

bool BvhNode::leftChildFirst(const Ray& ray) const {
    const Vec3 inverse = reciprocal(ray.direction);
    return leftIsNearer(nodeSpan(ray, inverse, *left), nodeSpan(ray, inverse, *right));
}

BvhNode* BvhNode::intersect(int depth, Ray& ray) const {
    return closestInner(PointerTreeView{}, *this, depth, ray, reciprocal(ray.direction));
}

}  // namespace lucentor
