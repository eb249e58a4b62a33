#include "scenefile/scene_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/startup.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "tests/support/located_fault.h"
#include "tests/support/scene_compare.h"
#include "tests/support/temp_folder.h"

namespace lucentor {
namespace {

std::array<std::uint32_t, 3> bitsOf(Vec3 value) {
    return {std::bit_cast<std::uint32_t>(value.x), std::bit_cast<std::uint32_t>(value.y),
            std::bit_cast<std::uint32_t>(value.z)};
}

// Writes the scene and reads it back into `read`, failing on any problem.
void roundTrip(const Scene& scene, Scene& read) {
    const std::string text = writeSceneText(scene, "# test\n");
    std::string problem;
    ASSERT_TRUE(parseSceneText(text, "written.toml", read, problem)) << problem << "\n" << text;
}

TEST(SceneFile, EveryPresetReadsBackBitForBit) {
    for (const Preset preset : {buildBoxScene, buildTrioScene, buildFieldScene}) {
        const std::unique_ptr<Scene> scene(createPresetScene(preset));
        Scene read;
        roundTrip(*scene, read);
        EXPECT_EQ(testing::sceneDifference(*scene, read), "");
    }
}

// A checkerboard's own colours and size, also on a colour of [-0, 0, 0], and the plane rule
// survive the text; the presets' board and rule are written as before.
TEST(SceneFile, CheckerboardsAndThePlaneRuleReadBackBitForBit) {
    Scene scene;
    scene.limits = kSceneFileLimits;
    scene.planeRule = PlaneRule::Geometric;
    scene.addPlane({0, -1, 0}, {0, 0, 0}, {0, 1, 0}, 0.0f);
    scene.addPlane({0, -2, 0}, {-0.0f, 0, 0}, {0, 1, 0}, 0.5f);
    scene.planes[1]->checker = {{0.25f, 0.5f, 1e-40f}, {3, 0, 0}, 0.1f};
    scene.addPlane({0, -3, 0}, {0, 0, 0}, {0, 1, 0}, 0.0f);
    scene.planes[2]->checker.size = 2.5f;
    scene.buildHierarchy();
    Scene read;
    roundTrip(scene, read);
    EXPECT_EQ(testing::sceneDifference(scene, read), "");
    EXPECT_EQ(read.planeRule, PlaneRule::Geometric);
}

// Any finite float, -0 and subnormals included, must survive the text: the writer's
// shortest form is checked against the reader's double-then-float parse.
TEST(SceneFile, AnyFiniteNumberReadsBackBitForBit) {
    std::mt19937 generator(7);
    for (int i = 0; i < 2000; ++i) {
        const auto randomFloat = [&] {
            float value = 0.0f;
            do value = std::bit_cast<float>(std::uint32_t(generator()));
            while (!std::isfinite(value));
            return value;
        };
        Scene scene;
        const float radius = std::fabs(randomFloat()) + 1.0e-30f;
        scene.addSphere({randomFloat(), randomFloat(), -0.0f}, radius, {0.5f, 0.1f, 1e-40f},
                        float(i % 3) * 0.5f + 0.25f);
        scene.addLight({randomFloat(), 0.1f, 3e38f}, 0.0f, {1.0f / 3.0f, 7.0f, 0.0f}, 1.0f);
        scene.buildHierarchy();  // which owns the sphere
        Scene read;
        roundTrip(scene, read);
        ASSERT_EQ(testing::sceneDifference(scene, read), "") << "case " << i;
    }
}

TEST(SceneFile, ReadsMaterialsByNameAndByNumber) {
    const std::string_view text = R"(
[[sphere]]
center = [0, 0, -3]
radius = 1
color = [1, 0.5, 0]
[[sphere]]
center = [0, 0, -3]
radius = 1
color = [1, 1, 1]
material = "diffuse"
[[sphere]]
center = [0, 0, -3]
radius = 1
color = [1, 1, 1]
mirror = 0.95
[[sphere]]
center = [0, 0, -3]
radius = 1
color = [1, 1, 1]
glass = 1.5
[[sphere]]
center = [0, 0, -3]
radius = 1
color = [1, 1, 1]
material = 1.2
[[plane]]
point = [0, -1, 0]
normal = [0.6, 0.8, 0]
color = "checkerboard"
mirror = 1
[[light]]
position = [1, 2, 3]
radius = 0
emission = [7, 7, 7]
)";
    Scene scene;
    std::string problem;
    ASSERT_TRUE(parseSceneText(text, "f.toml", scene, problem)) << problem;
    ASSERT_EQ(scene.sphereCount, 5);
    const float materials[] = {0.0f, 0.0f, 0.95f, 1.5f, 1.2f};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(scene.leaves[i]->sphere->material, materials[i]) << i;
    EXPECT_EQ(bitsOf(scene.leaves[0]->sphere->color), bitsOf(Vec3{1.0f, 0.5f, 0.0f}));
    ASSERT_EQ(scene.planeCount, 1);
    EXPECT_EQ(bitsOf(scene.planes[0]->color), bitsOf(Vec3{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(scene.planes[0]->material, 1.0f);
    ASSERT_EQ(scene.lightCount, 1);
    EXPECT_EQ(scene.lights[0]->radius, 0.0f);
    EXPECT_EQ(bitsOf(scene.lights[0]->emission), bitsOf(Vec3{7.0f, 7.0f, 7.0f}));
}

// Objects of one kind keep the order of the file, whichever kinds stand between them.
TEST(SceneFile, KeepsTheOrderOfTheFile) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text += "[[sphere]]\ncenter = [" + std::to_string(i) +
                ", 0, -5]\nradius = 1\n"
                "color = [1, 1, 1]\n[[light]]\nposition = [" +
                std::to_string(i) + ", 0, 0]\nradius = 0\nemission = [1, 1, 1]\n";
    }
    Scene scene;
    std::string problem;
    ASSERT_TRUE(parseSceneText(text, "f.toml", scene, problem)) << problem;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(scene.leaves[i]->sphere->center.x, float(i));
        EXPECT_EQ(scene.lights[i]->position.x, float(i));
    }
}

std::string spheres(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "[[sphere]]\ncenter = [0, 0, -5]\nradius = 1\ncolor = [1, 1, 1]\n";
    return text;
}

std::string planes(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "[[plane]]\npoint = [0, 1, 0]\nnormal = [0, 1, 0]\ncolor = [1, 1, 1]\n";
    return text;
}

std::string lights(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "[[light]]\nposition = [0, 0, 0]\nradius = 0\nemission = [1, 1, 1]\n";
    return text;
}

// More than a preset's container: a scene file holds 64 planes and 64 lights, and spheres
// past 110 as tables too.
TEST(SceneFile, HoldsAsManyObjectsAsTheScene) {
    Scene scene;
    std::string problem;
    ASSERT_TRUE(parseSceneText(spheres(kMaxSpheres + 1) + planes(64) + lights(64), "f.toml", scene,
                               problem))
        << problem;
    EXPECT_EQ(scene.sphereCount, kMaxSpheres + 1);
    EXPECT_EQ(scene.planeCount, 64);
    EXPECT_EQ(scene.lightCount, 64);
}

using BadFile = LocatedFault;

class BadFiles : public ::testing::TestWithParam<BadFile> {};

// The file is refused with one line that locates its fault.
void expectOneLocatedLine(const BadFile& bad) {
    Scene scene;
    std::string problem;
    ASSERT_FALSE(parseSceneText(bad.text, "dir/bad.toml", scene, problem));
    const std::string where =
        "dir/bad.toml:" + std::to_string(bad.line) + ":" + std::to_string(bad.column) + ": ";
    EXPECT_TRUE(problem.starts_with(where)) << problem;
    EXPECT_NE(problem.find(bad.says), std::string::npos) << problem;
    EXPECT_EQ(problem.find_first_of("\n\r"), std::string::npos) << problem;
}

TEST_P(BadFiles, AreOneLineWithTheLineAndColumnOfTheFault) { expectOneLocatedLine(GetParam()); }

const std::string kSphere = "[[sphere]]\ncenter = [0, 0, -3]\nradius = 1\ncolor = [1, 1, 1]\n";
const std::string kChecker =
    "[[plane]]\npoint = [0, 1, 0]\nnormal = [0, 1, 0]\ncolor = \"checkerboard\"\n";
const std::string kLight = "[[light]]\nposition = [0, 0, 0]\nradius = 1\nemission = [1, 1, 1]\n";

INSTANTIATE_TEST_SUITE_P(
    Table, BadFiles,
    ::testing::Values(
        BadFile{"", 1, 1, "nothing to render"},
        BadFile{"# a comment alone\n\n", 1, 1, "nothing to render"},
        BadFile{"[[sphere]\n", 1, 10, "parsing"},
        BadFile{kSphere + "radius = 2\n", 5, 10, "redefine"},
        BadFile{"a = \"\x01\"\n", 1, 6, "control"}, BadFile{"\xff\xfe = 1\n", 1, 1, ""},
        BadFile{"spheres = 1\n", 1, 11, "must be a table"},
        BadFile{"[spheres]\n", 1, 1, "needs 'file'"},
        BadFile{"[spheres]\nfile = 3\n", 2, 8, "'file' must name"},
        BadFile{"[spheres]\nfile = \"\"\n", 2, 8, "'file' must name"},
        BadFile{"[spheres]\nfile = \"a.csv\"\nrows = 1\n", 3, 1, "unknown key 'rows'"},
        BadFile{"[spheres]\nfile = \"a.csv\"\nscale = 1\n", 3, 1,
                "unknown key 'scale' in [spheres] (file)"},
        BadFile{"[spheres]\nfile = \"missing.csv\"\n", 2, 8, "cannot read 'dir/missing.csv'"},
        BadFile{"[sphere]\ncenter = [0, 0, 0]\n", 1, 1, "[[sphere]]"},
        BadFile{kSphere + "colour = [1, 1, 1]\n", 5, 1, "unknown key 'colour'"},
        BadFile{"[[sphere]]\ncenter = [0, 0, -3]\ncolor = [1, 1, 1]\n", 1, 1, "needs 'radius'"},
        BadFile{"\n  [[light]]\nposition = [0, 0, 0]\nradius = 0\n", 2, 3, "needs 'emission'"},
        BadFile{"[[sphere]]\ncenter = [0, 0]\nradius = 1\ncolor = [1, 1, 1]\n", 2, 10,
                "three numbers"},
        BadFile{"[[sphere]]\ncenter = [0, \"0\", 1]\nradius = 1\ncolor = [1, 1, 1]\n", 2, 14,
                "a number"},
        BadFile{"[[sphere]]\ncenter = [0, 0, -3]\nradius = \"1\"\ncolor = [1, 1, 1]\n", 3, 10,
                "a number"},
        BadFile{"[[sphere]]\ncenter = [0, 0, -3]\nradius = 0\ncolor = [1, 1, 1]\n", 3, 10,
                "above 0"},
        BadFile{"[[sphere]]\ncenter = [0, 0, -3]\nradius = -0.5\ncolor = [1, 1, 1]\n", 3, 10,
                "above 0"},
        BadFile{"[[sphere]]\ncenter = [0, nan, -3]\nradius = 1\ncolor = [1, 1, 1]\n", 2, 14,
                "finite"},
        BadFile{"[[sphere]]\ncenter = [0, 0, -inf]\nradius = 1\ncolor = [1, 1, 1]\n", 2, 17,
                "finite"},
        BadFile{"[[sphere]]\ncenter = [0, 0, -3]\nradius = 1e39\ncolor = [1, 1, 1]\n", 3, 10,
                "single precision"},
        BadFile{"[[sphere]]\ncenter = [0, 0, -3]\nradius = 1\ncolor = [1, -1, 1]\n", 4, 9,
                "negative"},
        BadFile{kSphere + "mirror = 0\n", 5, 10, "'mirror'"},
        BadFile{kSphere + "mirror = 1.01\n", 5, 10, "'mirror'"},
        BadFile{kSphere + "glass = 1\n", 5, 9, "'glass'"},
        BadFile{kSphere + "material = -0.5\n", 5, 12, "'material'"},
        BadFile{kSphere + "material = \"metal\"\n", 5, 12, "'material'"},
        BadFile{kSphere + "mirror = 0.5\nglass = 1.5\n", 6, 1, "one of"},
        BadFile{"[[light]]\nposition = [0, 0, 0]\nradius = -0.1\nemission = [1, 1, 1]\n", 3, 10,
                "below 0"},
        BadFile{"[[light]]\nposition = [0, 0, 0]\nradius = 0\nemission = [1, 1, -1]\n", 4, 12,
                "negative"},
        BadFile{"[[plane]]\npoint = [0, 1, 0]\nnormal = [0, 2, 0]\ncolor = [1, 1, 1]\n", 3, 10,
                "length 1"},
        BadFile{"[[plane]]\npoint = [0, 1, 0]\nnormal = [0, 0, 0]\ncolor = [1, 1, 1]\n", 3, 10,
                "length 1"},
        BadFile{"[[plane]]\npoint = [0, 1, 0]\nnormal = [0, 1, 0]\ncolor = \"checker\"\n", 4, 9,
                "checkerboard"},
        // The checkerboard's keys: only on a checkerboard, two colours, a size above 0.
        BadFile{kChecker + "checker_colors = [[1, 1, 1]]\n", 5, 18, "two colours"},
        BadFile{kChecker + "checker_colors = [1, 1, 1]\n", 5, 18, "two colours"},
        BadFile{kChecker + "checker_colors = \"red\"\n", 5, 18, "two colours"},
        BadFile{kChecker + "checker_colors = [[1, 1, 1], [0, 0]]\n", 5, 30, "three numbers"},
        BadFile{kChecker + "checker_colors = [[1, 1, 1], [0, -1, 0]]\n", 5, 30, "negative"},
        BadFile{kChecker + "checker_colors = [[1, nan, 1], [0, 0, 0]]\n", 5, 23, "finite"},
        BadFile{kChecker + "checker_size = 0\n", 5, 16, "'checker_size' must be above 0"},
        BadFile{kChecker + "checker_size = -2\n", 5, 16, "'checker_size' must be above 0"},
        BadFile{kChecker + "checker_size = 1e-50\n", 5, 16, "'checker_size' must be above 0"},
        BadFile{kChecker + "checker_size = inf\n", 5, 16, "finite"},
        BadFile{kChecker + "checker_size = \"1\"\n", 5, 16, "a number"},
        BadFile{"[[plane]]\npoint = [0, 1, 0]\nnormal = [0, 1, 0]\ncolor = [1, 1, 1]\n"
                "checker_size = 2\n",
                5, 16, "'checker_size' is for a plane whose color is \"checkerboard\""},
        BadFile{kChecker + "checker = 2\n", 5, 1, "unknown key 'checker' in a plane"},
        BadFile{
            kLight +
                "[[plane]]\npoint = [0, 1, 0]\nnormal = [0, 1, 0]\ncolor = [1, 1, 1]\nlight = 1\n",
            9, 1, "unknown key 'light'"},
        BadFile{planes(65), 4 * 64 + 1, 1, "more than 64 planes"},
        BadFile{kSphere + lights(66), 4 * 65 + 1, 1, "more than 64 lights"},
        BadFile{"a = " + std::string(300, '[') + "\n", 1, 261, "depth"},
        BadFile{kSphere + "\"\\u001b[31m\" = 1\n", 5, 1, "'\\x1b[31m'"},
        // The camera and the plane rule.
        BadFile{"camera = 1\n" + kSphere, 1, 10, "[camera]"},
        BadFile{kSphere + "[camera]\nposition = [0, 0, 0]\n", 5, 1, "needs 'look_at'"},
        BadFile{kSphere + "[camera]\nlook_at = [0, 0, -1]\n", 5, 1, "needs 'position'"},
        BadFile{kSphere + "[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\nzoom = 2\n", 8, 1,
                "unknown key 'zoom' in the camera"},
        BadFile{kSphere + "[camera]\nposition = [1, 2, 3]\nlook_at = [1, 2, 3]\n", 7, 11,
                "must differ"},
        BadFile{kSphere + "[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\nup = [0, 0, 0]\n",
                8, 6, "'up' must not be [0, 0, 0]"},
        BadFile{kSphere + "[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\nup = [0, 0, 2]\n",
                8, 6, "along the view"},
        BadFile{kSphere + "[camera]\nposition = [0, 5, 0]\nlook_at = [0, 0, 0]\n", 7, 11,
                "give it an 'up'"},
        BadFile{kSphere + "[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\nfov = 180\n", 8, 7,
                "'fov'"},
        BadFile{kSphere + "[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\nfov = 0\n", 8, 7,
                "'fov'"},
        BadFile{kSphere + "[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\nfov = \"wide\"\n",
                8, 7, "a number"},
        BadFile{kSphere + "[camera]\nposition = [0, 0]\nlook_at = [0, 0, -1]\n", 6, 12,
                "three numbers"},
        BadFile{kSphere + "[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\nmirrored = 1\n", 8,
                12, "'mirrored' must be true or false"},
        BadFile{"planes = \"flat\"\n" + kSphere, 1, 10, "'planes'"},
        BadFile{"planes = 1\n" + kSphere, 1, 10, "'planes'"},
        // How light is carried: the integrator, its depth and the sky.
        BadFile{"integrator = \"paths\"\n" + kSphere, 1, 14, "'integrator' must be"},
        BadFile{"integrator = 1\n" + kSphere, 1, 14, "'integrator' must be"},
        BadFile{"integrater = \"path\"\n" + kSphere, 1, 1, "unknown key 'integrater'"},
        BadFile{kSphere + "[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\n"
                          "integrator = \"path\"\n",
                8, 1, "unknown key 'integrator' in the camera"},
        BadFile{"max_depth = 0\n" + kSphere, 1, 13, "a whole number from 1 to 64"},
        BadFile{"max_depth = 65\n" + kSphere, 1, 13, "a whole number from 1 to 64"},
        BadFile{"max_depth = 8.0\n" + kSphere, 1, 13, "a whole number from 1 to 64"},
        BadFile{"max_depth = \"8\"\n" + kSphere, 1, 13, "a whole number from 1 to 64"},
        BadFile{"max_depth = 9223372036854775807\n" + kSphere, 1, 13, "from 1 to 64"},
        BadFile{"background = [1, 1]\n" + kSphere, 1, 14, "three numbers"},
        BadFile{"background = [0.5, -0.1, 1]\n" + kSphere, 1, 14,
                "'background' must have no negative component"},
        BadFile{"background = [0.5, nan, 1]\n" + kSphere, 1, 20, "finite"}));

// Without the keys a file renders as before; with them each is read as written.
TEST(SceneFile, ReadsTheIntegratorItsDepthAndTheSky) {
    Scene plain;
    std::string problem;
    ASSERT_TRUE(parseSceneText(kSphere, "plain.toml", plain, problem)) << problem;
    EXPECT_EQ(plain.integrator, Integrator::Direct);
    EXPECT_EQ(plain.maxDepth, kDefaultMaxDepth);
    EXPECT_EQ(bitsOf(plain.background), bitsOf({}));

    Scene scene;
    ASSERT_TRUE(
        parseSceneText("integrator = \"path\"\nmax_depth = 64\n"
                       "background = [0.5, 0.75, 2]\n" +
                           kSphere,
                       "sky.toml", scene, problem))
        << problem;
    EXPECT_EQ(scene.integrator, Integrator::Path);
    EXPECT_EQ(scene.maxDepth, 64);
    EXPECT_EQ(scene.background, (Vec3{0.5f, 0.75f, 2.0f}));
}

struct LightTransport {
    Integrator integrator;
    int maxDepth;
    Vec3 background;
    std::string_view written;  // the keys the writer gives, in order; empty for the defaults
};

void PrintTo(const LightTransport& settings, std::ostream* out) {
    *out << (settings.written.empty() ? "defaults" : settings.written);
}

class LightTransportKeys : public ::testing::TestWithParam<LightTransport> {};

// The writer gives the keys back only where they differ from the defaults, so that every
// scene without them is written as before; each reads back bit for bit.
TEST_P(LightTransportKeys, ReadBackBitForBitAndOnlyWhereNotTheDefaults) {
    Scene scene;
    scene.integrator = GetParam().integrator;
    scene.maxDepth = GetParam().maxDepth;
    scene.background = GetParam().background;
    scene.addSphere({0, 0, -3}, 1.0f, {1, 1, 1}, 0.0f);
    scene.buildHierarchy();
    const std::string text = writeSceneText(scene, "# test\n");
    std::string keys;
    for (const std::string_view key : {"integrator = ", "max_depth = ", "background = "}) {
        const std::size_t at = text.find(key);
        if (at != std::string::npos) keys += text.substr(at, text.find('\n', at) - at) + "; ";
    }
    EXPECT_EQ(keys, GetParam().written) << text;
    Scene read;
    roundTrip(scene, read);
    EXPECT_EQ(testing::sceneDifference(scene, read), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, LightTransportKeys,
    ::testing::Values(
        LightTransport{Integrator::Direct, kDefaultMaxDepth, {}, ""},
        LightTransport{Integrator::Path, kDefaultMaxDepth, {}, "integrator = \"path\"; "},
        LightTransport{Integrator::Direct, 1, {}, "max_depth = 1; "},
        LightTransport{Integrator::Path,
                       kMaxPathDepth,
                       {0.5f, 0.75f, 1.0f},
                       "integrator = \"path\"; max_depth = 64; background = [0.5, 0.75, 1.0]; "},
        // -0 and a subnormal are not the default's bits, and must survive the text.
        LightTransport{Integrator::Direct,
                       kDefaultMaxDepth,
                       {-0.0f, 1e-40f, 3e38f},
                       "background = [-0.0, 1e-40, 3e+38]; "}));

// Apart from the table, whose values every test program makes and copies as it starts, once
// for each test CTest runs: 32 MiB take about a second each time under AddressSanitizer.
TEST(SceneFile, PastTheSizeLimitIsOneLineAtItsStart) {
    expectOneLocatedLine(
        {kLight + "[[light]]\n" + std::string(kMaxSceneFileBytes, '#'), 1, 1, "MiB"});
}

// A camera and the plane rule read into the scene; without them the scene keeps the fixed
// camera and the presets' rule.
TEST(SceneFile, ReadsTheCameraAndThePlaneRule) {
    Scene plain;
    std::string problem;
    ASSERT_TRUE(parseSceneText(kSphere, "plain.toml", plain, problem)) << problem;
    EXPECT_FALSE(plain.camera.has_value());
    EXPECT_EQ(plain.planeRule, PlaneRule::Mirrored);

    const std::string text = "planes = \"geometric\"\n" + kSphere +
                             "[camera]\nposition = [1, 2, 3]\nlook_at = [0, 0, -3]\n"
                             "up = [0, -1, 0]\nfov = 30\nmirrored = true\n";
    Scene scene;
    ASSERT_TRUE(parseSceneText(text, "camera.toml", scene, problem)) << problem;
    ASSERT_TRUE(scene.camera.has_value());
    EXPECT_EQ(scene.camera->position, (Vec3{1, 2, 3}));
    EXPECT_EQ(scene.camera->lookAt, (Vec3{0, 0, -3}));
    EXPECT_EQ(scene.camera->up, (Vec3{0, -1, 0}));
    EXPECT_EQ(scene.camera->fovDegrees, 30.0f);
    EXPECT_TRUE(scene.camera->mirrored);
    EXPECT_EQ(scene.planeRule, PlaneRule::Geometric);

    Scene defaults;
    ASSERT_TRUE(
        parseSceneText("planes = \"mirrored\"\n[camera]\nposition = [0, 0, 0]\n"
                       "look_at = [0, 0, -1]\n" +
                           kSphere,
                       "defaults.toml", defaults, problem))
        << problem;
    EXPECT_EQ(defaults.camera->up, (Vec3{0, 1, 0}));
    EXPECT_NEAR(defaults.camera->fovDegrees, 53.1301f, 1e-4f) << "the fixed camera's";
    EXPECT_FALSE(defaults.camera->mirrored);
    EXPECT_EQ(defaults.planeRule, PlaneRule::Mirrored);

    // A camera alone puts planes where they are written: the mirrored rule fits only the
    // fixed camera's eye.
    Scene unsaid;
    ASSERT_TRUE(parseSceneText("[camera]\nposition = [0, 1, 0]\nlook_at = [0, 0, -1]\n" + kChecker,
                               "unsaid.toml", unsaid, problem))
        << problem;
    EXPECT_EQ(unsaid.planeRule, PlaneRule::Geometric);
}

// The checkerboard's keys are stored as given; without them a plane has the presets' board.
TEST(SceneFile, ReadsTheCheckerboardsKeys) {
    Scene scene;
    std::string problem;
    ASSERT_TRUE(parseSceneText(kChecker + kChecker +
                                   "checker_colors = [[0.5, 0, 0.25], [0, 0, 2]]\n"
                                   "checker_size = 0.125\n",
                               "c.toml", scene, problem))
        << problem;
    ASSERT_EQ(scene.planeCount, 2);
    const Checker& presets = scene.planes[0]->checker;
    EXPECT_EQ(presets.first, (Vec3{1.0f, 0.0f, 0.86f}));
    EXPECT_EQ(presets.second, (Vec3{1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(presets.size, 1.0f);
    const Checker& own = scene.planes[1]->checker;
    EXPECT_EQ(own.first, (Vec3{0.5f, 0.0f, 0.25f}));
    EXPECT_EQ(own.second, (Vec3{0.0f, 0.0f, 2.0f}));
    EXPECT_EQ(own.size, 0.125f);
}

// At the limit a file is still read; one byte more is refused before it is parsed.
TEST(SceneFile, ReadsAFileOfExactlyTheLargestSize) {
    std::string text = kLight + "#";
    text += std::string(kMaxSceneFileBytes - text.size() - 1, '.') + "\n";
    ASSERT_EQ(text.size(), kMaxSceneFileBytes);
    Scene scene;
    std::string problem;
    EXPECT_TRUE(parseSceneText(text, "f.toml", scene, problem)) << problem;
}

class SceneFileOnDisk : public testing::TempFolder {
protected:
    SceneFileOnDisk() : TempFolder("scene_file_test") {}
};

TEST_F(SceneFileOnDisk, LoadsTheSceneWithItsHierarchy) {
    std::unique_ptr<Scene> scene;
    std::string problem;
    const std::string path = write("two.toml", kSphere + kSphere + kLight);
    std::vector<std::string> warnings;
    ASSERT_EQ(loadSceneFile(path, scene, problem, warnings), SceneFileStatus::Read) << problem;
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->sphereCount, 2);
    ASSERT_NE(scene->root, nullptr);
    EXPECT_NE(scene->root->left, nullptr);
}

TEST_F(SceneFileOnDisk, TellsAnUnreadableFileFromABadOne) {
    std::unique_ptr<Scene> scene;
    std::string problem;
    std::vector<std::string> warnings;
    EXPECT_EQ(loadSceneFile((folder / "missing.toml").string(), scene, problem, warnings),
              SceneFileStatus::Unreadable);
    EXPECT_NE(problem.find("No such file"), std::string::npos) << problem;
    EXPECT_EQ(loadSceneFile(folder.string(), scene, problem, warnings),
              SceneFileStatus::Unreadable);
    EXPECT_NE(problem.find("directory"), std::string::npos) << problem;
    const std::string bad = write("bad\n.toml", "[[sphere]]\n");
    EXPECT_EQ(loadSceneFile(bad, scene, problem, warnings), SceneFileStatus::Invalid);
    EXPECT_TRUE(problem.starts_with(folder.string() + "/bad\\x0a.toml:1:1: ")) << problem;
    EXPECT_EQ(scene, nullptr);
    // Megabytes of junk are refused after reading just past the limit.
    const std::string junk =
        write("junk.toml", std::string(kMaxSceneFileBytes + (std::size_t(1) << 20u), '\x01'));
    EXPECT_EQ(loadSceneFile(junk, scene, problem, warnings), SceneFileStatus::Invalid);
    EXPECT_NE(problem.find(":1:1: larger than"), std::string::npos) << problem;
}

// Ends the wait for a FIFO without a writer on its third question.
std::atomic<int> stopQuestions = 0;
bool stopOnThirdQuestion() { return ++stopQuestions >= 3; }

TEST_F(SceneFileOnDisk, WaitsForAFifoUntilItsWriterOrAStop) {
    const std::string path = (folder / "pipe").string();
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::unique_ptr<Scene> scene;
    std::string problem;
    std::vector<std::string> warnings;
    EXPECT_EQ(loadSceneFile(path, scene, problem, warnings, stopOnThirdQuestion),
              SceneFileStatus::Interrupted);
    EXPECT_EQ(stopQuestions, 3);
    EXPECT_EQ(scene, nullptr);
    // The scene arrives in two writes with a pause between them, then the writer closes.
    std::thread writer([&path] {
        std::ofstream out(path, std::ios::binary);
        out << kSphere << std::flush;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        out << kLight;
    });
    EXPECT_EQ(loadSceneFile(path, scene, problem, warnings), SceneFileStatus::Read) << problem;
    writer.join();
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->sphereCount, 1);
    EXPECT_EQ(scene->lightCount, 1);
}

TEST(SceneFile, NamesStandardInputAsCompilersDo) {
    EXPECT_EQ(sceneFileName(kStandardInputPath), "<stdin>");
    EXPECT_EQ(sceneFileName("./-"), "./-");
}

struct WarnedScene {
    std::string text;
    std::vector<std::string> warnings;  // each line's start after the file name
};

void PrintTo(const WarnedScene& scene, std::ostream* out) { *out << scene.text; }

class SceneWarnings : public ::testing::TestWithParam<WarnedScene> {};

TEST_P(SceneWarnings, NameEachLikelyMistakeWhereItStands) {
    Scene scene;
    std::string problem;
    std::vector<std::string> warnings;
    ASSERT_TRUE(parseSceneText(GetParam().text, "w.toml", scene, problem, warnings)) << problem;
    ASSERT_EQ(warnings.size(), GetParam().warnings.size());
    for (std::size_t i = 0; i < warnings.size(); ++i) {
        EXPECT_TRUE(warnings[i].starts_with("w.toml:" + GetParam().warnings[i])) << warnings[i];
        EXPECT_EQ(warnings[i].find('\n'), std::string::npos);
    }
}

std::string sphereAt(std::string_view center, std::string_view radius,
                     std::string_view material = "") {
    return "[[sphere]]\ncenter = " + std::string(center) + "\nradius = " + std::string(radius) +
           "\ncolor = [1, 1, 1]\n" + std::string(material);
}

std::string planeAt(std::string_view point, std::string_view normal) {
    return "[[plane]]\npoint = " + std::string(point) + "\nnormal = " + std::string(normal) +
           "\ncolor = \"checkerboard\"\n";
}

// The camera sits at the origin; each line of a table above counts.
std::string mirroredPlanesAt(std::string_view at) {
    return std::string(at) +
           ": warning: planes are seen mirrored through each ray's origin, the presets' rule: "
           "planes = \"geometric\" puts them where the file writes them";
}
INSTANTIATE_TEST_SUITE_P(
    Table, SceneWarnings,
    ::testing::Values(
        WarnedScene{kSphere + kLight, {}},
        WarnedScene{sphereAt("[0, 0, -101]", "1") + sphereAt("[0, 0, -100.5]", "1"),
                    {"1:1: warning: this sphere lies wholly 100 units or more"}},
        WarnedScene{sphereAt("[60, 0, -80]", "0.5") + sphereAt("[0, 3e38, 0]", "1e38"),
                    {"5:1: warning: this sphere"}},
        WarnedScene{"planes = \"mirrored\"\n" + planeAt("[0, -99.99, 0]", "[0, 1, 0]") +
                        planeAt("[3, 4, 100]", "[0, 0, -1]"),
                    {"6:1: warning: this plane lies 100 units or more"}},
        WarnedScene{
            planeAt("[0, 0, -99]", "[0.6, 0, 0.8]") + planeAt("[0, 0, -130]", "[0.6, 0, 0.8]"),
            {"5:1: warning: this plane", mirroredPlanesAt("1:1")}},
        // The plane rule left to the default without a camera: one line for all planes.
        WarnedScene{
            kSphere + planeAt("[0, -1, 0]", "[0, 1, 0]") + planeAt("[0, 1, 0]", "[0, 1, 0]"),
            {mirroredPlanesAt("5:1")}},
        WarnedScene{"planes = \"geometric\"\n" + planeAt("[0, -1, 0]", "[0, 1, 0]"), {}},
        WarnedScene{"[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\n" +
                        planeAt("[0, -1, 0]", "[0, 1, 0]"),
                    {}},
        WarnedScene{sphereAt("[0, 0, -5]", "2") + kLight +
                        "[[light]]\nposition = [0.5, 1, -4]\nradius = 0\nemission = [1, 1, 1]\n",
                    {"9:1: warning: this light is inside an opaque sphere, which blocks all of "
                     "its light (the sphere at line 1)"}},
        WarnedScene{sphereAt("[0, 0, -5]", "2", "glass = 1.5\n") +
                        sphereAt("[0, 0, -5]", "1", "mirror = 0.5\n") +
                        "[[light]]\nposition = [0, 0, -5]\nradius = 0.5\nemission = [1, 1, 1]\n",
                    {"11:1: warning: this light is inside an opaque sphere, which blocks all of "
                     "its light (the sphere at line 6)"}},
        WarnedScene{sphereAt("[0, 0, -5]", "2") +
                        "[[light]]\nposition = [0, 0, -3]\nradius = 0\nemission = [1, 1, 1]\n",
                    {}}));

TEST(SceneFile, ThePresetsHoldNoLikelyMistake) {
    for (const Preset preset : {buildBoxScene, buildTrioScene, buildFieldScene}) {
        const std::unique_ptr<Scene> scene(createPresetScene(preset));
        Scene read;
        std::string problem;
        std::vector<std::string> warnings;
        ASSERT_TRUE(
            parseSceneText(writeSceneText(*scene, "#\n"), "p.toml", read, problem, warnings));
        EXPECT_EQ(warnings, std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace lucentor
