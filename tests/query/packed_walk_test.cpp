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

TEST(PackedWalks, AnswerLikeTheTreeWalksForRandomAndAwkwardRays) {
    std::mt19937 random(31);
    int compared = 0;
    for (int i = 0; i < 400 && !::testing::Test::HasFailure(); ++i) {
        Scene scene;
        testing::fillRandomScene(scene, random);
        if (scene.packedTree.source == nullptr) continue;
        for (int r = 0; r < 200 && !::testing::Test::HasFailure(); ++r) {
            const Ray ray = r % 3 == 0 ? testing::randomRay(random)
                                       : testing::awkwardRay(scene, random, r % 3 - 1);
            expectSame(answersFor(scene, ray), pointerAnswersFor(scene, ray), i, r);
            ++compared;
        }
    }
    EXPECT_GT(compared, 60000);
}

}  // namespace
}  // namespace lucentor
