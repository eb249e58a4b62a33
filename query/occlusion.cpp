#include "query/occlusion.h"

#include "query/geometry.h"
#include "query/traversal.h"
#include "query/tree_views.h"
#include "query/wide_walk.h"
#include "scene/scene.h"

namespace lucentor {
namespace {

template <class Tree>
float occlusionBelow(const Tree& tree, const typename Tree::Node& node, int depth, const Ray& ray,
                     const Vec3& inverse);

// The blocking of a sphere given by its centre and squared radius, as blockingAmount gives it.
float amountOf(const Ray& ray, const Vec3& center, float radiusSquared, bool glass) {
    const ClosestApproach line = closestApproach(ray.origin, ray.direction, center);
    if (line.tca < 0.0f || line.d2 > radiusSquared) return 0.0f;
    return glass ? kGlassBlocking : 1.0f;
}

template <class Tree>
float leafAmount(const Tree& tree, typename Tree::Child child, const Ray& ray) {
    const auto& sphere = tree.sphereOf(child);
    return amountOf(ray, sphere.center, sphere.radiusSquared, tree.isGlass(child));
}

template <class Tree>
float childAmount(const Tree& tree, typename Tree::Child child, int depth, const Ray& ray,
                  const Vec3& inverse) {
    if (tree.isLeaf(child)) return leafAmount(tree, child, ray);
    return occlusionBelow(tree, tree.inner(child), depth, ray, inverse);
}

// Unlike the closest-hit walk, depth grows on every descent and both children are summed,
// left first; the walk stops early only once a node's sum reaches full blocking. `inverse`
// is the reciprocal of the ray's direction, computed once per query.
template <class Tree>
float occlusionBelow(const Tree& tree, const typename Tree::Node& node, int depth, const Ray& ray,
                     const Vec3& inverse) {
    const typename Tree::Node* current = &node;
    for (;;) {
        if (depth > kMaxTraversalDepth) return 0.0f;
        const ChildSpans spans = tree.spans(ray, inverse, *current);
        const bool leftHit = spanHits(spans.left);
        const bool rightHit = spanHits(spans.right);
        if (!leftHit && !rightHit) return 0.0f;
        if (leftHit != rightHit) {
            // Through a single hit child the walk loops instead of recursing.
            const auto child = leftHit ? tree.left(*current) : tree.right(*current);
            if (tree.isLeaf(child)) return leafAmount(tree, child, ray);
            current = &tree.inner(child);
            ++depth;
            continue;
        }
        const float leftAmount = childAmount(tree, tree.left(*current), depth + 1, ray, inverse);
        if (leftAmount >= 1.0f) return 1.0f;
        const float sum =
            leftAmount + childAmount(tree, tree.right(*current), depth + 1, ray, inverse);
        return sum >= 1.0f ? 1.0f : sum;
    }
}

}  // namespace

float blockingAmount(const Ray& ray, const Sphere& sphere) {
    return amountOf(ray, sphere.center, sphere.radiusSquared, isRefractive(sphere.material));
}

float Ray::occlusion(const Scene& scene) const {
    BvhNode* const root = scene.root;
    if (isWideTreeOf(scene.wideTree, root))
        return wideOcclusion(scene.wideTree, 0, wideRayOf(*this), 0.0f);
    if (root == nullptr) return 0.0f;
    const Vec3 inverse = reciprocal(direction);
    if (!spanHits(nodeSpan(*this, inverse, *root))) return 0.0f;
    if (isCopyOf(scene.packedTree, root)) {
        return occlusionBelow(PackedTreeView{scene.packedTree}, scene.packedTree.nodes[0], 0, *this,
                              inverse);
    }
    return childAmount(PointerTreeView{}, root, 0, *this, inverse);
}

float BvhNode::occlusion(int depth, const Ray& ray) const {
    return occlusionBelow(PointerTreeView{}, *this, depth, ray, reciprocal(ray.direction));
}

}  // namespace lucentor
