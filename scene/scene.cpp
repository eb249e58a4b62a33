#include "scene/scene.h"

#include <bit>
#include <cstdint>
#include <memory>

namespace lucentor {

Scene::~Scene() {
    // The leaves slots only refer to nodes that root owns, so they are not freed one by one.
    delete root;
    for (int i = 0; i < planeCount; ++i) delete planes[i];
    for (int i = 0; i < lightCount; ++i) delete lights[i];
}

void Scene::addSphere(Vec3 center, float radius, Vec3 color, float material) {
    if (sphereCount >= kMaxSpheres) return;
    auto sphere =
        std::make_unique<Sphere>(Sphere{center, radius, radius * radius, color, material});
    const Vec3 reach{radius, radius, radius};
    auto* leaf = new BvhNode;
    leaf->boxMin = center - reach;
    leaf->boxMax = center + reach;
    leaf->sphere = sphere.release();
    leaves[sphereCount] = leaf;
    leafSlots.add(leaf, sphereCount);
    ++sphereCount;
}

namespace {

// Where a leaf's probe starts. Allocations are at least 16-byte aligned, so the low four bits
// carry nothing; a Fibonacci multiplier spreads the rest over the table.
int homeOf(const BvhNode* leaf) {
    constexpr std::uint64_t kFibonacci = 0x9E3779B97F4A7C15u;
    const auto key = std::uint64_t(std::bit_cast<std::uintptr_t>(leaf) >> 4u);
    return int((key * kFibonacci) >> 56u);  // 8 bits: kCapacity is 256
}

int nextProbe(int at) { return (at + 1) & (LeafSlots::kCapacity - 1); }

}  // namespace

// The table holds at most kMaxSpheres leaves, so it always has a free entry and every probe
// ends.
void LeafSlots::add(const BvhNode* leaf, int slot) {
    int at = homeOf(leaf);
    while (leaves[at] != nullptr && leaves[at] != leaf) at = nextProbe(at);
    leaves[at] = leaf;
    slots[at] = slot;
}

int LeafSlots::find(const BvhNode* leaf) const {
    for (int at = homeOf(leaf); leaves[at] != nullptr; at = nextProbe(at)) {
        if (leaves[at] == leaf) return slots[at];
    }
    return -1;
}

void Scene::addPlane(Vec3 point, Vec3 color, Vec3 normal, float material) {
    if (planeCount >= kMaxPlanes) return;
    planes[planeCount] = new Plane{point, color, normal, material};
    ++planeCount;
}

void Scene::addLight(Vec3 position, float radius, Vec3 color, float intensity) {
    if (lightCount >= kMaxLights) return;
    // Any zero radius (also -0) makes a point light, stored as +0 so later tests on it agree.
    const bool point = radius == 0.0f;
    const float stored = point ? 0.0f : radius;
    lights[lightCount] =
        new Light{position, stored, point ? 0.0f : radius * radius, color * intensity};
    ++lightCount;
}

}  // namespace lucentor
