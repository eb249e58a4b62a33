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
