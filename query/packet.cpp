#include "query/packet.h"

#include <cstddef>

#include "query/closest_hit.h"
#include "query/packet_kernels.h"
#include "query/traversal.h"
#include "scene/scene.h"

namespace lucentor {
namespace {

bool isActive(std::uint32_t active, int lane) { return (active >> lane & 1u) != 0; }

bool walksPackets(SimdPath path, const Scene& scene) {
    return path != SimdPath::Scalar && packetWalksApply(scene);
}

}  // namespace

bool packetWalksApply(const Scene& scene) {
    if (isWideTreeOf(scene.wideTree, scene.root)) return true;
    return isCopyOf(scene.packedTree, scene.root) &&
           scene.packedTree.innerLevels <= kMaxTraversalDepth + 1;
}

void RayPacket::set(int lane, const Ray& ray) {
    const auto k = std::size_t(lane);
    originX[k] = ray.origin.x;
    originY[k] = ray.origin.y;
    originZ[k] = ray.origin.z;
    directionX[k] = ray.direction.x;
    directionY[k] = ray.direction.y;
    directionZ[k] = ray.direction.z;
    t[k] = ray.t;
}

Ray RayPacket::ray(int lane) const {
    const auto k = std::size_t(lane);
    return {
        {originX[k], originY[k], originZ[k]}, {directionX[k], directionY[k], directionZ[k]}, t[k]};
}

void closestHits(SimdPath path, const Scene& scene, RayPacket& rays, std::uint32_t active,
                 std::span<HitRecord, kMaxPacketLanes> records) {
    if (!walksPackets(path, scene)) {
        for (int k = 0; k < kMaxPacketLanes; ++k) {
            if (!isActive(active, k)) continue;
            Ray ray = rays.ray(k);
            records[std::size_t(k)] = ray.closestHit(scene);
            rays.t[std::size_t(k)] = ray.t;
        }
        return;
    }
    if (path == SimdPath::Avx512) {
        avx512::closestHits(scene, rays, active, records.data());
    } else {
        avx2::closestHits(scene, rays, active, records.data());
    }
}

void occlusions(SimdPath path, const Scene& scene, const RayPacket& rays, std::uint32_t active,
                std::span<float, kMaxPacketLanes> amounts) {
    if (!walksPackets(path, scene)) {
        for (int k = 0; k < kMaxPacketLanes; ++k) {
            if (isActive(active, k)) amounts[std::size_t(k)] = rays.ray(k).occlusion(scene);
        }
        return;
    }
    if (path == SimdPath::Avx512) {
        avx512::occlusionSums(scene, rays, active, amounts.data());
    } else {
        avx2::occlusionSums(scene, rays, active, amounts.data());
    }
}

std::uint32_t blockedLanes(SimdPath path, const Scene& scene, const RayPacket& rays,
                           std::uint32_t active) {
    if (!walksPackets(path, scene)) {
        std::uint32_t blocked = 0;
        for (int k = 0; k < kMaxPacketLanes; ++k) {
            if (!isActive(active, k)) continue;
            Ray ray = rays.ray(k);
            ray.closestHit(scene);
            if (!(ray.t == rays.t[std::size_t(k)])) blocked |= std::uint32_t{1} << k;
        }
        return blocked;
    }
    return path == SimdPath::Avx512 ? avx512::blockedLanes(scene, rays, active)
                                    : avx2::blockedLanes(scene, rays, active);
}

}  // namespace lucentor
