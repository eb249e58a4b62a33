// The sphere rows reader with arbitrary text. Every input adds, in row order, spheres of what
// a scene file can mean (finite numbers, radii above 0, no negative colour or material), one
// for each line it reports, and then stops or ends: at a fault it names a line within the
// text and a column within that line, and says what is wrong in one line. The hierarchy over
// what was added keeps its invariants.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "scenefile/sphere_rows.h"
#include "tests/support/tree_check.h"

namespace lucentor::fuzzing {
namespace {

bool isFinite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

void checkSpheres(const Scene& scene, const std::vector<int>& lines) {
    require(std::size_t(scene.sphereCount) == lines.size(), "one line for each sphere");
    require(std::is_sorted(lines.begin(), lines.end()), "in row order");
    for (int i = 0; i < scene.sphereCount; ++i) {
        const Sphere& s = *scene.leaves[std::size_t(i)]->sphere;
        require(isFinite(s.center) && std::isfinite(s.radius) && s.radius > 0.0f, "a sphere");
        require(isFinite(s.color) && s.color.x >= 0.0f && s.color.y >= 0.0f && s.color.z >= 0.0f &&
                    s.material >= 0.0f,
                "its surface");
    }
}

// The line and column lie within the text, and the message is one printable line.
void checkFault(std::string_view text, const RowFault& fault, const std::vector<int>& lines) {
    require(fault.line >= 1 && (lines.empty() || fault.line > lines.back()), "a later line");
    std::string_view line = text;
    for (int i = 1; i < fault.line; ++i) {
        const std::size_t newline = line.find('\n');
        require(newline != std::string_view::npos, "a line of the text");
        line.remove_prefix(newline + 1);
    }
    line = line.substr(0, line.find('\n'));
    require(fault.column >= 1 && std::size_t(fault.column) <= line.size() + 1,
            "a column of that line");
    require(!fault.what.empty(), "what is wrong");
    for (const char c : fault.what) {
        const auto code = static_cast<unsigned char>(c);
        require(code >= 0x20 && code != 0x7f, "one line without control characters");
    }
}

void fuzzSphereRows(std::string_view text) {
    Scene scene;
    scene.limits = kSceneFileLimits;
    RowFault fault;
    std::vector<int> lines;
    if (!readSphereRows(text, scene, fault, lines)) checkFault(text, fault, lines);
    checkSpheres(scene, lines);
    scene.buildHierarchy();
    require(testing::sceneTreeProblem(scene).empty(), "the tree keeps its invariants");
}

}  // namespace
}  // namespace lucentor::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lucentor::fuzzing::fuzzSphereRows(
        std::string_view(reinterpret_cast<const char*>(data), size));  // NOLINT: bytes as text
    return 0;
}
