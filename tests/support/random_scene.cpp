#include "tests/support/random_scene.h"

#include <cmath>
#include <iterator>

namespace lucentor::testing {
namespace {

float uniform(std::mt19937& random, float low, float high) {
    return std::uniform_real_distribution<float>(low, high)(random);
}

int pick(std::mt19937& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

Vec3 pointInCube(std::mt19937& random) {
    return {uniform(random, -10.0f, 10.0f), uniform(random, -10.0f, 10.0f),
            uniform(random, -10.0f, 10.0f)};
}

Vec3 unitVector(std::mt19937& random) {
    std::normal_distribution<float> gauss;
    for (;;) {
        const Vec3 v{gauss(random), gauss(random), gauss(random)};
        if (dot(v, v) > 1e-6f) return normalized(v);
    }
}

float randomMaterial(std::mt19937& random) {
    constexpr float kMaterials[] = {0.0f, 0.5f, 1.0f, 1.5f, 2.4f};
    return kMaterials[pick(random, 0, 4)];
}

}  // namespace

Vec3 normalized(const Vec3& v) { return v * (1.0f / length(v)); }

void fillRandomScene(Scene& scene, std::mt19937& random) {
    const int spheres = pick(random, 0, kMaxSpheres);
    // Half the scenes have small spheres and half large ones, so both sparse trees and heavily
    // overlapping child boxes occur.
    const float largest = pick(random, 0, 1) == 0 ? 1.0f : 4.0f;
    for (int i = 0; i < spheres; ++i) {
        scene.addSphere(pointInCube(random), uniform(random, 0.05f, largest), {1, 1, 1},
                        randomMaterial(random));
    }
    const int planes = pick(random, 0, kMaxPlanes);
    for (int i = 0; i < planes; ++i) {
        scene.addPlane(pointInCube(random), {0, 0, 0}, unitVector(random), randomMaterial(random));
    }
    const int lights = pick(random, 0, kMaxLights);
    for (int i = 0; i < lights; ++i) {
        const float radius = pick(random, 0, 2) == 0 ? 0.0f : uniform(random, 0.1f, 2.0f);
        scene.addLight(pointInCube(random), radius, {1, 1, 1}, 1.0f);
    }
    // Both plane rules, chosen without a draw so that the scenes stay what they were.
    scene.planeRule = spheres % 2 == 0 ? PlaneRule::Mirrored : PlaneRule::Geometric;
    scene.buildHierarchy();
}

Ray awkwardRay(const Scene& scene, std::mt19937& random, int kind) {
    const BvhNode& leaf = *scene.leaves[std::size_t(pick(random, 0, scene.sphereCount - 1))];
    std::uniform_int_distribution<int> corner(0, 7);
    const int c = corner(random);
    const Vec3 origin{(c & 1) != 0 ? leaf.boxMin.x : leaf.boxMax.x,
                      (c & 2) != 0 ? leaf.boxMin.y : leaf.boxMax.y,
                      (c & 4) != 0 ? leaf.boxMin.z : leaf.boxMax.z};
    constexpr Vec3 kDirections[] = {{1, 0, 0},       {-1, 0, 0},       {0, 1, 0},
                                    {0, -1, 0},      {0, 0, 1},        {0, 0, -1},
                                    {0.6f, 0.8f, 0}, {0, -0.6f, 0.8f}, {-0.8f, 0, 0.6f}};
    std::uniform_int_distribution<int> direction(0, std::size(kDirections) - 1);
    Ray ray{origin, kDirections[direction(random)]};
    constexpr float kOdd[] = {NAN, INFINITY, -INFINITY};
    if (kind > 0) {
        float* const components[] = {&ray.origin.x, &ray.origin.y, &ray.origin.z};
        *components[corner(random) % 3] = kOdd[corner(random) % 3];
    }
    return ray;
}

Ray randomRay(std::mt19937& random) { return {pointInCube(random), unitVector(random)}; }

void forRandomQueries(unsigned seed, int scenes, int raysPerScene,
                      const std::function<bool(const Scene&, Ray&, int, int)>& check) {
    std::mt19937 random(seed);
    for (int i = 0; i < scenes; ++i) {
        Scene scene;
        fillRandomScene(scene, random);
        for (int r = 0; r < raysPerScene; ++r) {
            Ray ray = randomRay(random);
            if (!check(scene, ray, i, r)) return;
        }
    }
}

}  // namespace lucentor::testing
