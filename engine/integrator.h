#pragma once

#include <cstdint>
#include <span>

#include "query/simd_path.h"
#include "shading/light_sampling.h"

namespace lucentor {

struct RenderJob;

// Adds one sample to every pixel of `rows` (at most the kernel's rowLanes rows of pass
// `pass`), the rows side by side in the lanes: each row draws from a generator of its own,
// seeded by rowSeed, pixel by pixel, so the sums equal those of rendering the rows one after
// the other at width 1. Returns early, between columns, once the job's stopRequested is set.
using RowRenderer = void (*)(RenderJob& job, const ShadingScene& shading, int pass,
                             std::span<const int> rows);

// The most rows a kernel renders side by side: the lanes of the widest.
inline constexpr int kMaxRowLanes = 16;

// The sample pipeline of one instruction set, chosen once when the workers start.
struct SampleKernel {
    int rowLanes = 1;  // rows per turn: the lanes of the kernel
    RowRenderer renderRows = nullptr;
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
void renderRows(RenderJob& job, const ShadingScene& shading, int pass, std::span<const int> rows);
LanePrimitives lanePrimitives();
}  // namespace scalar

namespace avx2 {
void renderRows(RenderJob& job, const ShadingScene& shading, int pass, std::span<const int> rows);
LanePrimitives lanePrimitives();
}  // namespace avx2

namespace avx512 {
void renderRows(RenderJob& job, const ShadingScene& shading, int pass, std::span<const int> rows);
LanePrimitives lanePrimitives();
}  // namespace avx512

}  // namespace lucentor
