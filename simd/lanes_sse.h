#pragma once

// Four lanes in xmm registers with baseline SSE2, lane sets as all-ones or all-zero lanes: for the
// one-ray walks, which test one ray against the four triangles of a leaf at once (see
// query/triangle.cpp). Only the operations of the triangle test (see simd/lanes.h for what a lane
// type offers); each is the IEEE operation of the scalar lane type, lane by lane. Baseline code,
// included only by the translation units of the one-ray forms, never inside a kernel's target
// region.

#include <cstdint>

#include "simd/intrinsics.h"
#include "simd/lanes.h"

namespace lucentor {

namespace sse {
struct Lanes {
    static constexpr int kWidth = 4;
};
}  // namespace sse

template <>
struct Floats<sse::Lanes> {
    __m128 value;

    Floats() = default;
    Floats(__m128 v) : value(v) {}              // NOLINT(google-explicit-constructor)
    Floats(float v) : value(_mm_set1_ps(v)) {}  // NOLINT(google-explicit-constructor)

    static Floats load(const float* p) { return _mm_loadu_ps(p); }
};

template <>
struct Mask<sse::Lanes> {
    __m128 value;

    Mask() = default;
    Mask(__m128 v) : value(v) {}  // NOLINT(google-explicit-constructor)

    static Mask ofBits(std::uint32_t bits) {
        const __m128i laneBits = _mm_setr_epi32(1, 2, 4, 8);
        const __m128i set = _mm_and_si128(_mm_set1_epi32(std::int32_t(bits)), laneBits);
        return {_mm_castsi128_ps(_mm_cmpeq_epi32(set, laneBits))};
    }
};

template <>
struct Ints<sse::Lanes> {
    __m128i value;

    static Ints broadcast(std::int32_t v) { return {_mm_set1_epi32(v)}; }
};

namespace sse {

using Floats = lucentor::Floats<Lanes>;
using Mask = lucentor::Mask<Lanes>;
using Ints = lucentor::Ints<Lanes>;

inline Floats operator+(Floats a, Floats b) { return _mm_add_ps(a.value, b.value); }
inline Floats operator-(Floats a, Floats b) { return _mm_sub_ps(a.value, b.value); }
inline Floats operator*(Floats a, Floats b) { return _mm_mul_ps(a.value, b.value); }
inline Floats operator/(Floats a, Floats b) { return _mm_div_ps(a.value, b.value); }
inline Floats operator-(Floats a) { return _mm_xor_ps(a.value, _mm_set1_ps(-0.0f)); }

// Ordered comparisons: false where a side is NaN, as the scalar ones.
inline Mask operator<(Floats a, Floats b) { return {_mm_cmplt_ps(a.value, b.value)}; }
inline Mask operator>(Floats a, Floats b) { return {_mm_cmpgt_ps(a.value, b.value)}; }
inline Mask operator>=(Floats a, Floats b) { return {_mm_cmpge_ps(a.value, b.value)}; }
inline Mask operator==(Floats a, Floats b) { return {_mm_cmpeq_ps(a.value, b.value)}; }

inline Mask operator&(Mask a, Mask b) { return {_mm_and_ps(a.value, b.value)}; }
inline Mask operator|(Mask a, Mask b) { return {_mm_or_ps(a.value, b.value)}; }
inline Mask operator!(Mask a) {
    return {_mm_xor_ps(a.value, _mm_castsi128_ps(_mm_set1_epi32(-1)))};
}
inline std::uint32_t bitsOf(Mask a) { return std::uint32_t(_mm_movemask_ps(a.value)); }
inline bool any(Mask a) { return bitsOf(a) != 0; }

inline Floats select(Mask m, Floats ifSet, Floats otherwise) {
    return _mm_or_ps(_mm_and_ps(m.value, ifSet.value), _mm_andnot_ps(m.value, otherwise.value));
}

inline Floats abs(Floats a) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), a.value); }

inline void store(float* p, Floats a) { _mm_storeu_ps(p, a.value); }

inline Ints operator+(Ints a, Ints b) { return {_mm_add_epi32(a.value, b.value)}; }
inline Mask operator==(Ints a, Ints b) {
    return {_mm_castsi128_ps(_mm_cmpeq_epi32(a.value, b.value))};
}
inline Ints select(Mask m, Ints ifSet, Ints otherwise) {
    const __m128i set = _mm_castps_si128(m.value);
    return {_mm_or_si128(_mm_and_si128(set, ifSet.value), _mm_andnot_si128(set, otherwise.value))};
}

}  // namespace sse
}  // namespace lucentor
