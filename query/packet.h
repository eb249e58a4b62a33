#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "query/simd_path.h"
#include "scene/records.h"

namespace lucentor {

// The most rays one packet holds: the lanes of the widest path.
inline constexpr int kMaxPacketLanes = 16;

// Rays side by side, one lane each, component by component, as the packet kernels load them.
// Which lanes hold rays is told by a mask of lane bits beside the packet: the other lanes may
// hold anything, and the queries neither read their results nor change them.
struct RayPacket {
    using Lanes = std::array<float, kMaxPacketLanes>;
    alignas(64) Lanes originX{};
    alignas(64) Lanes originY{};
    alignas(64) Lanes originZ{};
    alignas(64) Lanes directionX{};
    alignas(64) Lanes directionY{};
    alignas(64) Lanes directionZ{};
    alignas(64) Lanes t{};

    void set(int lane, const Ray& ray);
    Ray ray(int lane) const;
};

// Whether the packet walks may take the scene's tree: its packed copy copies the root, and no
// inner node lies so deep that a scalar walk's depth limit could cut it short (never for a
// tree the builder made). Otherwise every lane takes the scalar queries.
bool packetWalksApply(const Scene& scene);

// Ray::closestHit for each ray of `active`, lane by lane the same: the lane's t is lowered as
// the scalar query lowers it and records[lane] is its record. Lanes outside `active` keep
// their t and records.
void closestHits(SimdPath path, const Scene& scene, RayPacket& rays, std::uint32_t active,
                 std::span<HitRecord, kMaxPacketLanes> records);

// Ray::occlusion for each ray of `active` into amounts[lane], lane by lane the same.
void occlusions(SimdPath path, const Scene& scene, const RayPacket& rays, std::uint32_t active,
                std::span<float, kMaxPacketLanes> amounts);

// The path integrator's shadow query: the lanes of `active` whose ray meets anything short of
// its t (every surface opaque), that is, those whose t Ray::closestHit would lower. The packet
// walks leave a lane's walk at its first hit.
std::uint32_t blockedLanes(SimdPath path, const Scene& scene, const RayPacket& rays,
                           std::uint32_t active);

}  // namespace lucentor
