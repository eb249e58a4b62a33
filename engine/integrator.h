#pragma once

#include <cstdint>

#include "query/simd_path.h"
#include "shading/light_sampling.h"

namespace lucentor {

struct RenderJob;
struct PixelRegion;

// Adds one sample of pass `pass` to every pixel of `tile`, a block of pixels at a time side by
// side in the lanes (packetWidth by packetHeight, cut at the tile's edges): each sample draws
// from a generator of its own, seeded by pixelSeed, so the sums equal those of sampling the
// pixels one by one at width 1, in any order. Returns early, between packets, once the job's
// stopRequested is set.
using TileRenderer = void (*)(RenderJob& job, const ShadingScene& shading, int pass,
                              const PixelRegion& tile);

// The sample pipeline of one instruction set, chosen once when the workers start.
struct SampleKernel {
    int packetWidth = 1;  // the block of pixels in the lanes, as square as the width allows
    int packetHeight = 1;
    TileRenderer renderTile = nullptr;      // the direct integrator's
    TileRenderer renderPathTile = nullptr;  // the path integrator's
};

// The kernel of `path`, which the processor must have.
SampleKernel sampleKernelOf(SimdPath path);

// A kernel's integer primitives on arrays of its width, for the tests: the remainders of
// `values` (0 to 2^31 - 1) by `divisors` (1 to 2^31 - 1), and the next draw of each generator
// whose lane bit is set in `active` (the others keep their state).
struct LanePrimitives {
    int width = 1;
    void (*remainders)(const std::int32_t* values, const std::int32_t* divisors,
                       std::int32_t* out) = nullptr;
    void (*draws)(std::uint64_t* states, std::uint32_t active, std::int32_t* out) = nullptr;
};

// The primitives of `path`, which the processor must have.
LanePrimitives lanePrimitivesOf(SimdPath path);

namespace scalar {
SampleKernel sampleKernel();
LanePrimitives lanePrimitives();
}  // namespace scalar

namespace avx2 {
SampleKernel sampleKernel();
LanePrimitives lanePrimitives();
}  // namespace avx2

namespace avx512 {
SampleKernel sampleKernel();
LanePrimitives lanePrimitives();
}  // namespace avx512

}  // namespace lucentor
