#include "query/occlusion.h"

#include "query/geometry.h"
#include "query/traversal.h"
#include "scene/scene.h"

namespace lucentor {
namespace {

float childAmount(const BvhNode* child, int depth, const Ray& ray) {
    if (child->left == nullptr) return blockingAmount(ray, *child->sphere);
    return child->occlusion(depth, ray);
}

}  // namespace

float blockingAmount(const Ray& ray, const Sphere& sphere) {
    const ClosestApproach line = closestApproach(ray.origin, ray.direction, sphere.center);
    if (line.tca < 0.0f || line.d2 > sphere.radiusSquared) return 0.0f;
    return sphere.material > 1.0f ? kGlassBlocking : 1.0f;
}

float Ray::occlusion(const Scene& scene) const {
    const BvhNode* root = scene.root;
    if (root == nullptr || !hitsBox(*this, root->boxMin, root->boxMax)) return 0.0f;
    return childAmount(root, 0, *this);
}

// Unlike the closest-hit walk, depth grows on every descent and both children are summed,
// left first; the walk stops early only once a node's sum reaches full blocking.
float BvhNode::occlusion(int depth, const Ray& ray) const {
    const Vec3 inverse = reciprocal(ray.direction);
    const BvhNode* current = this;
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
        const float leftAmount = childAmount(current->left, depth + 1, ray);
        if (leftAmount >= 1.0f) return 1.0f;
        const float sum = leftAmount + childAmount(current->right, depth + 1, ray);
        return sum >= 1.0f ? 1.0f : sum;
    }
}

}  // namespace lucentor
