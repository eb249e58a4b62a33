#include "query/packet.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <vector>

#include "query/simd_path.h"
#include "query/traversal.h"
#include "scene/scene.h"
#include "tests/support/lacked_paths.h"
#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

// The packet paths this processor has; the scalar path is what they are compared with.
constexpr std::initializer_list<SimdPath> kPacketPaths = {SimdPath::Avx2, SimdPath::Avx512};

// The packet paths this processor has; a test reports the others as skipped once it has
// checked these (skipLackedPaths).
std::vector<SimdPath> packetPaths() {
    std::vector<SimdPath> paths;
    for (const SimdPath path : kPacketPaths) {
        if (isAvailable(path, detectCpuFeatures())) paths.push_back(path);
    }
    return paths;
}

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

constexpr HitRecord kUntouchedRecord = {7.0f, 7.0f, 7.0f};
constexpr float kUntouchedAmount = 7.0f;

// What lanes outside the active set hold: anything at all, NaN and infinities included.
Ray garbageRay(std::mt19937& random) {
    const auto anyFloat = [&random] { return std::bit_cast<float>(std::uint32_t(random())); };
    return {{anyFloat(), anyFloat(), anyFloat()}, {anyFloat(), anyFloat(), anyFloat()}, anyFloat()};
}

struct PacketCase {
    std::array<Ray, kMaxPacketLanes> rays;
    std::uint32_t active = 0;
};

// Compares the packet queries of `path` on `rays` with the scalar queries, lane by lane, bit
// for bit; lanes outside the active set must come back untouched. Returns false on the
// first difference.
bool matchesScalar(SimdPath path, const Scene& scene, const PacketCase& c, std::mt19937& random,
                   const std::string& where) {
    RayPacket packet;
    std::array<Ray, kMaxPacketLanes> inactive;
    for (int k = 0; k < kMaxPacketLanes; ++k) {
        inactive[std::size_t(k)] = garbageRay(random);
        const bool on = (c.active >> k & 1u) != 0;
        packet.set(k, on ? c.rays[std::size_t(k)] : inactive[std::size_t(k)]);
    }
    // Against each lane's t before closestHits lowers it.
    const std::uint32_t blocked = blockedLanes(path, scene, packet, c.active);
    EXPECT_EQ(blocked & ~c.active, 0u) << where << " on " << pathName(path);
    std::array<HitRecord, kMaxPacketLanes> records;
    records.fill(kUntouchedRecord);
    closestHits(path, scene, packet, c.active, records);
    std::array<float, kMaxPacketLanes> amounts;
    amounts.fill(kUntouchedAmount);
    occlusions(path, scene, packet, c.active, amounts);

    for (int k = 0; k < kMaxPacketLanes; ++k) {
        const auto lane = std::size_t(k);
        const std::string at =
            where + " lane " + std::to_string(k) + " on " + std::string(pathName(path));
        if ((c.active >> k & 1u) == 0) {
            EXPECT_EQ(bits(packet.t[lane]), bits(inactive[lane].t)) << at;
            EXPECT_EQ(bits(records[lane].kind), bits(kUntouchedRecord.kind)) << at;
            EXPECT_EQ(bits(amounts[lane]), bits(kUntouchedAmount)) << at;
            continue;
        }
        Ray scalar = c.rays[lane];
        const HitRecord expected = scalar.closestHit(scene);
        EXPECT_EQ(bits(packet.t[lane]), bits(scalar.t)) << at;
        EXPECT_EQ(bits(records[lane].kind), bits(expected.kind)) << at;
        EXPECT_EQ(bits(records[lane].index), bits(expected.index)) << at;
        EXPECT_EQ(bits(records[lane].spare), bits(expected.spare)) << at;
        EXPECT_EQ(bits(amounts[lane]), bits(c.rays[lane].occlusion(scene))) << at;
        EXPECT_EQ((blocked >> k & 1u) != 0, !(scalar.t == c.rays[lane].t)) << at;
    }
    return !::testing::Test::HasFailure();
}

TEST(Packets, AnswerLikeTheScalarQueriesForRandomAndAwkwardRays) {
    const std::vector<SimdPath> paths = packetPaths();
    if (paths.empty()) GTEST_SKIP() << "no packet path on this processor";
    std::mt19937 random(57);
    int packets = 0;
    for (int i = 0; i < 150; ++i) {
        Scene scene;
        testing::fillRandomScene(scene, random);
        for (int p = 0; p < 12; ++p) {
            PacketCase c;
            // Every lane active, or a random set, down to none.
            c.active = p % 3 == 0 ? 0xffffu : std::uint32_t(random()) & 0xffffu;
            for (int k = 0; k < kMaxPacketLanes; ++k) {
                const int kind = (p + k) % 4;
                c.rays[std::size_t(k)] = kind == 0 || scene.sphereCount == 0
                                             ? testing::randomRay(random)
                                             : testing::awkwardRay(scene, random, kind - 1);
            }
            for (const SimdPath path : paths) {
                const std::string where =
                    "scene " + std::to_string(i) + " packet " + std::to_string(p);
                if (!matchesScalar(path, scene, c, random, where)) return;
            }
            ++packets;
        }
    }
    EXPECT_EQ(packets, 1800);
    skipLackedPaths(kPacketPaths);
}

// Neighbouring camera rays, as the renderer sends them: one origin, directions close together,
// most lanes taking the same way through the tree.
TEST(Packets, AnswerLikeTheScalarQueriesForCoherentRays) {
    const std::vector<SimdPath> paths = packetPaths();
    if (paths.empty()) GTEST_SKIP() << "no packet path on this processor";
    std::mt19937 random(58);
    for (int i = 0; i < 100; ++i) {
        Scene scene;
        testing::fillRandomScene(scene, random);
        const Ray centre = testing::randomRay(random);
        PacketCase c;
        c.active = 0xffffu;
        std::normal_distribution<float> spread(0.0f, 0.02f);
        for (Ray& ray : c.rays) {
            const Vec3 d = centre.direction + Vec3{spread(random), spread(random), spread(random)};
            ray = {centre.origin, testing::normalized(d)};
        }
        for (const SimdPath path : paths) {
            if (!matchesScalar(path, scene, c, random, "scene " + std::to_string(i))) return;
        }
    }
    skipLackedPaths(kPacketPaths);
}

// A lane whose t is NaN accepts no hit (every t > hit comparison fails) and must keep its NaN
// and name what the scalar query names, beside lanes that find their hits; so must lanes
// whose t is infinite or already below the hits.
TEST(Packets, LanesWhoseTIsNaNAnswerLikeTheScalarQueries) {
    const std::vector<SimdPath> paths = packetPaths();
    if (paths.empty()) GTEST_SKIP() << "no packet path on this processor";
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kStarts[] = {kNaN, kFarDistance, std::numeric_limits<float>::infinity(), 0.5f,
                                 -kNaN};
    std::mt19937 random(59);
    for (int i = 0; i < 40; ++i) {
        Scene scene;
        testing::fillRandomScene(scene, random);
        PacketCase c;
        c.active = 0xffffu;
        const Ray centre = testing::randomRay(random);
        for (int k = 0; k < kMaxPacketLanes; ++k) {
            Ray& ray = c.rays[std::size_t(k)];
            ray = k % 2 == 0 ? centre : testing::randomRay(random);
            ray.t = kStarts[std::size_t(k) % std::size(kStarts)];
        }
        for (const SimdPath path : paths) {
            if (!matchesScalar(path, scene, c, random, "scene " + std::to_string(i))) return;
        }
    }
    skipLackedPaths(kPacketPaths);
}

// Two spheres met at exactly the same distance: A (centre (0, 0, -5), radius 1) and B (centre
// (0, 0, -5.5), radius 1.5) are both reached at t = 4 from the origin along -z. B's box holds
// A's, so along that ray the boxes are entered at the same distance and the scalar walk takes
// the right child first; along +z from z = -20 B's box is entered first. With B on the left,
// a packet of mostly +z rays goes left first, and the -z lanes must still test A first and
// keep A, as the scalar walk does.
TEST(Packets, KeepTheScalarWinnerOfHitsAtEqualDistances) {
    const std::vector<SimdPath> paths = packetPaths();
    if (paths.empty()) GTEST_SKIP() << "no packet path on this processor";
    Scene scene;
    scene.addSphere({0.0f, 0.0f, -5.0f}, 1.0f, {1, 1, 1}, 0.0f);
    scene.addSphere({0.0f, 0.0f, -5.5f}, 1.5f, {1, 1, 1}, 0.0f);
    scene.buildHierarchy();
    BvhNode& root = *scene.root;
    if (root.left != scene.leaves[1]) std::swap(root.left, root.right);
    packTree(scene.root, leafSlotsOf(scene.leaves), scene.packedTree);

    PacketCase c;
    c.active = 0xffffu;
    for (int k = 0; k < kMaxPacketLanes; ++k) {
        c.rays[std::size_t(k)] = k < 3 ? Ray{{0, 0, 0}, {0, 0, -1}} : Ray{{0, 0, -20}, {0, 0, 1}};
    }
    Ray tie = c.rays[0];
    ASSERT_EQ(tie.closestHit(scene).index, 0.0f) << "the scalar walk keeps A";
    ASSERT_EQ(tie.t, 4.0f);
    std::mt19937 random(59);
    for (const SimdPath path : paths) matchesScalar(path, scene, c, random, "equal distances");
    skipLackedPaths(kPacketPaths);
}

// A chain deeper than the walks' depth limit, which only a tree made by hand can be: along -z
// every box is hit, the scalar walks give up below the limit and never reach the nearest
// sphere at the bottom. The packets must give up alike, by leaving such a tree to the
// scalar queries.
TEST(Packets, LeaveTreesDeeperThanTheDepthLimitToTheScalarQueries) {
    const std::vector<SimdPath> paths = packetPaths();
    if (paths.empty()) GTEST_SKIP() << "no packet path on this processor";
    constexpr int kLevels = kMaxTraversalDepth + 10;
    Scene scene;
    for (int i = 0; i <= kLevels; ++i) {
        scene.addSphere({0.0f, 0.0f, -2.0f - float(i)}, 0.4f, {1, 1, 1}, 0.0f);
    }
    // Level L holds sphere kLevels - L on the left and the rest of the chain on the right.
    BvhNode* below = scene.leaves[0];
    for (int level = kLevels - 1; level >= 0; --level) {
        auto* node = new BvhNode;
        node->boxMin = {-0.4f, -0.4f, -2.4f - float(kLevels - level)};
        node->boxMax = {0.4f, 0.4f, -1.6f};
        node->left = scene.leaves[std::size_t(kLevels - level)];
        node->right = below;
        below = node;
    }
    scene.root = below;
    packTree(scene.root, leafSlotsOf(scene.leaves), scene.packedTree);
    ASSERT_EQ(scene.packedTree.innerLevels, kLevels);

    PacketCase c;
    c.active = 0xffffu;
    c.rays.fill(Ray{{0, 0, 0}, {0, 0, -1}});
    Ray scalar = c.rays[0];
    scalar.closestHit(scene);
    ASSERT_NE(scalar.t, 1.6f) << "the depth limit must matter here";
    std::mt19937 random(60);
    for (const SimdPath path : paths) matchesScalar(path, scene, c, random, "deep chain");
    skipLackedPaths(kPacketPaths);
}

}  // namespace
}  // namespace lucentor
