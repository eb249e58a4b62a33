#include "query/wide_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "query/geometry.h"
#include "query/occlusion.h"
#include "query/packet.h"
#include "query/triangle.h"
#include "scene/scene.h"
#include "tests/support/every_path.h"
#include "tests/support/icosphere.h"
#include "tests/support/random_scene.h"
#include "tests/support/tree_check.h"

namespace lucentor {
namespace {

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

float uniform(std::mt19937& random, float low, float high) {
    return std::uniform_real_distribution<float>(low, high)(random);
}

Vec3 unitVector(std::mt19937& random) {
    std::normal_distribution<float> gauss;
    for (;;) {
        const Vec3 v{gauss(random), gauss(random), gauss(random)};
        if (dot(v, v) > 1e-6f) return testing::normalized(v);
    }
}

// A scene past kWideTreeThreshold: a third of its spheres anywhere in a cube of half-width 10,
// a third touching an earlier one (centres apart by the sum of the radii), a third coinciding
// with an earlier one; a quarter of them glass.
struct Ball {
    Vec3 center;
    float radius = 0.0f;
};

// `meshes` icospheres about the cube, every third glass, every fifth added twice so that
// coincident triangles tie.
void addMeshes(Scene& scene, std::mt19937& random, int meshes) {
    for (int m = 0; m < meshes; ++m) {
        const MeshMaterial material{{1, 1, 1}, m % 3 == 0 ? 1.5f : 0.0f, {}, -1};
        const Vec3 center{uniform(random, -10, 10), uniform(random, -10, 10),
                          uniform(random, -10, 10)};
        const Mesh mesh = icosphere(center, uniform(random, 0.5f, 3.0f), 2, material);
        if (m % 5 == 0) scene.addMesh(mesh);
        scene.addMesh(mesh);
    }
}

void fillBigScene(Scene& scene, std::mt19937& random, int spheres, int meshes = 0) {
    scene.limits = kSceneFileLimits;
    std::vector<Ball> made;
    for (int i = 0; i < spheres; ++i) {
        const float material = i % 4 == 0 ? 1.5f : 0.0f;
        const int kind = i == 0 ? 0 : int(random() % 3);
        Ball sphere{{uniform(random, -10, 10), uniform(random, -10, 10), uniform(random, -10, 10)},
                    uniform(random, 0.05f, 1.5f)};
        if (kind > 0) {
            const Ball& earlier = made[random() % made.size()];
            sphere =
                kind == 1
                    ? Ball{earlier.center + unitVector(random) * (earlier.radius + sphere.radius),
                           sphere.radius}
                    : earlier;
        }
        made.push_back(sphere);
        scene.addSphere(sphere.center, sphere.radius, {1, 1, 1}, material);
    }
    addMeshes(scene, random, meshes);
    scene.buildHierarchy();
}

// A ray from the cube, or from a sphere's surface as bounces start.
Ray someRay(const Scene& scene, std::mt19937& random) {
    if (random() % 2 == 0) return testing::randomRay(random);
    const Sphere& sphere = *scene.leaves[random() % scene.leaves.size()]->sphere;
    return {sphere.center + unitVector(random) * sphere.radius, unitVector(random)};
}

// Known without any tree: every sphere tested in slot order, each accepted only when strictly
// nearer, so the nearest wins and the lowest slot among equally near ones.
int nearestSlot(const Scene& scene, Ray& ray) {
    int slot = -1;
    for (int k = 0; k < scene.sphereCount; ++k) {
        const Sphere& sphere = *scene.leaves[std::size_t(k)]->sphere;
        if (hitSphere(ray, sphere.center, sphere.radiusSquared)) slot = k;
    }
    return slot;
}

float totalBlocking(const Scene& scene, const Ray& ray) {
    float sum = 0.0f;
    for (const BvhNode* leaf : scene.leaves) sum += blockingAmount(ray, *leaf->sphere);
    return sum >= 1.0f ? 1.0f : sum;
}

// How many spheres the ray meets at exactly distance t.
int spheresAt(const Scene& scene, const Ray& ray, float t) {
    int count = 0;
    for (const BvhNode* leaf : scene.leaves) {
        Ray probe = ray;
        probe.t = kFarDistance;
        if (hitSphere(probe, leaf->sphere->center, leaf->sphere->radiusSquared) && probe.t == t) {
            ++count;
        }
    }
    return count;
}

struct Answer {
    Ray ray;
    HitRecord record;
    float amount = 0.0f;
};

Answer answerOf(const Scene& scene, const Ray& start) {
    Answer answer{start, {}, 0.0f};
    answer.record = answer.ray.closestHit(scene);
    answer.amount = start.occlusion(scene);
    return answer;
}

// Frees the inner nodes of a hierarchy whose leaves and spheres a scene's pool owns.
void freeInnerNodes(BvhNode* node) {
    if (node->left == nullptr) return;
    freeInnerNodes(node->left);
    freeInnerNodes(node->right);
    node->left = node->right = nullptr;
    delete node;
}

// The answers of the binary hierarchy's walk: the hierarchy a preset's spheres get, built over
// the scene's spheres, packed and walked as a preset's (a wide tree built for no root is not
// taken while the scene has one).
std::vector<Answer> binaryAnswers(Scene& scene, const std::vector<Ray>& rays) {
    scene.root = Scene::buildBvh(0, scene.leaves.data(), scene.sphereCount);
    packTree(scene.root, leafSlotsOf(scene.leaves), scene.packedTree);
    std::vector<Answer> answers;
    answers.reserve(rays.size());
    for (const Ray& ray : rays) answers.push_back(answerOf(scene, ray));
    freeInnerNodes(scene.root);
    scene.root = nullptr;
    scene.packedTree = PackedTree{};
    return answers;
}

// The wide tree's answers are the nearest sphere, lowest slot first, and the clamped sum of
// every blocking sphere, as the spheres give them one by one; the binary walk's agree on every
// distance, amount and kind, and on the slot unless spheres tie at the distance (it keeps the
// one its order meets first).
TEST(WideTree, AnswersAsEverySphereTestedAloneAndAsTheBinaryWalk) {
    std::mt19937 random(26);
    int ties = 0;
    for (int i = 0; i < 12; ++i) {
        Scene scene;
        fillBigScene(scene, random, 150 + 400 * i);
        ASSERT_TRUE(isWideTreeOf(scene.wideTree, scene.root));
        ASSERT_EQ(scene.root, nullptr);
        std::vector<Ray> rays;
        rays.reserve(400);
        for (int r = 0; r < 400; ++r) rays.push_back(someRay(scene, random));
        const std::vector<Answer> binary = binaryAnswers(scene, rays);
        for (std::size_t r = 0; r < rays.size(); ++r) {
            const std::string at = "scene " + std::to_string(i) + " ray " + std::to_string(r);
            const Answer wide = answerOf(scene, rays[r]);
            Ray alone = rays[r];
            const int slot = nearestSlot(scene, alone);
            ASSERT_EQ(bits(wide.ray.t), bits(alone.t)) << at;
            ASSERT_EQ(bits(wide.record.index), bits(slot < 0 ? 0.0f : float(slot))) << at;
            ASSERT_EQ(bits(wide.amount), bits(totalBlocking(scene, rays[r]))) << at;
            ASSERT_EQ(bits(binary[r].ray.t), bits(wide.ray.t)) << at;
            ASSERT_EQ(bits(binary[r].record.kind), bits(wide.record.kind)) << at;
            ASSERT_EQ(bits(binary[r].amount), bits(wide.amount)) << at;
            if (slot >= 0 && spheresAt(scene, rays[r], alone.t) > 1) {
                ++ties;
                continue;
            }
            ASSERT_EQ(bits(binary[r].record.index), bits(wide.record.index)) << at;
        }
    }
    EXPECT_GT(ties, 0) << "coincident spheres must give ties";
}

class WidePackets : public testing::EveryPath {};

// A packet of rays from one point in directions `spread` apart around one direction: camera
// rays of one tile at 0.001, rays that part a few levels down at 0.05. From `far` away (a
// million units back along the direction, with t to reach the spheres), where the sphere
// tests' rounding exceeds the boxes' widening.
std::array<Ray, kMaxPacketLanes> fan(std::mt19937& random, float spread, bool far) {
    Ray centre = testing::randomRay(random);
    if (far) centre.origin = centre.origin - centre.direction * 1e6f;
    // From far away the fan narrows as much as it is longer, to stay on the spheres.
    std::normal_distribution<float> offset(0.0f, far ? spread * 1e-6f : spread);
    std::array<Ray, kMaxPacketLanes> rays;
    for (Ray& ray : rays) {
        const Vec3 d = centre.direction + Vec3{offset(random), offset(random), offset(random)};
        ray = {centre.origin, testing::normalized(d), far ? 2e6f : kFarDistance};
    }
    return rays;
}

// Every lane of every path answers as the one-ray walk, whether the packet walks a node
// together, parts, or holds a single lane from the start, also for rays from far away, among
// triangles as among spheres, and with the tree taken as past the caches or not.
TEST_P(WidePackets, AnswerAsTheOneRayWalk) {
    std::mt19937 random(27);
    constexpr std::uint32_t kActiveSets[] = {0xffffu, 0x8421u, 0x0100u, 0x0001u, 0x7ffeu};
    constexpr float kSpreads[] = {0.0f, 0.001f, 0.05f, 1.0f};
    int triangles = 0;
    for (int i = 0; i < 6; ++i) {
        Scene scene;
        fillBigScene(scene, random, 2000 + 3000 * i, i >= 3 ? 400 : 0);
        if (i % 2 == 1) scene.addLight({0, 0, 0}, 2.0f, {1, 1, 1}, 1.0f);
        for (int p = 0; p < 160; ++p) {
            const std::array<Ray, kMaxPacketLanes> rays = fan(random, kSpreads[p % 4], p % 8 >= 4);
            const std::uint32_t active = kActiveSets[std::size_t(p / 4) % std::size(kActiveSets)];
            scene.wideTree.pastCaches = p % 3 == 0;
            RayPacket packet;
            for (int k = 0; k < kMaxPacketLanes; ++k) packet.set(k, rays[std::size_t(k)]);
            std::array<HitRecord, kMaxPacketLanes> records{};
            std::array<float, kMaxPacketLanes> amounts{};
            const std::uint32_t blocked = blockedLanes(GetParam(), scene, packet, active);
            closestHits(GetParam(), scene, packet, active, records);
            occlusions(GetParam(), scene, packet, active, amounts);
            for (int k = 0; k < kMaxPacketLanes; ++k) {
                if ((active >> k & 1u) == 0) continue;
                const auto lane = std::size_t(k);
                const std::string at = "scene " + std::to_string(i) + " packet " +
                                       std::to_string(p) + " lane " + std::to_string(k);
                const Answer alone = answerOf(scene, rays[lane]);
                ASSERT_EQ(bits(packet.t[lane]), bits(alone.ray.t)) << at;
                ASSERT_EQ(bits(records[lane].kind), bits(alone.record.kind)) << at;
                ASSERT_EQ(bits(records[lane].index), bits(alone.record.index)) << at;
                ASSERT_EQ(bits(amounts[lane]), bits(alone.amount)) << at;
                ASSERT_EQ((blocked >> k & 1u) != 0, !(alone.ray.t == rays[lane].t)) << at;
                triangles += records[lane].kind == float(HitKind::Triangle) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(triangles, 100) << "the meshes must be met";
}

// A lane is blocked exactly when something lies strictly short of its own t: with t at its
// nearest hit it is not, one float beyond it it is, at half of it it is not.
TEST_P(WidePackets, BlockedShortOfEachLanesT) {
    std::mt19937 random(41);
    int beyond = 0;
    for (int i = 0; i < 4; ++i) {
        Scene scene;
        fillBigScene(scene, random, 3000 + 2000 * i, i >= 2 ? 400 : 0);
        for (int p = 0; p < 60; ++p) {
            const std::array<Ray, kMaxPacketLanes> rays = fan(random, 0.05f, false);
            RayPacket packet;
            std::array<bool, kMaxPacketLanes> expected{};
            for (int k = 0; k < kMaxPacketLanes; ++k) {
                const auto lane = std::size_t(k);
                Ray ray = rays[lane];
                const float hit = answerOf(scene, ray).ray.t;
                if (hit < ray.t) {
                    constexpr float kInf = std::numeric_limits<float>::infinity();
                    const float ts[] = {hit, std::nextafter(hit, kInf), hit * 0.5f};
                    ray.t = ts[std::size_t(k + p) % 3];
                    expected[lane] = ray.t > hit;
                    beyond += expected[lane] ? 1 : 0;
                }
                packet.set(k, ray);
            }
            const std::uint32_t blocked = blockedLanes(GetParam(), scene, packet, 0xffffu);
            for (int k = 0; k < kMaxPacketLanes; ++k) {
                ASSERT_EQ((blocked >> k & 1u) != 0, expected[std::size_t(k)])
                    << "scene " << i << " packet " << p << " lane " << k;
            }
        }
    }
    EXPECT_GT(beyond, 500) << "the rays must meet the scene";
}

INSTANTIATE_TEST_SUITE_P(EveryPath, WidePackets, testing::everyPath(), testing::pathCaseName);

class WatertightMesh : public testing::EveryPath {};

// Rays through the vertices a closed mesh's triangles share (along the axes, through vertices
// that lie exactly on them) and through the middles of its edges all meet it, one ray at a time
// and in packets, in a tree taken as past the caches or not: none passes between two triangles.
TEST_P(WatertightMesh, RaysThroughSharedEdgesAndVerticesAllHit) {
    Scene scene;
    const Mesh mesh = icosphere({0, 0, 0}, 1.0f, 2, {});
    std::vector<Vec3> targets = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                 {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
    for (const Triangle& triangle : mesh.triangles) {
        for (std::size_t k = 0; k < 3; ++k) {
            const Vec3& a = mesh.positions[triangle.vertices[k]];
            const Vec3& b = mesh.positions[triangle.vertices[(k + 1) % 3]];
            targets.push_back((a + b) * 0.5f);
        }
    }
    scene.addMesh(mesh);
    scene.buildHierarchy();
    RayPacket packet;
    std::vector<Ray> rays;
    for (const Vec3& target : targets) {
        const Vec3 outward = testing::normalized(target);
        rays.push_back({outward * 5.0f, -outward});
    }
    for (const bool pastCaches : {false, true}) {
        scene.wideTree.pastCaches = pastCaches;
        for (std::size_t first = 0; first < rays.size(); first += kMaxPacketLanes) {
            const std::size_t count = std::min(rays.size() - first, std::size_t(kMaxPacketLanes));
            for (std::size_t k = 0; k < count; ++k) packet.set(int(k), rays[first + k]);
            const std::uint32_t active = (std::uint32_t{1} << count) - 1u;
            std::array<HitRecord, kMaxPacketLanes> records{};
            std::array<float, kMaxPacketLanes> amounts{};
            closestHits(GetParam(), scene, packet, active, records);
            occlusions(GetParam(), scene, packet, active, amounts);
            for (std::size_t k = 0; k < count; ++k) {
                const std::string at =
                    "ray " + std::to_string(first + k) + (pastCaches ? " past the caches" : "");
                EXPECT_LT(packet.t[k], 4.5f) << at;
                EXPECT_EQ(records[k].kind, float(HitKind::Triangle)) << at;
                EXPECT_EQ(amounts[k], 1.0f) << at;
                Ray alone = rays[first + k];
                EXPECT_EQ(alone.closestHit(scene).kind, float(HitKind::Triangle)) << at;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPath, WatertightMesh, testing::everyPath(), testing::pathCaseName);

// The nearest of the mesh's triangles that the triangle test takes one by one, lowest index
// first at equal distances, and whether any lies ahead at all.
struct BruteTriangles {
    float t = kFarDistance;
    int index = -1;
    bool blocked = false;
};

BruteTriangles bruteTriangles(const Mesh& mesh, const Ray& ray) {
    BruteTriangles answer;
    Ray unending = ray;
    unending.t = std::numeric_limits<float>::infinity();
    for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
        const auto& v = mesh.triangles[i].vertices;
        const Vec3& a = mesh.positions[v[0]];
        const Vec3& b = mesh.positions[v[1]];
        const Vec3& c = mesh.positions[v[2]];
        answer.blocked = answer.blocked || hitTriangle(unending, a, b, c).hit;
        const TriangleHit hit = hitTriangle(ray, a, b, c);
        if (hit.hit && hit.t < answer.t) answer = {hit.t, int(i), true};
    }
    return answer;
}

// Small triangles far from the origin, where a box's widening is smallest against the
// rounding of the box and triangle tests, met from up to 95 units away at their corners, edges
// and insides: the wide walk finds exactly the triangle each test alone does.
TEST(WideTree, TriangleAnswersAreEveryTriangleTestedAlone) {
    std::mt19937 random(27);
    Scene scene;
    const Mesh mesh = icosphere({37, -21, 45}, 0.5f, 4, {});
    scene.addMesh(mesh);
    scene.buildHierarchy();
    for (int r = 0; r < 3000; ++r) {
        const auto& v = mesh.triangles[random() % mesh.triangles.size()].vertices;
        const Vec3& a = mesh.positions[v[0]];
        const Vec3& b = mesh.positions[v[1]];
        const Vec3& c = mesh.positions[v[2]];
        const std::array<Vec3, 3> targets{
            a, (a + b) * 0.5f,
            a + (b - a) * uniform(random, 0, 1) + (c - a) * uniform(random, 0, 0.5f)};
        const Vec3 direction = unitVector(random);
        Ray ray{targets[std::size_t(r % 3)] - direction * uniform(random, 1, 95), direction};
        const BruteTriangles brute = bruteTriangles(mesh, ray);
        const std::string at = "ray " + std::to_string(r);
        const float amount = ray.occlusion(scene);
        const HitRecord record = ray.closestHit(scene);
        ASSERT_EQ(bits(ray.t), bits(brute.t)) << at;
        if (brute.index >= 0) {
            ASSERT_EQ(record.index, float(brute.index)) << at;
        }
        ASSERT_EQ(amount, brute.blocked ? 1.0f : 0.0f) << at;
    }
}

// Every sphere lies in exactly one leaf, inside every box on its way down; the tree stays
// within kMaxWideLevels even where every sphere coincides, and the presets' sizes keep the
// binary hierarchy.
TEST(WideTree, HoldsEverySphereOnceWithinItsBoxes) {
    std::mt19937 random(28);
    for (const bool coincident : {false, true}) {
        Scene scene;
        scene.limits = kSceneFileLimits;
        for (int i = 0; i < 5000; ++i) {
            const Vec3 c = coincident ? Vec3{1, 2, 3}
                                      : Vec3{uniform(random, -5, 5), uniform(random, -5, 5),
                                             uniform(random, -5, 5)};
            scene.addSphere(c, 0.1f, {1, 1, 1}, 0.0f);
        }
        scene.buildHierarchy();
        EXPECT_LE(scene.wideTree.levels, kMaxWideLevels);
        EXPECT_EQ(testing::wideTreeProblem(scene), "") << coincident;
    }
    Scene preset;
    preset.limits = kSceneFileLimits;
    for (int i = 0; i < kWideTreeThreshold; ++i) preset.addSphere({float(i), 0, 0}, 0.5f, {}, 0);
    preset.buildHierarchy();
    EXPECT_FALSE(isWideTreeOf(preset.wideTree, preset.root));
    EXPECT_TRUE(isCopyOf(preset.packedTree, preset.root));
}

}  // namespace
}  // namespace lucentor
