#include "query/traversal.h"

#include "query/geometry.h"

namespace lucentor {
namespace {

// Left first exactly when the right child is reached strictly later; on a tie the right
// child goes first.
bool leftIsNearer(const BoxSpan& left, const BoxSpan& right) {
    return entryDistance(right) > entryDistance(left);
}

// The walk below an inner node, as BvhNode::intersect defines it.
BvhNode* closestInner(const BvhNode& node, int depth, Ray& ray, const Vec3& inverse) {
    if (depth > kMaxTraversalDepth) return nullptr;
    const BoxSpan leftSpan = nodeSpan(ray, inverse, *node.left);
    const BoxSpan rightSpan = nodeSpan(ray, inverse, *node.right);
    const bool leftHit = spanHits(leftSpan);
    const bool rightHit = spanHits(rightSpan);
    if (!leftHit && !rightHit) return nullptr;
    // Passing through a single child does not deepen the walk.
    if (leftHit != rightHit)
        return closestLeaf(leftHit ? node.left : node.right, depth, ray, inverse);
    const bool leftFirst = leftIsNearer(leftSpan, rightSpan);
    BvhNode* const nearChild = leftFirst ? node.left : node.right;
    BvhNode* const farChild = leftFirst ? node.right : node.left;
    const BoxSpan& farSpan = leftFirst ? rightSpan : leftSpan;
    // Child boxes may overlap, so a hit in the near child does not settle the question: the
    // far child can still hold a nearer sphere whenever its box is entered before that hit.
    // Its sphere tests accept only strictly nearer hits, so equal distances keep the first.
    BvhNode* found = closestLeaf(nearChild, depth + 1, ray, inverse);
    if (found == nullptr || farSpan.entry < ray.t) {
        BvhNode* const nearer = closestLeaf(farChild, depth + 1, ray, inverse);
        if (nearer != nullptr) found = nearer;
    }
    return found;
}

}  // namespace

BvhNode* closestLeaf(BvhNode* node, int depth, Ray& ray, const Vec3& inverse) {
    if (node->left != nullptr) return closestInner(*node, depth, ray, inverse);
    const Sphere& sphere = *node->sphere;
    return hitSphere(ray, sphere.center, sphere.radiusSquared) ? node : nullptr;
}

bool BvhNode::leftChildFirst(const Ray& ray) const {
    const Vec3 inverse = reciprocal(ray.direction);
    return leftIsNearer(nodeSpan(ray, inverse, *left), nodeSpan(ray, inverse, *right));
}

BvhNode* BvhNode::intersect(int depth, Ray& ray) const {
    return closestInner(*this, depth, ray, reciprocal(ray.direction));
}

}  // namespace lucentor
