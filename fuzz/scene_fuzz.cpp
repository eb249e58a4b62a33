// Scene building and the hierarchy from arbitrary bytes: every count up to and past the
// arrays' capacity and any float in every field. The built tree must hold the invariants the
// queries rely on, and deleting the scene must free each record it made exactly once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "scene/scene.h"
#include "tests/support/free_recorder.h"
#include "tests/support/tree_check.h"

namespace lucentor::fuzzing {
namespace {

void checkCounts(const Scene& scene, const SceneRequest& request) {
    require(scene.sphereCount == std::min(request.spheres, kMaxSpheres), "sphere count");
    require(scene.planeCount == std::min(request.planes, kMaxPlanes), "plane count");
    require(scene.lightCount == std::min(request.lights, kMaxLights), "light count");
}

// Every node and sphere of the tree, then every plane and light, then the scene itself.
std::vector<const void*> ownedByScene(const Scene& scene) {
    std::vector<const void*> owned = testing::ownedByTree(scene.root);
    const int n = scene.sphereCount;
    require(owned.size() == std::size_t(n == 0 ? 0 : 3 * n - 1),
            "the tree holds 2n - 1 nodes and n spheres");
    owned.insert(owned.end(), scene.planes.begin(), scene.planes.begin() + scene.planeCount);
    owned.insert(owned.end(), scene.lights.begin(), scene.lights.begin() + scene.lightCount);
    owned.push_back(&scene);
    return owned;
}

void checkDeletion(std::unique_ptr<Scene> scene) {
    std::vector<const void*> expected = ownedByScene(*scene);
    std::vector<const void*> freed;
    {
        const testing::FreeRecorder recorder;
        scene.reset();
        freed = recorder.freedAmong(expected);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(freed.begin(), freed.end());
    require(freed == expected, "deleting the scene frees each of its records exactly once");
}

void fuzzScene(ByteReader& reader) {
    auto scene = std::make_unique<Scene>();
    checkCounts(*scene, decodeScene(reader, *scene));
    scene->buildHierarchy();
    const std::string problem =
        testing::treeProblem(scene->root, scene->leaves.data(), scene->sphereCount);
    require(problem.empty(), "tree: " + problem);
    checkDeletion(std::move(scene));
}

}  // namespace
}  // namespace lucentor::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lucentor::fuzzing::ByteReader reader{data, size};
    lucentor::fuzzing::fuzzScene(reader);
    return 0;
}
