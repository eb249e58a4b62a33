// Each path runs its own kernels: a path that dispatched to a wider one would pass every
// picture test on a processor that has both, and fail only where the wider one is missing.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/camera.h"
#include "engine/image.h"
#include "engine/integrator.h"
#include "engine/render_job.h"
#include "engine/startup.h"
#include "presets/box.h"
#include "tests/support/every_path.h"

namespace lucentor {
namespace {

struct KernelOfPath {
    SampleKernel (*kernel)();
    int lanes;  // the lanes of the path's instruction set
    LanePrimitives (*primitives)();
};

KernelOfPath ownKernel(SimdPath path) {
    switch (path) {
        case SimdPath::Avx512:
            return {avx512::sampleKernel, 16, avx512::lanePrimitives};
        case SimdPath::Avx2:
            return {avx2::sampleKernel, 8, avx2::lanePrimitives};
        case SimdPath::Scalar:
            break;
    }
    return {scalar::sampleKernel, 1, scalar::lanePrimitives};
}

class KernelChoice : public testing::EveryPath {};

// The kernel the workers take for a job on a path, and the primitives the tests check for it,
// are that path's own, of its width.
TEST_P(KernelChoice, EachPathRunsItsOwnKernel) {
    const KernelOfPath own = ownKernel(GetParam());
    const std::unique_ptr<Scene> scene(createPresetScene(buildBoxScene));
    Camera camera = makeCamera();
    std::vector<Vec3> sums(static_cast<std::size_t>(kPixelCount));
    RenderJob job;
    job.camera = &camera;
    job.scene = scene.get();
    job.accumulation = sums.data();
    job.simd = GetParam();
    prepareSampling(job);
    EXPECT_EQ(job.kernel.renderTile, own.kernel().renderTile);
    EXPECT_EQ(job.kernel.packetWidth * job.kernel.packetHeight, own.lanes);
    const LanePrimitives primitives = lanePrimitivesOf(GetParam());
    EXPECT_EQ(primitives.width, own.lanes);
    EXPECT_EQ(primitives.remainders, own.primitives().remainders);
    EXPECT_EQ(primitives.draws, own.primitives().draws);
}

INSTANTIATE_TEST_SUITE_P(Paths, KernelChoice, testing::everyPath(), testing::pathCaseName);

}  // namespace
}  // namespace lucentor
