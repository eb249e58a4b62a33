#include "query/occlusion.h"

#include "query/geometry.h"
#include "query/traversal.h"
#include "scene/scene.h"

namespace lucentor {
namespace {

float occlusionBelow(const BvhNode& node, int depth, const Ray& ray, const Vec3& inverse);

float childAmount(const BvhNode* child, int depth, const Ray& ray, const Vec3& inverse) {
    if (child->left == nullptr) return blockingAmount(ray, *child->sphere);
    return occlusionBelow(*child, depth, ray, inverse);
}

// Unlike the closest-hit walk, depth grows on every descent and both children are summed,
// left first; the walk stops early only once a node's sum reaches full blocking. `inverse`
// is the reciprocal of the ray's direction, computed once per query.
float occlusionBelow(const BvhNode& node, int depth, const Ray& ray, const Vec3& inverse) {
    const BvhNode* current = &node;
    for (;;) {
        if (depth > kMaxTraversalDepth) return 0.0f;
        const bool leftHit = spanHits(nodeSpan(ray, inverse, *current->left));
        const bool rightHit = spanHits(nodeSpan(ray, inverse, *current->right));
        if (!leftHit && !rightHit) return 0.0f;
        if (leftHit != rightHit) {
            // Through a single hit child the walk loops instead of recursing.
            const BvhNode* child = leftHit ? current->left : current->right;
            if (child->left == nullptr) return blockingAmount(ray, *child->sphere);
            current = child;
            ++depth;
            continue;
        }
        const float leftAmount = childAmount(current->left, depth + 1, ray, inverse);
        if (leftAmount >= 1.0f) return 1.0f;
        const float sum = leftAmount + childAmount(current->right, depth + 1, ray, inverse);
        return sum >= 1.0f ? 1.0f : sum;
    }
}

}  // namespace

float blockingAmount(const Ray& ray, const Sphere& sphere) {
    const ClosestApproach line = closestApproach(ray.origin, ray.direction, sphere.center);
    if (line.tca < 0.0f || line.d2 > sphere.radiusSquared) return 0.0f;
    return sphere.material > 1.0f ? kGlassBlocking : 1.0f;
}

float Ray::occlusion(const Scene& scene) const {
    const BvhNode* root = scene.root;
    if (root == nullptr) return 0.0f;
    const Vec3 inverse = reciprocal(direction);
    if (!spanHits(nodeSpan(*this, inverse, *root))) return 0.0f;
    return childAmount(root, 0, *this, inverse);
}

float BvhNode::occlusion(int depth, const Ray& ray) const {
    return occlusionBelow(*this, depth, ray, reciprocal(ray.direction));
}

}  // namespace lucentor
