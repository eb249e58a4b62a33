#pragma once

#include <cstdint>

#include "query/packet.h"
#include "scene/packed_tree.h"

namespace lucentor {

// The packet walks over a packed tree whose every inner node lies within kMaxTraversalDepth
// levels of the root, so that neither walk's depth limit can cut it short. Each kernel lives
// in a translation unit of its own, built for its instruction set; call one only on a
// processor that has it.
//
// closestLeaves: for each lane of `active`, the root's box test and then the closest-hit walk
// of that lane's ray, with the same leaves tested in the same order against the same t as the
// scalar walk; the lane's t is lowered to the accepted hit and leaves[lane] is its leaf, or
// left as it was when nothing is accepted.
// occlusionSums: for each lane of `active`, what the scalar occlusion query returns.

namespace avx2 {
void closestLeaves(const PackedTree& tree, RayPacket& rays, std::uint32_t active, BvhNode** leaves);
void occlusionSums(const PackedTree& tree, const RayPacket& rays, std::uint32_t active,
                   float* amounts);
}  // namespace avx2

namespace avx512 {
void closestLeaves(const PackedTree& tree, RayPacket& rays, std::uint32_t active, BvhNode** leaves);
void occlusionSums(const PackedTree& tree, const RayPacket& rays, std::uint32_t active,
                   float* amounts);
}  // namespace avx512

}  // namespace lucentor
