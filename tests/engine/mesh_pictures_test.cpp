// Meshes against what they stand for: a finely tessellated sphere against the analytic one, a
// box made in code against the same cube read from OBJ text, and every kernel bit for bit
// against width 1 on a scene of meshes. (A glass sphere refracts only where rays enter it, so
// a closed glass mesh, which refracts on the way out too, is checked against Snell's law in
// tests/shading/mesh_shading_test.cpp instead.)
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/display.h"
#include "engine/rendering.h"
#include "meshfile/mesh_file.h"
#include "scene/scene.h"
#include "scene/shapes.h"
#include "tests/meshfile/mesh_support.h"
#include "tests/support/every_path.h"
#include "tests/support/icosphere.h"

namespace lucentor {
namespace {

constexpr ImageSize kSize{128, 96};
constexpr int kPasses = 6;

// The sums of `passes` passes on `simd` with `threads` workers; takes the scene.
std::vector<Vec3> sums(Scene* scene, SimdPath simd, int threads, int passes = kPasses) {
    Rendering rendering;
    prepareRendering(rendering, scene, kSize);
    startWorkers(rendering, threads, kRenderSeed, simd);
    for (int pass = 1; pass <= passes; ++pass) {
        startPass(rendering.job, pass);
        while (!waitForPassComplete(rendering.job, std::chrono::seconds(1))) {
        }
    }
    stopWorkers(rendering);
    return {rendering.accumulation, rendering.accumulation + kSize.pixelCount()};
}

std::vector<DisplayColor> levels(const std::vector<Vec3>& sums) {
    std::vector<DisplayColor> out;
    for (const Vec3& sum : sums) out.push_back(displayColor(sum, meanFactor(kPasses)));
    return out;
}

int largestDifference(const DisplayColor& a, const DisplayColor& b) {
    return std::max({std::abs(int(a.red) - int(b.red)), std::abs(int(a.green) - int(b.green)),
                     std::abs(int(a.blue) - int(b.blue))});
}

// How two pictures differ: the share of pixels more than `levelsApart` apart, and the mean
// difference of all pixels, in display levels.
struct Difference {
    double farShare = 0.0;
    double meanLevels = 0.0;
};

Difference differenceOf(const std::vector<DisplayColor>& a, const std::vector<DisplayColor>& b,
                        int levelsApart) {
    Difference d;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int apart = largestDifference(a[i], b[i]);
        d.farShare += apart > levelsApart ? 1.0 : 0.0;
        d.meanLevels += apart;
    }
    d.farShare /= double(a.size());
    d.meanLevels /= double(a.size());
    return d;
}

constexpr Vec3 kCenter{0.0f, 1.0f, 0.0f};

// A floor, a back wall and a soft light around whatever `addObject` adds.
template <class AddObject>
Scene* stage(const AddObject& addObject) {
    auto* scene = new Scene;
    scene->planeRule = PlaneRule::Geometric;
    scene->camera = CameraPose{{0.4f, 1.6f, 3.6f}, {0, 0.9f, 0}, {0, 1, 0}, 45.0f};
    scene->addPlane({0, 0, 0}, {0, 0, 0}, {0, 1, 0}, 0.0f);
    scene->addPlane({0, 0, -3}, {0.3f, 0.5f, 0.8f}, {0, 0, 1}, 0.0f);
    scene->addLight({-3, 6, 4}, 1.0f, {1, 1, 1}, 12.0f);
    addObject(*scene);
    scene->buildHierarchy();
    return scene;
}

Scene* sphereScene(float material) {
    return stage([material](Scene& scene) {
        scene.addSphere(kCenter, 1.0f, {0.9f, 0.6f, 0.3f}, material);
    });
}

Scene* icosphereScene(float material) {
    return stage([material](Scene& scene) {
        scene.addMesh(icosphere(kCenter, 1.0f, 5, {{0.9f, 0.6f, 0.3f}, material, {}, -1}));
    });
}

struct SphereCase {
    const char* name;
    float material;
    int levelsApart;  // what a pixel may differ by
    double farShare;  // the share of pixels that may differ by more: edges the tessellation
                      // moves
    double meanLevels;
};

class TessellatedSphere : public ::testing::TestWithParam<SphereCase> {};

// Both are rendered with the same samples, so what differs is the tessellation alone: the
// hit points lie within 2e-4 of the sphere and the interpolated normals within a fraction of
// a degree, which moves no pixel far. Faceted normals, a missed triangle or a ray that shadows
// its own surface move many.
TEST_P(TessellatedSphere, RendersWithinNoiseOfTheAnalyticSphere) {
    const SphereCase& c = GetParam();
    const std::vector<DisplayColor> analytic =
        levels(sums(sphereScene(c.material), SimdPath::Scalar, 2));
    const std::vector<DisplayColor> mesh =
        levels(sums(icosphereScene(c.material), SimdPath::Scalar, 2));
    const Difference d = differenceOf(analytic, mesh, c.levelsApart);
    EXPECT_LE(d.farShare, c.farShare) << c.name;
    EXPECT_LE(d.meanLevels, c.meanLevels) << c.name;
    // The measure tells a missing object: the picture without one differs far more.
    const std::vector<DisplayColor> empty = levels(sums(stage([](Scene&) {}), SimdPath::Scalar, 2));
    EXPECT_GT(differenceOf(analytic, empty, c.levelsApart).farShare, 10 * c.farShare) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Materials, TessellatedSphere,
                         ::testing::Values(SphereCase{"diffuse", 0.0f, 3, 0.01, 0.3},
                                           SphereCase{"mirror", 0.8f, 4, 0.02, 0.5}),
                         [](const ::testing::TestParamInfo<SphereCase>& sphereCase) {
                             return std::string(sphereCase.param.name);
                         });

// The unit cube of mesh_support.h as OBJ text, each face a quad.
std::string cubeObj() {
    std::ostringstream text;
    for (const auto& corner : kCubeCorners) {
        text << "v " << corner[0] << ' ' << corner[1] << ' ' << corner[2] << '\n';
    }
    for (const auto& face : kCubeFaces) {
        text << 'f';
        for (const int corner : face) text << ' ' << corner + 1;
        text << '\n';
    }
    return text.str();
}

Scene* cubeScene(Mesh cube) {
    return stage([&cube](Scene& scene) {
        scene.addMesh(std::move(cube));
        scene.addSphere({1.6f, 0.5f, 0.3f}, 0.5f, {1, 1, 1}, 1.5f);
    });
}

// A glass cube, so that the faces' sides count too: only pixels along a face's diagonal,
// where two ways of cutting a face round differently, may differ at all.
TEST(MeshPictures, BoxAndObjCubeGiveTheSamePicture) {
    Mesh read;
    MeshReport report;
    ASSERT_TRUE(readMeshBytes(cubeObj(), MeshFormat::Obj, "cube.obj", ".", read, report))
        << report.problem;
    ASSERT_EQ(read.triangles.size(), 12u);
    const MeshMaterial glass{{0.9f, 1, 0.8f}, 1.5f, {}, -1};
    read.materials.assign(read.materials.size(), glass);
    const Vec3 offset{-0.9f, 0.0f, -0.4f};
    for (Vec3& p : read.positions) p = p + offset;
    const std::vector<DisplayColor> fromObj = levels(sums(cubeScene(read), SimdPath::Scalar, 2));
    const std::vector<DisplayColor> fromBox = levels(
        sums(cubeScene(boxMesh(offset, offset + Vec3{1, 1, 1}, {}, glass)), SimdPath::Scalar, 2));
    const Difference d = differenceOf(fromObj, fromBox, 2);
    EXPECT_LE(d.farShare, 0.002);
    EXPECT_LE(d.meanLevels, 0.05);
}

// Everything a mesh can be at once: smooth and flat, textured, mirror, glass, emissive, among
// spheres, seen through glass and in mirrors.
Scene* meshScene() {
    return stage([](Scene& scene) {
        scene.addMesh(icosphere({-1.1f, 0.7f, 0.2f}, 0.7f, 3, {{0.8f, 0.3f, 0.2f}, 0.0f, {}, -1}));
        scene.addMesh(icosphere({0.4f, 0.6f, 0.9f}, 0.6f, 2, {{1, 1, 1}, 1.5f, {}, -1}));
        scene.addMesh(boxMesh({0.8f, 0, -1.2f}, {1.8f, 1.4f, -0.4f}, {0, 30, 0},
                              {{0.9f, 0.9f, 0.9f}, 0.7f, {}, -1}));
        Mesh floorTile = quadMesh({-2, 0.001f, -2}, {0, 0, 1.5f}, {1.5f, 0, 0}, {});
        floorTile.uvs = {{0, 0}, {2, 0}, {0, 2}, {2, 2}};
        floorTile.uvs.resize(floorTile.positions.size());
        floorTile.textures.push_back({2, 2, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}}});
        floorTile.materials[0].texture = 0;
        scene.addMesh(std::move(floorTile));
        scene.addMesh(
            quadMesh({-0.5f, 2.2f, -1}, {1, 0, 0}, {0, 0.4f, 0}, {{1, 1, 1}, 0.0f, {4, 3, 2}, -1}));
        scene.addSphere({-0.2f, 0.3f, -0.6f}, 0.3f, {0.2f, 0.8f, 0.3f}, 0.0f);
    });
}

class MeshPaths : public testing::EveryPath {};

// Each path's packets walk the same tree and shade the same triangles as the one-ray walk:
// one thread against two, so tiles land on different workers too.
TEST_P(MeshPaths, RenderBitForBitAsWidthOne) {
    const std::vector<Vec3> reference = sums(meshScene(), SimdPath::Scalar, 1, 2);
    const std::vector<Vec3> path = sums(meshScene(), GetParam(), 2, 2);
    int differing = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        differing += reference[i].x == path[i].x && reference[i].y == path[i].y &&
                             reference[i].z == path[i].z
                         ? 0
                         : 1;
    }
    EXPECT_EQ(differing, 0);
    // The scene shows its meshes: a picture without them differs nearly everywhere.
    const std::vector<Vec3> bare = sums(stage([](Scene&) {}), SimdPath::Scalar, 1, 2);
    int bareDiffering = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        bareDiffering += reference[i].x == bare[i].x ? 0 : 1;
    }
    EXPECT_GT(bareDiffering, int(reference.size() / 4));
}

INSTANTIATE_TEST_SUITE_P(Kernels, MeshPaths, testing::everyPath(), testing::pathCaseName);

}  // namespace
}  // namespace lucentor
