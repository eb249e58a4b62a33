#include "scene/scene.h"

#include <memory>
#include <utility>
#include <vector>

namespace lucentor {

Scene::~Scene() {
    // The leaves slots only refer to nodes that root owns, so they are not freed one by one.
    delete root;
    for (int i = 0; i < planeCount; ++i) delete planes[i];
    for (int i = 0; i < lightCount; ++i) delete lights[i];
}

void Scene::addSphere(Vec3 center, float radius, Vec3 color, float material) {
    if (sphereCount >= limits.spheres) return;
    auto sphere =
        std::make_unique<Sphere>(Sphere{center, radius, radius * radius, color, material});
    const Vec3 reach{radius, radius, radius};
    leaves.push_back(nullptr);  // grown first, so that a failure to grow leaks nothing
    auto* leaf = new BvhNode;
    leaf->boxMin = center - reach;
    leaf->boxMax = center + reach;
    leaf->sphere = sphere.release();
    leaves.back() = leaf;
    ++sphereCount;
}

namespace {

// Makes a copy of every leaf below `node` in depth-first, left-first order and puts it in its
// parent's place; `old` and `copies` get the replaced leaves and their copies, in that order.
void copyLeavesBelow(BvhNode& node, std::vector<BvhNode*>& old, std::vector<BvhNode*>& copies) {
    for (BvhNode** child : {&node.left, &node.right}) {
        if ((*child)->left != nullptr) {
            copyLeavesBelow(**child, old, copies);
            continue;
        }
        auto* copy = new BvhNode;
        copy->boxMin = (*child)->boxMin;
        copy->boxMax = (*child)->boxMax;
        copy->sphere = new Sphere(*(*child)->sphere);
        old.push_back(*child);
        copies.push_back(copy);
        *child = copy;
    }
}

}  // namespace

void Scene::relayLeaves(LeafSlots& slots) {
    if (root == nullptr || root->left == nullptr) return;
    std::vector<BvhNode*> old;
    std::vector<BvhNode*> copies;
    old.reserve(leaves.size());
    copies.reserve(leaves.size());
    copyLeavesBelow(*root, old, copies);
    LeafSlots remade;
    for (std::size_t i = 0; i < old.size(); ++i) {
        const int slot = slots.find(old[i]);
        leaves[std::size_t(slot)] = copies[i];
        remade.add(copies[i], slot);
    }
    slots = std::move(remade);
    // Freed only now, so that no copy took a freed leaf's place.
    for (BvhNode* leaf : old) delete leaf;
}

void Scene::addPlane(Vec3 point, Vec3 color, Vec3 normal, float material) {
    if (planeCount >= limits.planes) return;
    planes.push_back(nullptr);
    planes.back() = new Plane{point, color, normal, material, {}};
    ++planeCount;
}

void Scene::addLight(Vec3 position, float radius, Vec3 color, float intensity) {
    if (lightCount >= limits.lights) return;
    // Any zero radius (also -0) makes a point light, stored as +0 so later tests on it agree.
    const bool point = radius == 0.0f;
    const float stored = point ? 0.0f : radius;
    lights.push_back(nullptr);
    lights.back() = new Light{position, stored, point ? 0.0f : radius * radius, color * intensity};
    ++lightCount;
}

}  // namespace lucentor
