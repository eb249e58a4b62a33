#pragma once

// The packet form of the path integrator's shadow query over a whole RayPacket, for the
// packet kernels (engine/kernel_avx2.cpp, engine/kernel_avx512.cpp) to instantiate inside
// their target regions. Templates only (see simd/lane_math.h).

#include <cstdint>

#include "query/packet.h"
#include "query/packet_walk.h"
#include "scene/scene.h"
#include "simd/lane_math.h"

namespace lucentor::packetwalk {

// blockedLanes for the lanes of `active`, L::kWidth lanes at a time, each lane against the
// packet's t: lane bits of the packet.
template <class L>
inline std::uint32_t blockedPacketLanes(const Scene& scene, const RayPacket& packet,
                                        std::uint32_t active) {
    std::uint32_t blocked = 0;
    for (int first = 0; first < kMaxPacketLanes; first += L::kWidth) {
        const std::uint32_t group = groupLanes<L>(active, first);
        if (group == 0) continue;
        const std::uint32_t lanes = blockedLanes(scene, loadRays<L>(packet, first), group,
                                                 load<L>(packet.t.data() + first));
        blocked |= lanes << first;
    }
    return blocked;
}

}  // namespace lucentor::packetwalk
