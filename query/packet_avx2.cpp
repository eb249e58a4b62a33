// The packet queries on eight lanes, for processors with AVX2. Only the
// code of the target region below is built for them, in a namespace of its own.
#include "simd/intrinsics.h"

#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <limits>

#include "query/closest_hit.h"
#include "query/occlusion.h"
#include "query/packet.h"
#include "query/packet_kernels.h"
#include "query/traversal.h"
#include "query/wide_walk.h"
#include "scene/packed_tree.h"
#include "scene/scene.h"
#include "shading/random.h"

// NOLINTNEXTLINE(bugprone-suspicious-include): a region of pragmas, not code
#include "simd/target_avx2_begin.inl"

namespace lucentor::avx2 {

// NOLINTBEGIN(bugprone-suspicious-include): the fragments are written to be included here,
// in this order, each after what it uses.
// clang-format off
#include "simd/lanes_avx2.inl"
#include "simd/lane_math.inl"
#include "query/packet_walk.inl"
// clang-format on
// NOLINTEND(bugprone-suspicious-include)

void closestHits(const Scene& scene, RayPacket& rays, std::uint32_t active, HitRecord* records) {
    packetwalk::closestHits(scene, rays, active, records);
}

void occlusionSums(const Scene& scene, const RayPacket& rays, std::uint32_t active,
                   float* amounts) {
    packetwalk::occlusionSums(scene, rays, active, amounts);
}

}  // namespace lucentor::avx2

// NOLINTNEXTLINE(bugprone-suspicious-include)
#include "simd/target_end.inl"
