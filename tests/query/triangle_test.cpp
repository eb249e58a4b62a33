#include "query/triangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/every_path.h"

namespace lucentor {
namespace {

using testing::EveryPath;

using Triangle = std::array<Vec3, 3>;

std::vector<TriangleHit> hitsOf(SimdPath path, const std::vector<Ray>& rays,
                                const Triangle& triangle) {
    std::vector<TriangleHit> hits(rays.size());
    hitTriangles(path, rays, triangle[0], triangle[1], triangle[2], hits);
    return hits;
}

Vec3 normalised(const Vec3& v) { return v * (1.0f / length(v)); }

Ray rayTowards(const Vec3& origin, const Vec3& target) {
    return {origin, normalised(target - origin)};
}

// In the plane z = 2, counter-clockwise seen from below: its normal is +z. A point (x, y, 2)
// has the weights (2 - x - y, x + 1, y + 1) / 4.
constexpr Triangle kRight{{{-1.0f, -1.0f, 2.0f}, {3.0f, -1.0f, 2.0f}, {-1.0f, 3.0f, 2.0f}}};
constexpr Vec3 kUp{0.0f, 0.0f, 1.0f};
constexpr Vec3 kDown{0.0f, 0.0f, -1.0f};
constexpr float kJustOff = 1e-6f;

struct ClosedForm {
    const char* what;
    Ray ray;
    bool hit;
    bool back;
    float t;
    std::array<float, 3> barycentrics;
};

// Rays along z meet kRight with exact arithmetic throughout: the expected values are exact.
const ClosedForm kClosedForms[] = {
    {"inside", {{0.0f, 0.0f, 0.0f}, kUp}, true, true, 2.0f, {0.5f, 0.25f, 0.25f}},
    {"from above", {{0.0f, 0.0f, 4.0f}, kDown}, true, false, 2.0f, {0.5f, 0.25f, 0.25f}},
    {"vertex 0", {{-1.0f, -1.0f, 0.0f}, kUp}, true, true, 2.0f, {1.0f, 0.0f, 0.0f}},
    {"vertex 2", {{-1.0f, 3.0f, 5.0f}, kDown}, true, false, 3.0f, {0.0f, 0.0f, 1.0f}},
    {"edge 1-2", {{1.0f, 1.0f, 0.0f}, kUp}, true, true, 2.0f, {0.0f, 0.5f, 0.5f}},
    {"edge 0-1", {{1.0f, -1.0f, 0.0f}, kUp}, true, true, 2.0f, {0.5f, 0.5f, 0.0f}},
    {"below edge 0-1", {{1.0f, -1.0f - kJustOff, 0.0f}, kUp}, false, false, 0, {}},
    {"above edge 0-1", {{1.0f, -1.0f + kJustOff, 0.0f}, kUp}, true, true, 2.0f, {}},
    {"left of edge 0-2", {{-1.0f - kJustOff, 1.0f, 0.0f}, kUp}, false, false, 0, {}},
    {"right of edge 0-2", {{-1.0f + kJustOff, 1.0f, 0.0f}, kUp}, true, true, 2.0f, {}},
    {"beyond edge 1-2", {{1.0f + kJustOff, 1.0f, 0.0f}, kUp}, false, false, 0, {}},
    {"before edge 1-2", {{1.0f - kJustOff, 1.0f, 0.0f}, kUp}, true, true, 2.0f, {}},
    {"beyond vertex 1", {{3.0f + kJustOff, -1.0f, 0.0f}, kUp}, false, false, 0, {}},
    {"pointing away", {{0.0f, 0.0f, 0.0f}, kDown}, false, false, 0, {}},
    {"t short of it", {{0.0f, 0.0f, 0.0f}, kUp, 1.5f}, false, false, 0, {}},
    {"t exactly at it", {{0.0f, 0.0f, 0.0f}, kUp, 2.0f}, false, false, 0, {}},
    {"t just past it", {{0.0f, 0.0f, 0.0f}, kUp, 2.0000002f}, true, true, 2.0f, {}},
    {"origin on it", {{0.0f, 0.0f, 2.0f}, kUp}, false, false, 0, {}},
    {"in its plane", {{-5.0f, 0.0f, 2.0f}, {1.0f, 0.0f, 0.0f}}, false, false, 0, {}},
};

class TriangleClosedForms : public EveryPath {};

TEST_P(TriangleClosedForms, RaysAtKnownPointsGiveTheirDistanceWeightsAndSide) {
    std::vector<Ray> rays;
    for (const ClosedForm& c : kClosedForms) rays.push_back(c.ray);
    const std::vector<TriangleHit> hits = hitsOf(GetParam(), rays, kRight);
    for (std::size_t i = 0; i < rays.size(); ++i) {
        const ClosedForm& c = kClosedForms[i];
        ASSERT_EQ(hits[i].hit, c.hit) << c.what;
        if (!c.hit) {
            EXPECT_EQ(hits[i].t, c.ray.t) << c.what << ": a miss leaves t";
            continue;
        }
        EXPECT_EQ(hits[i].t, c.t) << c.what;
        EXPECT_EQ(hits[i].back, c.back) << c.what;
        if (c.barycentrics != std::array<float, 3>{}) {
            EXPECT_EQ(hits[i].barycentrics, c.barycentrics) << c.what;
        }
    }
}

// Seen along +z from the origin, the edge from (x, 1) to (-1, -y) with x = 1 + 2^-23 and
// y = 1 - 2^-24 passes the origin on the side of (-1, 1): x * y - 1 = 2^-24 - 2^-47 > 0. In
// float, x * y rounds to 1 and the edge function to 0; only exact products tell the sides.
TEST_P(TriangleClosedForms, AnEdgePassedByLessThanRoundingGoesToTheSideExactProductsTell) {
    const float x = 1.0f + 0x1p-23f;
    const float y = 1.0f - 0x1p-24f;
    const Vec3 b{x, 1.0f, 1.0f};
    const Vec3 c{-1.0f, -y, 1.0f};
    const std::vector<Ray> rays(3, Ray{{0.0f, 0.0f, 0.0f}, kUp});
    EXPECT_TRUE(hitsOf(GetParam(), rays, {Vec3{-1.0f, 1.0f, 1.0f}, b, c})[2].hit);
    EXPECT_FALSE(hitsOf(GetParam(), rays, {Vec3{1.0f, -1.0f, 1.0f}, c, b})[2].hit);
}

INSTANTIATE_TEST_SUITE_P(triangle, TriangleClosedForms, testing::everyPath(),
                         testing::pathCaseName);

TEST(triangle, InterpolationAndNormalOfAKnownTriangle) {
    const TriangleHit hit = hitTriangle({{0.5f, 0.0f, 0.0f}, kUp}, kRight[0], kRight[1], kRight[2]);
    ASSERT_TRUE(hit.hit);
    // The vertices themselves as the attribute give back the point hit.
    EXPECT_EQ(interpolated(hit, kRight[0], kRight[1], kRight[2]), (Vec3{0.5f, 0.0f, 2.0f}));
    EXPECT_EQ(interpolated(hit, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}), (Vec3{0.375f, 0.375f, 0.25f}));
    EXPECT_EQ(geometricNormal(kRight[0], kRight[1], kRight[2]), kUp);
    EXPECT_EQ(geometricNormal(kRight[0], kRight[2], kRight[1]), kDown);
    EXPECT_TRUE(std::isnan(geometricNormal(kRight[0], kRight[0], kRight[1]).x));
}

// Random rays through random triangles: the point the weights give lies on the ray at t, and
// the side is the sign of the direction against the geometric normal.
TEST(triangle, HitsAgreeWithTheGeometryOfTheTriangle) {
    std::mt19937 random(27);
    std::uniform_real_distribution<float> coordinate(-4.0f, 4.0f);
    std::uniform_real_distribution<float> weight(0.0f, 1.0f);
    const auto point = [&] {
        return Vec3{coordinate(random), coordinate(random), coordinate(random)};
    };
    int hits = 0;
    for (int i = 0; i < 2000; ++i) {
        const Triangle tri{point(), point(), point()};
        // Weights kept off 0, so that no target lies within rounding of an edge.
        const float w1 = 0.01f + 0.98f * weight(random);
        const float w2 = (1.0f - w1) * (0.01f + 0.98f * weight(random));
        const Vec3 target = tri[0] * (1.0f - w1 - w2) + tri[1] * w1 + tri[2] * w2;
        const Ray ray = rayTowards(point() * 3.0f, target);
        const TriangleHit hit = hitTriangle(ray, tri[0], tri[1], tri[2]);
        const Vec3 normal = geometricNormal(tri[0], tri[1], tri[2]);
        const float facing = dot(ray.direction, normal);
        if (std::abs(facing) < 0.05f) continue;  // grazing: rounding may decide
        ASSERT_TRUE(hit.hit) << "case " << i;
        ++hits;
        const Vec3 onRay = ray.origin + ray.direction * hit.t;
        const Vec3 weighted = interpolated(hit, tri[0], tri[1], tri[2]);
        EXPECT_LT(length(onRay - weighted), 1e-4f * (1.0f + hit.t)) << "case " << i;
        EXPECT_LT(length(onRay - target), 1e-4f * (1.0f + hit.t)) << "case " << i;
        EXPECT_EQ(hit.back, facing > 0.0f) << "case " << i;
    }
    EXPECT_GT(hits, 1500);
}

// A closed mesh: shared vertices stored once, as a mesh file gives them.
struct Mesh {
    std::vector<Vec3> vertices;
    std::vector<std::array<int, 3>> triangles;  // counter-clockwise seen from outside
};

Mesh placed(Mesh mesh, const Vec3& center, float scale) {
    for (Vec3& v : mesh.vertices) v = v * scale + center;
    return mesh;
}

Mesh cube() {
    Mesh m;
    for (int i = 0; i < 8; ++i) {
        m.vertices.push_back({i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
    }
    // Two triangles a face, split along different diagonals.
    m.triangles = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                   {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
    return m;
}

// An icosahedron whose triangles are split in four `levels` times, the new vertices pushed
// onto the unit sphere.
Mesh icosphere(int levels) {
    const float g = (1.0f + std::sqrt(5.0f)) / 2.0f;
    Mesh m;
    m.vertices = {{-1, g, 0},  {1, g, 0},  {-1, -g, 0}, {1, -g, 0}, {0, -1, g},  {0, 1, g},
                  {0, -1, -g}, {0, 1, -g}, {g, 0, -1},  {g, 0, 1},  {-g, 0, -1}, {-g, 0, 1}};
    for (Vec3& v : m.vertices) v = normalised(v);
    m.triangles = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                   {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                   {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                   {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    for (int level = 0; level < levels; ++level) {
        std::map<std::pair<int, int>, int> middles;
        const auto middle = [&](int a, int b) {
            const auto key = std::minmax(a, b);
            const auto [at, added] = middles.try_emplace(key, int(m.vertices.size()));
            if (added) {
                m.vertices.push_back(
                    normalised((m.vertices[std::size_t(a)] + m.vertices[std::size_t(b)]) * 0.5f));
            }
            return at->second;
        };
        std::vector<std::array<int, 3>> split;
        for (const auto [a, b, c] : m.triangles) {
            const int ab = middle(a, b);
            const int bc = middle(b, c);
            const int ca = middle(c, a);
            split.insert(split.end(), {{a, ab, ca}, {b, bc, ab}, {c, ca, bc}, {ab, bc, ca}});
        }
        m.triangles = split;
    }
    return m;
}

// A point where triangles meet (a shared edge's midpoint or a shared vertex) and those
// triangles.
struct Target {
    Vec3 point;
    std::vector<int> triangles;
};

std::vector<Target> sharedPlaces(const Mesh& m) {
    std::map<std::pair<int, int>, std::vector<int>> edges;
    std::vector<std::vector<int>> fans(m.vertices.size());
    for (int t = 0; t < int(m.triangles.size()); ++t) {
        const auto& tri = m.triangles[std::size_t(t)];
        for (std::size_t k = 0; k < 3; ++k) {
            edges[std::minmax(tri[k], tri[(k + 1) % 3])].push_back(t);
            fans[std::size_t(tri[k])].push_back(t);
        }
    }
    std::vector<Target> targets;
    for (const auto& [edge, triangles] : edges) {
        const Vec3 a = m.vertices[std::size_t(edge.first)];
        const Vec3 b = m.vertices[std::size_t(edge.second)];
        targets.push_back({(a + b) * 0.5f, triangles});
    }
    for (std::size_t v = 0; v < fans.size(); ++v) targets.push_back({m.vertices[v], fans[v]});
    return targets;
}

struct WatertightCase {
    const char* name;
    Mesh mesh;
};

// Named in the test's listing by its name alone, not by its bytes.
void PrintTo(const WatertightCase& c, std::ostream* out) { *out << c.name; }

class TriangleWatertight : public ::testing::TestWithParam<std::tuple<SimdPath, WatertightCase>> {
protected:
    void SetUp() override {
        if (!isAvailable(std::get<0>(GetParam()), detectCpuFeatures())) {
            GTEST_SKIP() << "this processor lacks " << pathName(std::get<0>(GetParam()));
        }
    }
};

// Rays from inside and outside aimed exactly at the shared edges' midpoints and the shared
// vertices of a closed mesh each meet at least one of the triangles there. Outside origins lie
// well in front of the place, so that every ray's line truly crosses the surface there and
// does not merely graze it.
TEST_P(TriangleWatertight, NoRayAimedAtASharedEdgeOrVertexPassesBetweenItsTriangles) {
    const auto& [path, shape] = GetParam();
    const Mesh& m = shape.mesh;
    Vec3 center;
    for (const Vec3& v : m.vertices) center = center + v * (1.0f / float(m.vertices.size()));
    const float size = length(m.vertices[0] - center);
    std::mt19937 random(2013);
    std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
    const auto jitter = [&] { return Vec3{spread(random), spread(random), spread(random)}; };
    int rays = 0;
    for (const Target& target : sharedPlaces(m)) {
        const Vec3 outward = normalised(target.point - center);
        std::vector<Ray> aimed;
        aimed.push_back(rayTowards(center, target.point));
        for (int k = 0; k < 6; ++k)
            aimed.push_back(rayTowards(center + jitter() * (0.4f * size), target.point));
        for (int k = 0; k < 6; ++k) {
            const Vec3 away = normalised(outward + jitter() * 0.4f) *
                              (size * (0.5f + 3.0f * (spread(random) + 1.0f)));
            aimed.push_back(rayTowards(target.point + away, target.point));
        }
        std::vector<bool> met(aimed.size(), false);
        for (const int t : target.triangles) {
            const auto& tri = m.triangles[std::size_t(t)];
            const std::vector<TriangleHit> hits =
                hitsOf(path, aimed,
                       {m.vertices[std::size_t(tri[0])], m.vertices[std::size_t(tri[1])],
                        m.vertices[std::size_t(tri[2])]});
            for (std::size_t i = 0; i < aimed.size(); ++i) met[i] = met[i] || hits[i].hit;
        }
        for (std::size_t i = 0; i < aimed.size(); ++i) {
            ASSERT_TRUE(met[i]) << "ray " << i << " from (" << aimed[i].origin.x << ", "
                                << aimed[i].origin.y << ", " << aimed[i].origin.z << ") towards ("
                                << target.point.x << ", " << target.point.y << ", "
                                << target.point.z << ") met none of its " << target.triangles.size()
                                << " triangles";
        }
        rays += int(aimed.size());
    }
    EXPECT_GT(rays, 0);
}

// Exactly representable corners, then corners and a centre that are not (0.1 and its kin).
INSTANTIATE_TEST_SUITE_P(
    triangle, TriangleWatertight,
    ::testing::Combine(
        testing::everyPath(),
        ::testing::Values(WatertightCase{"cube", cube()},
                          WatertightCase{"cube_placed", placed(cube(), {0.1f, -0.3f, 0.7f}, 0.3f)},
                          WatertightCase{"icosphere", icosphere(3)},
                          WatertightCase{"icosphere_placed",
                                         placed(icosphere(3), {0.1f, -0.3f, 0.7f}, 1.7f)})),
    [](const auto& param) {
        return std::string(pathName(std::get<0>(param.param))) + "_" +
               std::get<1>(param.param).name;
    });

// Random rays and triangles, ordinary ones and those that try the edges of the arithmetic:
// rays aimed at vertices and edges, grazing rays, triangles of zero area, tiny and far ones,
// directions along the axes and with zero components.
struct RandomCases {
    std::vector<Ray> rays;
    std::vector<Triangle> triangles;
};

RandomCases randomCases() {
    std::mt19937 random(1);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const auto point = [&](float scale) {
        return Vec3{unit(random), unit(random), unit(random)} * scale;
    };
    RandomCases cases;
    for (int i = 0; i < 200; ++i) {
        const float scale = i % 10 == 0 ? 1e-3f : (i % 10 == 1 ? 1e4f : 2.0f);
        Triangle tri{point(scale), point(scale), point(scale)};
        if (i % 7 == 2) tri[1] = tri[0];                  // two equal vertices
        if (i % 7 == 3) tri[2] = tri[1] * 2.0f - tri[0];  // in a line
        if (i % 7 == 4) tri[2].z = tri[1].z = tri[0].z;   // along an axis plane
        if (i % 7 == 5) tri = {tri[0], tri[0] + Vec3{1e-7f, 0, 0}, tri[0] + Vec3{0, 1e-7f, 0}};
        cases.triangles.push_back(tri);
    }
    const Triangle& any = cases.triangles[4];
    for (int i = 0; i < 160; ++i) {
        Ray ray;
        ray.origin = point(i % 4 == 0 ? 100.0f : 5.0f);
        switch (i % 8) {
            case 0:
                ray.direction = {0.0f, 0.0f, i % 16 == 0 ? 1.0f : -1.0f};
                break;
            case 1:
                ray.direction = normalised({unit(random), 0.0f, unit(random)});
                break;
            case 2:  // at a vertex of one of the triangles
                ray.direction = normalised(any[std::size_t(i % 3)] - ray.origin);
                break;
            case 3:  // at an edge's midpoint
                ray.direction = normalised((any[0] + any[1]) * 0.5f - ray.origin);
                break;
            default:
                ray.direction = normalised(point(1.0f));
        }
        if (i % 5 == 0) ray.t = std::abs(unit(random)) * 10.0f;
        cases.rays.push_back(ray);
    }
    return cases;
}

class TriangleEveryWidth : public EveryPath {};

TEST_P(TriangleEveryWidth, MatchesWidthOneBitForBit) {
    const RandomCases cases = randomCases();
    int hits = 0;
    for (std::size_t n = 0; n < cases.triangles.size(); ++n) {
        const Triangle& tri = cases.triangles[n];
        const std::vector<TriangleHit> wide = hitsOf(GetParam(), cases.rays, tri);
        for (std::size_t i = 0; i < cases.rays.size(); ++i) {
            const TriangleHit one = hitTriangle(cases.rays[i], tri[0], tri[1], tri[2]);
            const TriangleHit& lane = wide[i];
            const auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f); };
            ASSERT_EQ(lane.hit, one.hit) << "triangle " << n << " ray " << i;
            ASSERT_EQ(lane.back, one.back) << "triangle " << n << " ray " << i;
            ASSERT_EQ(bits(lane.t), bits(one.t)) << "triangle " << n << " ray " << i;
            for (std::size_t k = 0; k < 3; ++k) {
                ASSERT_EQ(bits(lane.barycentrics[k]), bits(one.barycentrics[k]))
                    << "triangle " << n << " ray " << i << " weight " << k;
            }
            hits += one.hit ? 1 : 0;
        }
    }
    EXPECT_GT(hits, 200) << "too few hits to compare";
}

INSTANTIATE_TEST_SUITE_P(triangle, TriangleEveryWidth, testing::everyPath(), testing::pathCaseName);

// A triangle with two equal vertices, or all three, is never hit: not by rays aimed at its
// corners or along its one edge, nor by random ones.
class TriangleDegenerate : public EveryPath {};

TEST_P(TriangleDegenerate, TrianglesWithRepeatedVerticesAreNeverHit) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const auto point = [&] { return Vec3{unit(random), unit(random), unit(random)} * 3.0f; };
    for (int i = 0; i < 300; ++i) {
        const Vec3 p = point();
        const Vec3 q = point();
        const Triangle shapes[] = {{p, p, q}, {p, q, q}, {q, p, q}, {p, p, p}};
        std::vector<Ray> rays;
        for (int k = 0; k < 8; ++k) {
            const float along = float(k) / 7.0f;
            rays.push_back(rayTowards(point() * 2.0f, p + (q - p) * along));
            rays.push_back(rayTowards(point(), point()));
        }
        for (const Triangle& shape : shapes) {
            const std::vector<TriangleHit> hits = hitsOf(GetParam(), rays, shape);
            for (std::size_t k = 0; k < rays.size(); ++k) {
                ASSERT_FALSE(hits[k].hit) << "case " << i << " ray " << k;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(triangle, TriangleDegenerate, testing::everyPath(), testing::pathCaseName);

}  // namespace
}  // namespace lucentor
