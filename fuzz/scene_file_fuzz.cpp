// The scene file reader with arbitrary text. Every input gives either a scene of what a file
// can mean (counts within the capacities, finite numbers, spheres larger than a point, lights
// not of negative size, unit plane normals, no negative colour, emission or material, a
// maximum depth in range), which the writer writes and the reader reads back bit for bit and
// whose hierarchy keeps its invariants; or one line that names the file, a line and a column.
// A scene read may come with warnings, each one such line too, at most one for each object.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "scenefile/scene_file.h"
#include "tests/support/scene_compare.h"
#include "tests/support/tree_check.h"

namespace lucentor::fuzzing {
namespace {

constexpr std::string_view kName = "fuzz.toml";

bool isFinite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool isNonNegative(Vec3 v) { return v.x >= 0.0f && v.y >= 0.0f && v.z >= 0.0f; }

// "fuzz.toml:LINE:COLUMN: " and more, on one line; returns where the more begins.
std::size_t checkLocated(const std::string& problem) {
    require(problem.starts_with(std::string(kName) + ":"), "a fault names the file");
    const std::size_t line = problem.find_first_not_of("0123456789", kName.size() + 1);
    require(line > kName.size() + 1 && line != std::string::npos && problem[line] == ':',
            "then its line");
    const std::size_t column = problem.find_first_not_of("0123456789", line + 1);
    require(column > line + 1 && problem.compare(column, 2, ": ") == 0, "then its column");
    require(problem.size() > column + 2, "then what is wrong");
    for (const char c : problem) {
        const auto code = static_cast<unsigned char>(c);
        require(code >= 0x20 && code != 0x7f, "a fault is one line without control characters");
    }
    return column + 2;
}

void checkProblem(const std::string& problem) { checkLocated(problem); }

void checkWarnings(const Scene& scene, const std::vector<std::string>& warnings) {
    std::size_t own = 0;
    for (const std::string& warning : warnings) {
        // A mesh file's warnings are its reader's lines, located in that file.
        if (!warning.starts_with(std::string(kName) + ":")) continue;
        require(warning.compare(checkLocated(warning), 9, "warning: ") == 0, "a warning says so");
        ++own;
    }
    // The mirrored planes' rule is said once for the whole file, on its first plane's line,
    // besides what that plane's own check may say.
    const std::size_t fileWide = scene.planeRule == PlaneRule::Mirrored ? 1 : 0;
    require(own <= std::size_t(scene.sphereCount + scene.planeCount + scene.lightCount) + fileWide,
            "at most one warning for each object");
}

void checkValues(const Scene& scene) {
    require(scene.sphereCount + scene.planeCount + scene.lightCount > 0 || !scene.meshes.empty(),
            "something to render");
    require(scene.maxDepth >= 1 && scene.maxDepth <= kMaxPathDepth, "a maximum depth");
    require(isFinite(scene.background) && isNonNegative(scene.background), "a sky");
    for (int i = 0; i < scene.sphereCount; ++i) {
        const Sphere& s = *scene.leaves[i]->sphere;
        require(isFinite(s.center) && std::isfinite(s.radius) && s.radius > 0.0f, "a sphere");
        require(isFinite(s.color) && isNonNegative(s.color) && s.material >= 0.0f, "its surface");
    }
    for (int i = 0; i < scene.planeCount; ++i) {
        const Plane& p = *scene.planes[i];
        const double length = std::sqrt(double(p.normal.x) * double(p.normal.x) +
                                        double(p.normal.y) * double(p.normal.y) +
                                        double(p.normal.z) * double(p.normal.z));
        require(isFinite(p.point) && std::fabs(length - 1.0) <= 1.0e-4, "a plane");
        require(isFinite(p.color) && isNonNegative(p.color) && p.material >= 0.0f, "its surface");
    }
    for (int i = 0; i < scene.lightCount; ++i) {
        const Light& l = *scene.lights[i];
        require(isFinite(l.position) && std::isfinite(l.radius) && l.radius >= 0.0f, "a light");
        require(isFinite(l.emission) && isNonNegative(l.emission), "its emission");
    }
    for (const Mesh& mesh : scene.meshes) {
        for (const MeshMaterial& m : mesh.materials) {
            require(isFinite(m.emission) && isNonNegative(m.emission), "a surface's emission");
        }
    }
}

void fuzzSceneFile(std::string_view text) {
    Scene scene;
    SceneReport report;
    if (readSceneText(text, kName, {}, scene, report) != SceneFileStatus::Read) {
        // A mesh file's own fault is its reader's line, located in that file.
        if (report.faultFile.empty()) checkProblem(report.problem);
        return;
    }
    checkWarnings(scene, report.warnings);
    require(report.problem.empty(), "no fault reported for a scene that was read");
    checkValues(scene);
    Scene again;
    std::string problem;
    require(parseSceneText(writeSceneText(scene, "# again\n", report.shapeTables), kName, again,
                           problem),
            "the writer's text reads back");
    require(testing::sceneDifference(scene, again).empty(), "the same records, bit for bit");
    require(testing::sceneTreeProblem(scene).empty(), "the tree keeps its invariants");
}

}  // namespace
}  // namespace lucentor::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lucentor::fuzzing::fuzzSceneFile(
        std::string_view(reinterpret_cast<const char*>(data), size));  // NOLINT: bytes as text
    return 0;
}
