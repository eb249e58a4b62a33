// Everything that runs on eight lanes, for processors with AVX2: the sample
// pipeline and the packet queries, instantiated over avx2::Lanes in this one translation unit, so
// that no function of this instruction set is emitted twice. Only the code of the target region
// below is built for the instruction set: the lane templates are included inside it, after
// every baseline header they use (engine/kernel_headers.h).
#include "engine/kernel_headers.h"
#include "simd/intrinsics.h"

// NOLINTNEXTLINE(bugprone-suspicious-include): a region of pragmas, not code
#include "simd/target_avx2_begin.inl"

// The lane type and the templates over it, built for the instruction set.
#include "engine/integrator_lanes.h"
#include "query/packet_blocked.h"
#include "query/packet_walk.h"
#include "query/triangle_lanes.h"
#include "simd/lanes_avx2.h"

namespace lucentor::avx2 {

SampleKernel sampleKernel() {
    return {kPacketWidth<Lanes>, kPacketHeight<Lanes>, renderTileLanes<Lanes>,
            renderPathTileLanes<Lanes>};
}

LanePrimitives lanePrimitives() { return lanePrimitivesOfLanes<Lanes>(); }

void closestHits(const Scene& scene, RayPacket& rays, std::uint32_t active, HitRecord* records) {
    packetwalk::closestHits<Lanes>(scene, rays, active, records);
}

void occlusionSums(const Scene& scene, const RayPacket& rays, std::uint32_t active,
                   float* amounts) {
    packetwalk::occlusionSums<Lanes>(scene, rays, active, amounts);
}

std::uint32_t blockedLanes(const Scene& scene, const RayPacket& rays, std::uint32_t active) {
    return packetwalk::blockedPacketLanes<Lanes>(scene, rays, active);
}

void hitTriangles(std::span<const Ray> rays, const Vec3& v0, const Vec3& v1, const Vec3& v2,
                  std::span<TriangleHit> hits) {
    hitTrianglesOfLanes<Lanes>(rays, v0, v1, v2, hits);
}

}  // namespace lucentor::avx2

// NOLINTNEXTLINE(bugprone-suspicious-include)
#include "simd/target_end.inl"
