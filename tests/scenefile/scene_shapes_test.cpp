// [[mesh]], [[quad]] and [[box]] tables: what they add to a scene, and the one located line
// each bad one gets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "scenefile/scene_file.h"
#include "tests/support/scene_compare.h"
#include "tests/support/temp_folder.h"

namespace lucentor {
namespace {

struct BadShape {
    std::string text;
    std::string message;  // the whole line, the scene file named dir/bad.toml
};

void PrintTo(const BadShape& bad, std::ostream* out) { *out << bad.message; }

class BadShapes : public ::testing::TestWithParam<BadShape> {};

TEST_P(BadShapes, GetTheirWholeLocatedLine) {
    Scene scene;
    std::string problem;
    ASSERT_FALSE(parseSceneText(GetParam().text, "dir/bad.toml", scene, problem));
    EXPECT_EQ(problem, GetParam().message);
    EXPECT_TRUE(scene.meshes.empty());
}

const std::string kQuad = "[[quad]]\ncorner = [0, 0, 0]\n";
const std::string kBox = "[[box]]\nmin = [0, 0, 0]\n";
const std::string kMesh = "[[mesh]]\nfile = \"m.obj\"\n";

INSTANTIATE_TEST_SUITE_P(
    Table, BadShapes,
    ::testing::Values(
        BadShape{kMesh + "colour = [1, 1, 1]\n",
                 "dir/bad.toml:3:1: unknown key 'colour' in a mesh (file, position, scale, "
                 "rotate, matrix, color, material, mirror, glass, emission)"},
        BadShape{kMesh + "emission = 2\n",
                 "dir/bad.toml:3:12: 'emission' must be three numbers [x, y, z]"},
        BadShape{kQuad + "side_a = [1, 0, 0]\nside_b = [0, 1, 0]\nemission = [1, -1, 1]\n",
                 "dir/bad.toml:5:12: 'emission' must have no negative component"},
        BadShape{kBox + "max = [1, 1, 1]\nemission = [inf, 0, 0]\n",
                 "dir/bad.toml:4:13: 'emission' must be a finite number"},
        BadShape{kBox + "max = [1, 1, 1]\nemissive = [1, 1, 1]\n",
                 "dir/bad.toml:4:1: unknown key 'emissive' in a box (min, max, rotate, color, "
                 "material, mirror, glass, emission)"},
        BadShape{"[[mesh]]\nfile = \"m.stl\"\n",
                 "dir/bad.toml:2:8: 'file' must end in .obj, .ply, .gltf or .glb"},
        BadShape{kMesh, "dir/bad.toml:2:8: cannot read 'dir/m.obj': No such file or directory"},
        BadShape{kMesh + "scale = 0\n",
                 "dir/bad.toml:3:9: the matrix is not invertible: it flattens the mesh"},
        BadShape{kMesh + "rotate = [0, nan, 0]\n",
                 "dir/bad.toml:3:14: 'rotate' must be a finite number"},
        BadShape{kMesh + "matrix = [[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1]]\n"
                         "position = [1, 2, 3]\n",
                 "dir/bad.toml:4:12: 'position' and 'matrix' cannot both place a mesh"},
        BadShape{kMesh + "matrix = [[1, 0, 0, 0], [0, 1, 0, 0], [1, 1, 0, 0], [0, 0, 0, 1]]\n",
                 "dir/bad.toml:3:10: the matrix is not invertible: it flattens the mesh"},
        BadShape{kQuad + "side_a = [1, 0, 0]\n", "dir/bad.toml:1:1: a quad needs 'side_b'"},
        BadShape{kQuad + "side_a = [0, 0, 0]\nside_b = [0, 1, 0]\n",
                 "dir/bad.toml:3:10: a quad's 'side_a' must not be of length 0"},
        BadShape{kQuad + "side_a = [1, 2, 3]\nside_b = [-2, -4, -6]\n",
                 "dir/bad.toml:4:10: a quad's 'side_a' and 'side_b' are parallel: it has no area"},
        BadShape{"[[quad]]\ncorner = [3e38, 0, 0]\nside_a = [3e38, 0, 0]\nside_b = [0, 1, 0]\n",
                 "dir/bad.toml:1:1: the placement moves a vertex beyond single precision's "
                 "range (3.4e38)"},
        BadShape{kBox + "max = [1, 0, 1]\n",
                 "dir/bad.toml:3:7: a box's 'max' must be above its 'min' in every component"},
        BadShape{kBox + "max = [1, 1, 1]\nglass = 1\n",
                 "dir/bad.toml:4:9: 'glass' is a refractive index: above 1"}));

// A quad's corners and a box's extent are where the file puts them, with its material keys.
TEST(SceneShapes, QuadsAndBoxesStandWhereTheFileSays) {
    Scene scene;
    std::string problem;
    ASSERT_TRUE(
        parseSceneText("[[quad]]\ncorner = [1, 2, 3]\nside_a = [0, 0, -2]\n"
                       "side_b = [4, 0, 0]\nmirror = 0.75\nemission = [0, 0.5, 7]\n"
                       "[[box]]\nmin = [-1, -2, -3]\nmax = [1, 2, 3]\nglass = 1.5\n",
                       "s.toml", scene, problem))
        << problem;
    ASSERT_EQ(scene.meshes.size(), 2u);
    const std::vector<Vec3>& quad = scene.meshes[0].positions;
    ASSERT_EQ(quad.size(), 4u);
    EXPECT_EQ(quad[2].x, 5.0f);
    EXPECT_EQ(quad[2].z, 1.0f);
    EXPECT_EQ(scene.meshes[0].materials.at(0).material, 0.75f);
    EXPECT_EQ(scene.meshes[0].materials.at(0).emission, (Vec3{0, 0.5f, 7}));
    for (const Vec3& p : scene.meshes[1].positions) EXPECT_EQ(std::fabs(p.z), 3.0f);
    EXPECT_EQ(scene.meshes[1].materials.at(0).material, 1.5f);
    EXPECT_EQ(scene.meshes[1].materials.at(0).emission, (Vec3{})) << "none unless given";
    EXPECT_EQ(scene.triangleCount, 14u);
}

// Far out, a unit quad's corners round together in single precision: its triangles, without
// area, are dropped with one warning where the table stands.
TEST(SceneShapes, DropsTrianglesThePlacementLeavesWithoutArea) {
    Scene scene;
    std::string problem;
    std::vector<std::string> warnings;
    ASSERT_TRUE(
        parseSceneText("[[quad]]\ncorner = [1e8, 0, -5]\nside_a = [1, 0, 0]\n"
                       "side_b = [0, 1, 0]\n",
                       "s.toml", scene, problem, warnings))
        << problem;
    EXPECT_EQ(scene.triangleCount, 0u);
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "s.toml:1:1: warning: 2 triangles without area where the placement "
                            "puts it, dropped"});
}

class SceneMeshFiles : public testing::TempFolder {
protected:
    SceneMeshFiles() : TempFolder("scene_shapes_test") {}

    SceneFileStatus load(const std::string& sceneText, std::unique_ptr<Scene>& scene,
                         SceneReport& report) const {
        return loadSceneFile(write("s.toml", sceneText), scene, report);
    }
};

const std::string kTriangleObj = "mtllib t.mtl\nv 1 0 0\nv 0 1 0\nv 0 0 1\nusemtl red\nf 1 2 3\n";
const std::string kRedMtl = "newmtl red\nKd 1 0 0\nKe 4 4 4\nmap_Kd red.png\n";

// Scaled, then turned about z, then moved: (1, 0, 0) goes to (2, 0, 0), (0, 2, 0), (1, 2, 0).
TEST_F(SceneMeshFiles, PlacesTheMeshScaledTurnedAndMoved) {
    write("t.obj", kTriangleObj);
    write("t.mtl", kRedMtl);
    std::unique_ptr<Scene> scene;
    SceneReport report;
    ASSERT_EQ(load("[[mesh]]\nfile = \"t.obj\"\nposition = [1, 0, 0]\nscale = 2\n"
                   "rotate = [0, 0, 90]\n",
                   scene, report),
              SceneFileStatus::Read)
        << report.problem;
    ASSERT_EQ(scene->meshes.size(), 1u);
    const Vec3 moved = scene->meshes[0].positions[0];
    EXPECT_NEAR(moved.x, 1.0f, 1e-6f);
    EXPECT_NEAR(moved.y, 2.0f, 1e-6f);
    EXPECT_NEAR(moved.z, 0.0f, 1e-6f);
    EXPECT_EQ(scene->meshes[0].materials.at(0).color.x, 1.0f);
    EXPECT_EQ(scene->meshes[0].materials.at(0).emission, (Vec3{4, 4, 4})) << "the file's Ke";
    // The material library and the texture it names are watched as well as the mesh; the
    // missing texture is one warning.
    const std::string base = folder.string() + "/";
    for (const std::string name : {"t.obj", "t.mtl", "red.png"}) {
        EXPECT_NE(std::find(report.otherFiles.begin(), report.otherFiles.end(), base + name),
                  report.otherFiles.end())
            << name;
    }
    EXPECT_EQ(report.warnings.size(), 1u);
    // The table's keys override the file's material, its texture too.
    ASSERT_EQ(load("[[mesh]]\nfile = \"t.obj\"\ncolor = [0, 0, 1]\nglass = 1.5\n"
                   "emission = [0, 0, 0]\n",
                   scene, report),
              SceneFileStatus::Read);
    const MeshMaterial& material = scene->meshes[0].materials.at(0);
    EXPECT_EQ(material.color.x, 0.0f);
    EXPECT_EQ(material.material, 1.5f);
    EXPECT_EQ(material.texture, -1);
    EXPECT_EQ(material.emission, (Vec3{})) << "'emission' puts out the file's Ke";
}

// The mesh reader's own line passes through unchanged, located in the mesh file.
TEST_F(SceneMeshFiles, PassesTheMeshFilesFaultThrough) {
    const std::string obj = write("bad.obj", "v 0 0 0\nv 1 0 0\nf 1 2 9\n");
    std::unique_ptr<Scene> scene;
    SceneReport report;
    EXPECT_EQ(load("[[mesh]]\nfile = \"bad.obj\"\n", scene, report), SceneFileStatus::Invalid);
    EXPECT_EQ(report.problem, obj + ":3: a vertex index is out of range: the file has 2 vertices");
    EXPECT_EQ(report.faultFile, obj);
    EXPECT_EQ(report.faultLine, 3);
    EXPECT_EQ(scene, nullptr);
}

// Two meshes of half the scene's triangles and one more each: the second is refused where its
// table stands, before the scene holds more than its limit.
TEST_F(SceneMeshFiles, RefusesAMeshPastTheScenesTriangleLimit) {
    constexpr std::size_t kHalfAndOne = kMaxMeshTriangles / 2 + 1;
    std::string ply =
        "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
        "property float y\nproperty float z\nelement face " +
        std::to_string(kHalfAndOne) + "\nproperty list uchar int vertex_indices\nend_header\n";
    const std::array<float, 9> corners = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    ply.append(reinterpret_cast<const char*>(corners.data()), sizeof corners);
    const std::array<char, 13> face = {3, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0};
    ply.reserve(ply.size() + face.size() * kHalfAndOne);
    for (std::size_t i = 0; i < kHalfAndOne; ++i) ply.append(face.data(), face.size());
    write("half.ply", ply);
    std::unique_ptr<Scene> scene;
    SceneReport report;
    EXPECT_EQ(
        load("[[mesh]]\nfile = \"half.ply\"\n\n[[mesh]]\nfile = \"half.ply\"\n", scene, report),
        SceneFileStatus::Invalid);
    EXPECT_EQ(report.problem, folder.string() +
                                  "/s.toml:4:1: a mesh of 5000001 triangles takes the scene "
                                  "past 10000000 triangles, the most a scene holds");
}

// The writer gives the shape tables back as read, a mesh file by its absolute path: the text
// written into another folder reads back as the same meshes, bit for bit.
TEST_F(SceneMeshFiles, WrittenShapesReadBackFromAnotherFolder) {
    write("t.obj", "v 0.1 0 0\nv 0 1 0\nv 0 0 1\nvn 0 0 1\nf 1//1 2//1 3//1\n");
    std::unique_ptr<Scene> scene;
    SceneReport report;
    ASSERT_EQ(load("[[mesh]]\nfile = \"t.obj\"\nmatrix = [[0.3, 0, 0, 1e-7], [0, 2, 0, 0], "
                   "[0, 0, -1, 5], [0, 0, 0, 1]]\nmirror = 0.5\n"
                   "[[box]]\nmin = [-1, -2, -3.3]\nmax = [0.1, 2, 3]\nrotate = [10, 20, 33.3]\n"
                   "[[mesh]]\nfile = \"./t.obj\"\nscale = [1, -2, 3]\nrotate = [0, 45, 0]\n"
                   "[[quad]]\ncorner = [0.7, 0, 0]\nside_a = [1, 0, 0]\nside_b = [0, 0.3, 1]\n"
                   "color = [0.1, 0.2, 0.3]\nemission = [1e-40, 0.1, 3e38]\n"
                   "[[box]]\nmin = [0, 0, 0]\nmax = [1, 1, 1]\nemission = [0, 2.5, 0]\n",
                   scene, report),
              SceneFileStatus::Read)
        << report.problem;
    ASSERT_EQ(scene->meshes.size(), 5u);
    std::filesystem::create_directories(folder / "elsewhere");
    const std::string text = writeSceneText(*scene, "# again\n", report.shapeTables);
    const std::string written = write("elsewhere/again.toml", text);
    std::unique_ptr<Scene> again;
    SceneReport againReport;
    ASSERT_EQ(loadSceneFile(written, again, againReport), SceneFileStatus::Read)
        << againReport.problem << "\n"
        << text;
    EXPECT_EQ(testing::sceneDifference(*scene, *again), "") << text;
}

}  // namespace
}  // namespace lucentor
