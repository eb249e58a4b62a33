#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

#include "query/closest_hit.h"
#include "query/occlusion.h"
#include "scene/scene.h"
#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

struct Answers {
    HitRecord hit;
    std::uint32_t tBits = 0;
    float blocked = 0.0f;
};

Answers answersFor(const Scene& scene, const Ray& query) {
    Ray ray = query;
    Answers answers;
    answers.hit = ray.closestHit(scene);
    answers.tBits = std::bit_cast<std::uint32_t>(ray.t);
    answers.blocked = query.occlusion(scene);
    return answers;
}

// The queries walk the scene's packed tree; with its `source` cleared they walk the BvhNode
// tree instead. Both answers must agree bit for bit.
Answers pointerAnswersFor(Scene& scene, const Ray& query) {
    const BvhNode* const source = scene.packedTree.source;
    scene.packedTree.source = nullptr;
    const Answers answers = answersFor(scene, query);
    scene.packedTree.source = source;
    return answers;
}

void expectSame(const Answers& packed, const Answers& pointer, int sceneNumber, int rayNumber) {
    EXPECT_EQ(packed.tBits, pointer.tBits) << "scene " << sceneNumber << " ray " << rayNumber;
    EXPECT_EQ(packed.hit.kind, pointer.hit.kind) << "scene " << sceneNumber << " ray " << rayNumber;
    EXPECT_EQ(packed.hit.index, pointer.hit.index)
        << "scene " << sceneNumber << " ray " << rayNumber;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(packed.blocked),
              std::bit_cast<std::uint32_t>(pointer.blocked))
        << "scene " << sceneNumber << " ray " << rayNumber;
}

// Rays that make the slab arithmetic meet its special cases: directions along an axis or in
// an axis plane (infinite reciprocals) from origins exactly on box faces (0 times infinity),
// and origins with a NaN or infinite component, so that grazes and NaN spans, where the
// operand order of each min and max decides, must come out the same in both forms.
Ray awkwardRay(const Scene& scene, std::mt19937& random, int kind) {
    std::uniform_int_distribution<int> pick(0, scene.sphereCount - 1);
    const BvhNode& leaf = *scene.leaves[std::size_t(pick(random))];
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

TEST(PackedWalks, AnswerLikeTheTreeWalksForRandomAndAwkwardRays) {
    std::mt19937 random(31);
    int compared = 0;
    for (int i = 0; i < 400 && !::testing::Test::HasFailure(); ++i) {
        Scene scene;
        testing::fillRandomScene(scene, random);
        if (scene.packedTree.source == nullptr) continue;
        for (int r = 0; r < 200 && !::testing::Test::HasFailure(); ++r) {
            const Ray ray =
                r % 3 == 0 ? testing::randomRay(random) : awkwardRay(scene, random, r % 3 - 1);
            expectSame(answersFor(scene, ray), pointerAnswersFor(scene, ray), i, r);
            ++compared;
        }
    }
    EXPECT_GT(compared, 60000);
}

}  // namespace
}  // namespace lucentor
