#include "query/triangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "query/triangle_lanes.h"
#include "query/triangle_leaves.h"
#include "simd/one_lane.h"
#include "tests/support/every_path.h"

namespace lucentor {
namespace {

using Triangle = std::array<Vec3, 3>;
using Mesh = std::vector<Triangle>;

std::vector<TriangleHit> hitsOf(SimdPath path, const std::vector<Ray>& rays, const Triangle& tri) {
    std::vector<TriangleHit> hits(rays.size());
    hitTriangles(path, rays, tri[0], tri[1], tri[2], hits);
    return hits;
}

Vec3 normalised(const Vec3& v) { return v * (1.0f / length(v)); }
Ray rayTowards(const Vec3& origin, const Vec3& target) {
    return {origin, normalised(target - origin)};
}

// In the plane z = 2, counter-clockwise seen from below (its normal is +z): a point (x, y, 2)
// has the weights (2 - x - y, x + 1, y + 1) / 4. Rays along z meet it with exact arithmetic.
constexpr Triangle kRight{{{-1, -1, 2}, {3, -1, 2}, {-1, 3, 2}}};
constexpr Vec3 kUp{0, 0, 1};
constexpr Vec3 kDown{0, 0, -1};
constexpr float kOff = 1e-6f;

struct ClosedForm {
    const char* what;
    Ray ray;
    bool hit;
    bool back;
    float t;
    std::array<float, 3> weights;  // {} where not compared; the vertices weighted give the point
};

// Rays just off each edge by kOff miss outside it (and hit just inside one).
const ClosedForm kClosedForms[] = {
    {"inside", {{0, 0, 0}, kUp}, true, true, 2, {0.5f, 0.25f, 0.25f}},
    {"vertex 2", {{-1, 3, 5}, kDown}, true, false, 3, {0, 0, 1}},
    {"edge 1-2", {{1, 1, 0}, kUp}, true, true, 2, {0, 0.5f, 0.5f}},
    {"below edge 0-1", {{1, -1 - kOff, 0}, kUp}, false, false, kFarDistance, {}},
    {"above edge 0-1", {{1, -1 + kOff, 0}, kUp}, true, true, 2, {}},
    {"left of edge 0-2", {{-1 - kOff, 1, 0}, kUp}, false, false, kFarDistance, {}},
    {"beyond edge 1-2", {{1 + kOff, 1, 0}, kUp}, false, false, kFarDistance, {}},
    {"t exactly at it", {{0, 0, 0}, kUp, 2}, false, false, 2, {}},
    {"t just past it", {{0, 0, 0}, kUp, 2.0000002f}, true, true, 2, {}},
    {"origin on it", {{0, 0, 2}, kUp}, false, false, kFarDistance, {}},
    {"in its plane", {{-5, 0, 2}, {1, 0, 0}}, false, false, kFarDistance, {}},
};

class TriangleTest : public testing::EveryPath {};

TEST_P(TriangleTest, RaysAtKnownPointsGiveTheirDistanceWeightsAndSide) {
    std::vector<Ray> rays;
    for (const ClosedForm& c : kClosedForms) rays.push_back(c.ray);
    const std::vector<TriangleHit> hits = hitsOf(GetParam(), rays, kRight);
    for (std::size_t i = 0; i < rays.size(); ++i) {
        const ClosedForm& c = kClosedForms[i];
        EXPECT_EQ(hits[i].hit, c.hit) << c.what;
        EXPECT_EQ(hits[i].t, c.t) << c.what;
        EXPECT_EQ(hits[i].back, c.back) << c.what;
        if (c.weights == std::array<float, 3>{}) continue;
        EXPECT_EQ(hits[i].barycentrics, c.weights) << c.what;
        EXPECT_EQ(interpolated(hits[i], kRight[0], kRight[1], kRight[2]),
                  c.ray.origin + c.ray.direction * c.t);
    }
    EXPECT_EQ(geometricNormal(kRight[0], kRight[1], kRight[2]), kUp);
    EXPECT_EQ(geometricNormal(kRight[0], kRight[2], kRight[1]), kDown);
}

// Seen along +z from the origin, the edge from (x, 1) to (-1, -y) with x = 1 + 2^-23 and
// y = 1 - 2^-24 passes the origin on the side of (-1, 1): x * y - 1 = 2^-24 - 2^-47 > 0. In
// float, x * y rounds to 1 and the edge function to 0; only exact products tell the sides.
TEST_P(TriangleTest, AnEdgePassedByLessThanRoundingGoesToTheSideExactProductsTell) {
    const Vec3 b{1.0f + 0x1p-23f, 1, 1};
    const Vec3 c{-1, -(1.0f - 0x1p-24f), 1};
    const std::vector<Ray> rays(3, Ray{{0, 0, 0}, kUp});
    EXPECT_TRUE(hitsOf(GetParam(), rays, {Vec3{-1, 1, 1}, b, c})[2].hit);
    EXPECT_FALSE(hitsOf(GetParam(), rays, {Vec3{1, -1, 1}, c, b})[2].hit);
}

// The cube [low, high]^3, two triangles a face, counter-clockwise seen from outside; corner i
// is at high along x, y, z where its bit 0, 1, 2 is set.
Mesh cube(float low, float high) {
    const auto v = [&](int i) {
        return Vec3{i & 1 ? high : low, i & 2 ? high : low, i & 4 ? high : low};
    };
    return {{v(0), v(2), v(1)}, {v(1), v(2), v(3)}, {v(4), v(5), v(6)}, {v(5), v(7), v(6)},
            {v(0), v(1), v(4)}, {v(1), v(5), v(4)}, {v(2), v(6), v(3)}, {v(3), v(6), v(7)},
            {v(0), v(4), v(2)}, {v(2), v(4), v(6)}, {v(1), v(3), v(5)}, {v(3), v(7), v(5)}};
}

// An icosahedron, each triangle split in four `levels` times with the new vertices pushed onto
// the unit sphere (a midpoint has the same floats from either side: a + b == b + a).
Mesh icosphere(int levels) {
    const float g = (1.0f + std::sqrt(5.0f)) / 2.0f;
    const Vec3 v[] = {{-1, g, 0},  {1, g, 0},  {-1, -g, 0}, {1, -g, 0}, {0, -1, g},  {0, 1, g},
                      {0, -1, -g}, {0, 1, -g}, {g, 0, -1},  {g, 0, 1},  {-g, 0, -1}, {-g, 0, 1}};
    const int faces[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                              {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                              {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                              {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    Mesh m;
    for (const auto& f : faces)
        m.push_back({normalised(v[f[0]]), normalised(v[f[1]]), normalised(v[f[2]])});
    for (int level = 0; level < levels; ++level) {
        Mesh split;
        for (const auto& [a, b, c] : m) {
            const Vec3 ab = normalised(a + b), bc = normalised(b + c), ca = normalised(c + a);
            split.insert(split.end(), {{a, ab, ca}, {b, bc, ab}, {c, ca, bc}, {ab, bc, ca}});
        }
        m = split;
    }
    return m;
}

// Rays from inside and outside a closed, convex mesh, aimed exactly at each shared edge's
// midpoint and each vertex, each meet one of the triangles there. Outside origins lie well in
// front of the place, so that each ray's line crosses the surface there and does not graze it.
TEST_P(TriangleTest, NoRayAimedAtASharedEdgeOrVertexPassesBetweenItsTriangles) {
    std::mt19937 random(2013);
    std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
    const auto jitter = [&] { return Vec3{spread(random), spread(random), spread(random)}; };
    const float a = 0.1f, b = 0.7f;  // not exactly representable
    const std::pair<Mesh, Vec3> meshes[] = {
        {cube(-1, 1), {}}, {cube(a, b), {0.4f, 0.4f, 0.4f}}, {icosphere(3), {}}};
    for (const auto& [m, center] : meshes) {
        std::map<std::array<float, 3>, std::vector<std::size_t>> places;  // the triangles there
        for (std::size_t t = 0; t < m.size(); ++t) {
            for (std::size_t k = 0; k < 3; ++k) {
                for (const Vec3& p : {m[t][k], (m[t][k] + m[t][(k + 1) % 3]) * 0.5f})
                    places[{p.x, p.y, p.z}].push_back(t);
            }
        }
        for (const auto& [place, triangles] : places) {
            const Vec3 target{place[0], place[1], place[2]};
            const float size = length(target - center);
            std::vector<Ray> rays{rayTowards(center, target)};
            for (int k = 0; k < 8; ++k) {
                rays.push_back(rayTowards(center + jitter() * (0.3f * size), target));
                const Vec3 away = normalised(normalised(target - center) + jitter() * 0.4f);
                rays.push_back(
                    rayTowards(target + away * (size * (2.0f + spread(random))), target));
            }
            std::vector<int> met(rays.size(), 0);
            for (const std::size_t t : triangles) {
                const std::vector<TriangleHit> hits = hitsOf(GetParam(), rays, m[t]);
                for (std::size_t i = 0; i < rays.size(); ++i) met[i] |= hits[i].hit ? 1 : 0;
            }
            ASSERT_EQ(std::count(met.begin(), met.end(), 0), 0)
                << "rays that met none towards " << target.x << " " << target.y << " " << target.z;
        }
    }
}

// Random rays and triangles (also tiny, huge, and with two equal vertices, which are never hit)
// against width 1, bit for bit; rays aimed at each one's vertices and edges' midpoints, along an
// axis, in a coordinate plane, with a short t.
TEST_P(TriangleTest, MatchesWidthOneBitForBitAndRepeatedVerticesAreNeverHit) {
    std::mt19937 random(1);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const auto point = [&](float scale) {
        return Vec3{unit(random), unit(random), unit(random)} * scale;
    };
    const auto bits = [](const TriangleHit& h) {
        return std::tuple(h.hit, h.back, std::bit_cast<std::uint32_t>(h.t),
                          std::bit_cast<std::array<std::uint32_t, 3>>(h.barycentrics));
    };
    int hits = 0;
    for (int n = 0; n < 400; ++n) {
        Triangle tri{point(2), point(n % 10 == 0 ? 1e-3f : 2), point(n % 10 == 1 ? 1e4f : 2)};
        if (n % 5 == 2) tri[n % 3] = tri[(n + 1) % 3];
        std::vector<Ray> rays;
        for (std::size_t i = 0; i < 40; ++i) {
            const Vec3 origin = point(i % 4 == 0 ? 100.0f : 5.0f);
            const Vec3 towards[] = {tri[i % 3] - origin,
                                    (tri[i % 3] + tri[(i + 1) % 3]) * 0.5f - origin,
                                    {0, 0, i % 2 ? 1.0f : -1.0f},
                                    {unit(random), 0, unit(random)},
                                    point(1)};
            rays.push_back({origin, normalised(towards[i % 5]), i % 7 == 0 ? 3.0f : kFarDistance});
        }
        const std::vector<TriangleHit> wide = hitsOf(GetParam(), rays, tri);
        for (std::size_t i = 0; i < rays.size(); ++i) {
            const TriangleHit one = hitTriangle(rays[i], tri[0], tri[1], tri[2]);
            ASSERT_FALSE(one.hit && n % 5 == 2)
                << "two equal vertices, triangle " << n << " ray " << i;
            ASSERT_EQ(bits(wide[i]), bits(one)) << "triangle " << n << " ray " << i;
            hits += one.hit ? 1 : 0;
        }
    }
    EXPECT_GT(hits, 1000) << "too few hits to compare";
}

INSTANTIATE_TEST_SUITE_P(triangle, TriangleTest, testing::everyPath(), testing::pathCaseName);

// One ray against a leaf's triangles at once, a triangle a lane, answers as the one-ray test of
// each at any distance ahead: fans of up to four triangles around a shared vertex (lanes past the
// count never hit), rays aimed at the shared vertex, at shared edges' midpoints and anywhere.
TEST(LeafTriangles, MatchTheOneRayTestOfEachBitForBit) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const auto point = [&](float scale) {
        return Vec3{unit(random), unit(random), unit(random)} * scale;
    };
    int hits = 0;
    for (int n = 0; n < 300; ++n) {
        const int count = 1 + n % kWideLeafTriangles;
        const Vec3 centre = point(1);
        std::array<Vec3, kWideLeafTriangles + 1> rim;
        for (Vec3& v : rim) v = point(2);
        WideTriangleLeaf leaf;
        for (std::size_t s = 0; s < std::size_t(count); ++s) {
            const Triangle tri{centre, rim[s], rim[s + 1]};
            for (std::size_t v = 0; v < 3; ++v) {
                for (std::size_t axis = 0; axis < 3; ++axis) {
                    leaf.corners[v][axis][s] = std::bit_cast<std::array<float, 3>>(tri[v])[axis];
                }
            }
        }
        for (int i = 0; i < 24; ++i) {
            const Vec3 origin = point(6);
            const Vec3 targets[] = {centre, (centre + rim[std::size_t(i) % 4]) * 0.5f, point(2)};
            const Ray ray = rayTowards(origin, targets[i % 3]);
            const LeafTriangleHits found =
                hitLeafTriangles(triangleRaysOf<scalar::Lanes>(scalar::lanesOf(ray.origin),
                                                               scalar::lanesOf(ray.direction)),
                                 leaf, count);
            for (std::size_t s = 0; s < std::size_t(kWideLeafTriangles); ++s) {
                const std::string at = "leaf " + std::to_string(n) + " ray " + std::to_string(i) +
                                       " triangle " + std::to_string(s);
                const bool hit = (found.hits >> s & 1u) != 0;
                if (s >= std::size_t(count)) {
                    ASSERT_FALSE(hit) << at;
                    continue;
                }
                Ray far = ray;
                far.t = std::numeric_limits<float>::infinity();
                const TriangleHit one = hitTriangle(far, centre, rim[s], rim[s + 1]);
                ASSERT_EQ(hit, one.hit) << at;
                if (!hit) continue;
                ASSERT_EQ(std::bit_cast<std::uint32_t>(found.t[s]),
                          std::bit_cast<std::uint32_t>(one.t))
                    << at;
                ++hits;
            }
        }
    }
    EXPECT_GT(hits, 1000) << "too few hits to compare";
}

}  // namespace
}  // namespace lucentor
