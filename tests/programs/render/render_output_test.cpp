// lucentor-render from the outside against an in-process render of the same: the PFM it
// writes for a scene, seed and pass count must be exactly the mean of that many passes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/rendering.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "programs/render/image_file.h"

namespace lucentor {
namespace {

// Exactly `passes` passes of the preset with `threads` workers: each pass is started by hand
// and awaited, so no pass beyond them reaches the buffer.
std::vector<unsigned char> pfmInProcess(Preset preset, int passes, std::uint64_t seed,
                                        int threads) {
    Rendering rendering;
    prepareRendering(rendering, preset);
    startWorkers(rendering, threads, seed, SimdPath::Scalar);
    for (int pass = 1; pass <= passes; ++pass) {
        startPass(rendering.job, pass);
        while (!waitForPassComplete(rendering.job, std::chrono::seconds(1))) {
        }
    }
    stopWorkers(rendering);
    return encodePfm(rendering.accumulation, passes);
}

std::vector<unsigned char> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct OutputCase {
    const char* scene;
    Preset preset;
    int passes;
    std::uint64_t seed;
    int threads;
};

class RenderOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(RenderOutput, PfmIsTheMeanOfExactlyThePassesAsked) {
    const OutputCase& c = GetParam();
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("lucentor-output-" + std::to_string(::getpid()) + "-" + c.scene + ".pfm");
    const std::string command = std::string(LUCENTOR_RENDER_PROGRAM) + " " + c.scene + " -q -p " +
                                std::to_string(c.passes) + " -s " + std::to_string(c.seed) +
                                " -t " + std::to_string(c.threads) + " -o " + file.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<unsigned char> written = fileBytes(file);
    std::filesystem::remove(file);
    // Different worker counts on the two sides: the picture must not depend on them.
    EXPECT_TRUE(written == pfmInProcess(c.preset, c.passes, c.seed, 3 - c.threads % 2)) << command;
}

INSTANTIATE_TEST_SUITE_P(Scenes, RenderOutput,
                         ::testing::Values(OutputCase{"box", buildBoxScene, 2, 7, 1},
                                           OutputCase{"trio", buildTrioScene, 1, 112, 2},
                                           OutputCase{"field", buildFieldScene, 3, 0, 2}),
                         [](const ::testing::TestParamInfo<OutputCase>& output) {
                             return std::string(output.param.scene);
                         });

}  // namespace
}  // namespace lucentor
