// Everything that runs on sixteen lanes, for processors with AVX-512 F, DQ, BW and VL: the sample
// pipeline and the packet queries, in one translation unit so that no inline function of this
// namespace is emitted twice. Only the code of the target region below is built for the instruction
// set.
#include "engine/kernel_headers.h"
#include "simd/intrinsics.h"

// NOLINTNEXTLINE(bugprone-suspicious-include): a region of pragmas, not code
#include "simd/target_avx512_begin.inl"

namespace lucentor::avx512 {

// NOLINTBEGIN(bugprone-suspicious-include): the fragments are written to be included here,
// in this order, each after what it uses.
// clang-format off
#include "simd/lanes_avx512.inl"
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

void closestHits(const Scene& scene, RayPacket& rays, std::uint32_t active, HitRecord* records) {
    packetwalk::closestHits(scene, rays, active, records);
}

void occlusionSums(const Scene& scene, const RayPacket& rays, std::uint32_t active,
                   float* amounts) {
    packetwalk::occlusionSums(scene, rays, active, amounts);
}

}  // namespace lucentor::avx512

// NOLINTNEXTLINE(bugprone-suspicious-include)
#include "simd/target_end.inl"
