#pragma once

// The ray queries that shading asks of the lanes' rays (simd/lane_math.h). Width 1 asks the
// scalar queries themselves; wider lanes walk every lane's ray at once by the packet walks
// (query/packet_walk.h), lane by lane the same as the scalar queries, and a scene whose tree
// the packet walks cannot take goes lane by lane through the scalar queries instead.
// Templates only (see simd/lane_math.h).

#include <array>
#include <cstddef>
#include <cstdint>

#include "query/packet_walk.h"
#include "shading/light_sampling.h"
#include "simd/lane_math.h"

namespace lucentor {

// Lane k's ray alone.
template <class L>
inline Ray rayOf(const RayLanes<L>& r, int k = 0) {
    if constexpr (L::kWidth == 1) {
        return {{r.origin.x.value, r.origin.y.value, r.origin.z.value},
                {r.direction.x.value, r.direction.y.value, r.direction.z.value},
                r.t.value};
    } else {
        const auto component = [k](Floats<L> v) { return arrayOf(v).values[std::size_t(k)]; };
        return {{component(r.origin.x), component(r.origin.y), component(r.origin.z)},
                {component(r.direction.x), component(r.direction.y), component(r.direction.z)},
                component(r.t)};
    }
}

// The closest hits of the lanes' rays of `lanes`, each lane's t lowered to its hit.
template <class L>
inline HitLanes<L> closestHits(const ShadingScene& shading, RayLanes<L>& rays, Mask<L> lanes) {
    if constexpr (L::kWidth == 1) {
        if (!any(lanes)) return {};
        Ray ray = rayOf(rays);
        const HitRecord record = ray.closestHit(*shading.scene);
        rays.t = ray.t;
        return {intsOf<L>(int(record.kind)), intsOf<L>(int(record.index))};
    } else {
        const std::uint32_t bits = bitsOf(lanes);
        if (bits == 0) return {intsOf<L>(0), intsOf<L>(0)};
        if (shading.packetWalks) {
            Floats<L> t = rays.t;
            const packetwalk::Records<L> record = packetwalk::closestHitLanes(
                *shading.scene, packetwalk::raysOf(rays.origin, rays.direction), bits, t);
            rays.t = select(lanes, t, rays.t);
            // Whole numbers below 2^24, exact in a float, so truncation is the readers' int
            // conversion.
            return {truncated(record.kind), truncated(record.index)};
        }
        FloatArray<L> t = arrayOf(rays.t);
        alignas(64) std::array<std::int32_t, L::kWidth> kinds{};
        alignas(64) std::array<std::int32_t, L::kWidth> indices{};
        for (int k = 0; k < L::kWidth; ++k) {
            if ((bits >> k & 1u) == 0) continue;
            const auto lane = std::size_t(k);
            Ray ray = rayOf(rays, k);
            const HitRecord record = ray.closestHit(*shading.scene);
            t.values[lane] = ray.t;
            kinds[lane] = int(record.kind);
            indices[lane] = int(record.index);
        }
        rays.t = load<L>(t.values.data());
        return {loadInts<L>(kinds.data()), loadInts<L>(indices.data())};
    }
}

// The lanes of `lanes` whose ray meets any surface or light sphere short of its t, every
// surface opaque: those whose t closestHits would lower. The wide walks stop at a lane's first
// hit; the one-ray form asks the closest hit itself.
template <class L>
inline Mask<L> blockedRays(const ShadingScene& shading, const RayLanes<L>& rays, Mask<L> lanes) {
    if constexpr (L::kWidth == 1) {
        if (!any(lanes)) return lanes;
        Ray ray = rayOf(rays);
        ray.closestHit(*shading.scene);
        return lanes & !(Floats<L>(ray.t) == rays.t);
    } else {
        if (shading.packetWalks) {
            return maskOf<L>(packetwalk::blockedLanes(
                *shading.scene, packetwalk::raysOf(rays.origin, rays.direction), bitsOf(lanes),
                rays.t));
        }
        RayLanes<L> lowered = rays;
        closestHits(shading, lowered, lanes);
        return lanes & !(lowered.t == rays.t);
    }
}

// What blocks each lane's ray of `lanes`, as the scalar occlusion query sums it.
template <class L>
inline Floats<L> occlusions(const ShadingScene& shading, const RayLanes<L>& rays, Mask<L> lanes) {
    if constexpr (L::kWidth == 1) {
        if (!any(lanes)) return 0.0f;
        return rayOf(rays).occlusion(*shading.scene);
    } else {
        const std::uint32_t bits = bitsOf(lanes);
        if (bits == 0) return 0.0f;
        if (shading.packetWalks) {
            return packetwalk::occlusionLanes(
                *shading.scene, packetwalk::raysOf(rays.origin, rays.direction), bits);
        }
        FloatArray<L> amounts;
        for (int k = 0; k < L::kWidth; ++k) {
            if ((bits >> k & 1u) != 0) {
                amounts.values[std::size_t(k)] = rayOf(rays, k).occlusion(*shading.scene);
            }
        }
        return load<L>(amounts.values.data());
    }
}

}  // namespace lucentor
