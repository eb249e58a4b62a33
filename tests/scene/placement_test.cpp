#include "scene/placement.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <random>
#include <utility>

#include "engine/direction.h"
#include "scene/shapes.h"

namespace lucentor {
namespace {

Direction faceNormal(const Mesh& mesh, const Triangle& t) {
    const Direction p = directionOf(mesh.positions[t.vertices[0]]);
    return cross(minus(directionOf(mesh.positions[t.vertices[1]]), p),
                 minus(directionOf(mesh.positions[t.vertices[2]]), p));
}

struct TurnedQuad {
    Vec3 degrees;
    Vec3 farCorner;  // where the corner (1, 1, 0) of the unit quad goes
    Vec3 front;      // where its normal (0, 0, 1) goes
};

class QuadTurned : public ::testing::TestWithParam<TurnedQuad> {};

// Closed forms: a quarter turn about z takes x to y and y to -x; about x takes y to z and z to
// -y; about y takes z to x and x to -z; the turns apply x first, then y, then z.
TEST_P(QuadTurned, CornersAndFrontGoWhereTheTurnsTakeThem) {
    const TurnedQuad& turned = GetParam();
    Mesh quad = quadMesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {});
    placeMesh(quad, rotation(turned.degrees));
    EXPECT_EQ(quad.positions[2], turned.farCorner);
    for (const Triangle& t : quad.triangles) {
        const Direction n = unit(faceNormal(quad, t));
        EXPECT_NEAR(n.x, double(turned.front.x), 1e-12);
        EXPECT_NEAR(n.y, double(turned.front.y), 1e-12);
        EXPECT_NEAR(n.z, double(turned.front.z), 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Quarters, QuadTurned,
    ::testing::Values(TurnedQuad{{0, 0, 90}, {-1, 1, 0}, {0, 0, 1}},
                      TurnedQuad{{90, 0, 0}, {1, 0, 1}, {0, -1, 0}},
                      TurnedQuad{{0, 90, 0}, {0, 1, -1}, {1, 0, 0}},
                      TurnedQuad{{90, 0, 90}, {0, 1, 1}, {1, 0, 0}},  // x first, then z
                      TurnedQuad{{0, -270, 0}, {0, 1, -1}, {1, 0, 0}},
                      TurnedQuad{{180, 0, 0}, {1, -1, 0}, {0, 0, -1}}));

// 45 degrees about z, against cos and sin worked out here.
TEST(Placement, TurnsByAnyAngle) {
    Mesh quad = quadMesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {});
    placeMesh(quad, placementMatrix({5, 0, 0}, {2, 2, 2}, {0, 0, 45}));
    EXPECT_FLOAT_EQ(quad.positions[1].x, 5.0f + float(2.0 * std::cos(M_PI / 4)));
    EXPECT_FLOAT_EQ(quad.positions[1].y, float(2.0 * std::sin(M_PI / 4)));
    EXPECT_NEAR(quad.positions[2].x, 5.0f, 1e-6f);
}

// Under any invertible placement, a vertex normal stays perpendicular to the placed surface:
// seeded cases of a sloped quad whose vertex normals are its face normal.
TEST(Placement, NormalsStayPerpendicularUnderUnevenScales) {
    std::mt19937 generator(27);
    std::uniform_real_distribution<float> factor(0.1f, 10.0f);
    std::uniform_real_distribution<float> angle(-180.0f, 180.0f);
    for (int i = 0; i < 200; ++i) {
        Mesh quad = quadMesh({0, 0, 0}, {1, 0, 2}, {0, 1, -1}, {});
        const Direction before = unit(faceNormal(quad, quad.triangles[0]));
        quad.normals.assign(4, narrowed(before));
        const Vec3 scale{factor(generator) * (i % 2 == 0 ? 1.0f : -1.0f), factor(generator),
                         factor(generator)};
        placeMesh(quad, placementMatrix({1, 2, 3}, scale,
                                        {angle(generator), angle(generator), angle(generator)}));
        const Direction after = unit(faceNormal(quad, quad.triangles[0]));
        const Direction normal = directionOf(quad.normals[0]);
        EXPECT_NEAR(lengthOf(normal), 1.0, 1e-6) << "case " << i;
        // The same direction, not only the same line: a mirroring scale turns the winding.
        EXPECT_NEAR(dot(normal, after), 1.0, 1e-5) << "case " << i;
    }
}

struct Refused {
    Matrix4 matrix;
    std::string_view says;
};

class PlacementRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(PlacementRefused, Says) {
    EXPECT_NE(placementProblem(GetParam().matrix).find(GetParam().says), std::string::npos)
        << placementProblem(GetParam().matrix);
}

Matrix4 withEntry(Matrix4 matrix, int index, double value) {
    matrix.m[std::size_t(index)] = value;
    return matrix;
}

INSTANTIATE_TEST_SUITE_P(
    Matrices, PlacementRefused,
    ::testing::Values(Refused{scaling({1, 0, 1}), "not invertible"},
                      // Nearly flat: the third row all but in the plane of the other two.
                      Refused{withEntry(withEntry(scaling({1, 1, 1e-15f}), 8, 1.0), 9, 1.0),
                              "not invertible"},
                      // Two equal rows: rank 2 although no entry is 0.
                      Refused{withEntry(withEntry(withEntry(Matrix4{}, 4, 1.0), 5, 0.0), 6, 0.0),
                              "not invertible"},
                      Refused{withEntry(Matrix4{}, 14, 1.0), "last row"},
                      Refused{withEntry(Matrix4{}, 15, 2.0), "last row"},
                      Refused{withEntry(Matrix4{}, 2, std::nan("")), "not finite"}));

TEST(Placement, AcceptsWhatInverts) {
    EXPECT_EQ(placementProblem(placementMatrix({1, 2, 3}, {1e-3f, 1e3f, -1}, {10, 20, 30})), "");
}

// An invertible placement can still carry a vertex past the float range.
TEST(Placement, TellsAVertexMovedOutOfRange) {
    Mesh quad = quadMesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {});
    placeMesh(quad, placementMatrix({3e38f, 0, 0}, {1, 1, 1}, {}));
    EXPECT_EQ(placedProblem(quad), "");
    placeMesh(quad, placementMatrix({3e38f, 0, 0}, {1, 1, 1}, {}));
    EXPECT_NE(placedProblem(quad).find("beyond"), std::string::npos);
}

using Vec3Key = std::array<float, 3>;

Vec3Key keyOf(const Vec3& p) { return {p.x, p.y, p.z}; }

// Each edge of a closed surface is met once each way, and every face points away from the
// centre.
void expectClosedOutward(const Mesh& box, const Vec3& center) {
    std::map<std::pair<Vec3Key, Vec3Key>, int> edges;
    ASSERT_EQ(box.triangles.size(), 12u);
    for (const Triangle& t : box.triangles) {
        const Direction n = faceNormal(box, t);
        Direction centroid{};
        for (const std::uint32_t v : t.vertices) {
            centroid = plus(centroid, scaled(directionOf(box.positions[v]), 1.0 / 3.0));
        }
        EXPECT_GT(dot(n, minus(centroid, directionOf(center))), 0.0);
        for (std::size_t k = 0; k < 3; ++k) {
            ++edges[{keyOf(box.positions[t.vertices[k]]),
                     keyOf(box.positions[t.vertices[(k + 1) % 3]])}];
        }
    }
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 1);
        EXPECT_EQ(edges.count({edge.second, edge.first}), 1u);
    }
}

TEST(Box, IsClosedAndFacesOutward) {
    expectClosedOutward(boxMesh({-1, 2, -7}, {1, 3, -4}, {}, {}), {0, 2.5f, -5.5f});
    expectClosedOutward(boxMesh({-1, 2, -7}, {1, 3, -4}, {10, 35, -80}, {}), {0, 2.5f, -5.5f});
}

TEST(Box, TurnsAboutItsCentre) {
    // A quarter turn about y of a box 2 wide in x and 4 deep in z: 4 wide and 2 deep.
    const Mesh box = boxMesh({-1, 0, -10}, {1, 1, -6}, {0, 90, 0}, {});
    Vec3 low = box.positions[0];
    Vec3 high = box.positions[0];
    for (const Vec3& p : box.positions) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    EXPECT_EQ(low, (Vec3{-2, 0, -9}));
    EXPECT_EQ(high, (Vec3{2, 1, -7}));
}

}  // namespace
}  // namespace lucentor
