#pragma once

// The light table's lookups written once over a lane type (simd/lanes.h) for the path
// integrator's kernels and the one-ray forms (shading/emitters.cpp). Templates only (see
// simd/lane_math.h): included inside a kernel's target region, never by a baseline header.

#include <array>
#include <cstddef>
#include <cstdint>

#include "shading/emitters.h"
#include "simd/lane_math.h"

namespace lucentor {

// The part of a radiance or intensity the power is measured by, lane by lane: the mean of the
// channels, 0 for anything not above 0 (NaN included).
template <class L>
inline Floats<L> selectionWeights(const Vec3Lanes<L>& emission) {
    const Floats<L> mean = (emission.x + emission.y + emission.z) / 3.0f;
    return select(mean > 0.0f, mean, 0.0f);
}

// Tables up to this many entries are searched by comparing every lane with every entry.
inline constexpr std::size_t kLinearPickEntries = 32;

// emitterAt for each lane of `lanes`, 0 in the others. The first entry above u is the count of
// those not above it, the cdf ascending; the last entry, 1, is above every u.
template <class L>
inline Ints<L> emittersAt(const EmitterTable& table, Floats<L> u, Mask<L> lanes) {
    const std::size_t count = table.cdf.size();
    if (count <= kLinearPickEntries) {
        Ints<L> index = intsOf<L>(0);
        for (std::size_t i = 0; i + 1 < count; ++i) {
            index = select(lanes & (u >= table.cdf[i]), index + intsOf<L>(1), index);
        }
        return index;
    }
    const FloatArray<L> numbers = arrayOf(u);
    alignas(64) std::array<std::int32_t, L::kWidth> indices{};
    for (int k = 0; k < L::kWidth; ++k) {
        const auto lane = std::size_t(k);
        if (isSet(lanes, k)) indices[lane] = emitterAt(table, numbers.values[lane]);
    }
    return loadInts<L>(indices.data());
}

}  // namespace lucentor
