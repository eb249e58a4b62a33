#pragma once

#include <cstdint>

#include "query/packet.h"
#include "scene/packed_tree.h"
#include "scene/scene.h"

namespace lucentor {

// The packet queries over a scene whose wide tree was built for its root, or whose packed tree is
// a copy of its root with every inner node within kMaxTraversalDepth levels of the root, so that
// neither walk's depth limit can cut it short. Each set of kernels lives in its instruction set's
// translation unit with the sample pipeline (engine/kernel_avx2.cpp, engine/kernel_avx512.cpp);
// call one only on a processor that has it.
//
// closestHits: for each lane of `active`, Ray::closestHit of that lane's ray: the root's box
// test and the walk, with the same leaves tested in the same order against the same t as the
// scalar walk, then the planes and the light spheres; the lane's t is lowered as the scalar
// query lowers it and records[lane] is its record.
// occlusionSums: for each lane of `active`, what the scalar occlusion query returns.
// blockedLanes: the lanes of `active` whose t the closest-hit query would lower.

namespace avx2 {
void closestHits(const Scene& scene, RayPacket& rays, std::uint32_t active, HitRecord* records);
void occlusionSums(const Scene& scene, const RayPacket& rays, std::uint32_t active, float* amounts);
std::uint32_t blockedLanes(const Scene& scene, const RayPacket& rays, std::uint32_t active);
}  // namespace avx2

namespace avx512 {
void closestHits(const Scene& scene, RayPacket& rays, std::uint32_t active, HitRecord* records);
void occlusionSums(const Scene& scene, const RayPacket& rays, std::uint32_t active, float* amounts);
std::uint32_t blockedLanes(const Scene& scene, const RayPacket& rays, std::uint32_t active);
}  // namespace avx512

}  // namespace lucentor
