// The sample pipeline on eight lanes, for processors with AVX2. Only
// the code of the target region below is built for them, in a namespace of its own.
#include "simd/intrinsics.h"

#include "engine/kernel_headers.h"

// NOLINTNEXTLINE(bugprone-suspicious-include): a region of pragmas, not code
#include "simd/target_avx2_begin.inl"

namespace lucentor::avx2 {

// NOLINTBEGIN(bugprone-suspicious-include): the fragments are written to be included here,
// in this order, each after what it uses.
// clang-format off
#include "simd/lanes_avx2.inl"
#include "simd/lane_math.inl"
#include "query/packet_walk.inl"
#include "engine/lane_queries_packets.inl"
#include "shading/materials_lanes.inl"
#include "shading/lighting_lanes.inl"
#include "engine/integrator.inl"
// clang-format on
// NOLINTEND(bugprone-suspicious-include)

SampleKernel sampleKernel() { return {kPacketWidth, kPacketHeight, renderTileLanes}; }

LanePrimitives lanePrimitives() { return lanePrimitivesOfLanes(); }

}  // namespace lucentor::avx2

// NOLINTNEXTLINE(bugprone-suspicious-include)
#include "simd/target_end.inl"
