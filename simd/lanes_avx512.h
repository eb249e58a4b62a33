#pragma once

// Sixteen lanes in zmm registers, lane sets in 16-bit mask registers (see simd/lanes.h for what
// every lane type offers). Every operation is the IEEE operation of the scalar lane type, lane
// by lane. Included only inside the AVX-512 kernels' target region (engine/kernel_avx512.cpp),
// after simd/intrinsics.h and the baseline headers it uses.

#include "simd/lanes.h"  // declarations only: no code to be built for the region

namespace lucentor {

namespace avx512 {
struct Lanes {
    static constexpr int kWidth = 16;
};
}  // namespace avx512

template <>
struct Floats<avx512::Lanes> {
    __m512 value;

    // Left unset like a float: `Floats{}` is zero. The ray trees' stacks are made once per
    // tile, not per sample.
    Floats() = default;
    Floats(__m512 v) : value(v) {}                 // NOLINT(google-explicit-constructor)
    Floats(float v) : value(_mm512_set1_ps(v)) {}  // NOLINT(google-explicit-constructor)

    static Floats load(const float* p) { return _mm512_loadu_ps(p); }
};

template <>
struct Mask<avx512::Lanes> {
    __mmask16 value = 0;

    static Mask ofBits(std::uint32_t bits) { return {__mmask16(bits)}; }
};

template <>
struct Ints<avx512::Lanes> {
    __m512i value;

    static Ints broadcast(std::int32_t v) { return {_mm512_set1_epi32(v)}; }
    static Ints load(const std::int32_t* p) { return {_mm512_loadu_si512(p)}; }
};

// Divisors for remainderOf, with their reciprocals in double, worked out once for many
// remainders: lanes 0 to 7 in the low halves, 8 to 15 in the high ones.
template <>
struct Divisors<avx512::Lanes> {
    Ints<avx512::Lanes> value;
    __m512d reciprocalLow;
    __m512d reciprocalHigh;
};

// Each lane's SplitMix64 state, lanes 0 to 7 in `low`, 8 to 15 in `high`.
template <>
struct Generators<avx512::Lanes> {
    __m512i low;
    __m512i high;

    static Generators load(const std::uint64_t* states) {
        return {_mm512_loadu_si512(states), _mm512_loadu_si512(states + 8)};
    }
};

namespace avx512 {

using Floats = lucentor::Floats<Lanes>;
using Mask = lucentor::Mask<Lanes>;
using Ints = lucentor::Ints<Lanes>;
using Divisors = lucentor::Divisors<Lanes>;
using Generators = lucentor::Generators<Lanes>;

inline Floats operator+(Floats a, Floats b) { return _mm512_add_ps(a.value, b.value); }
inline Floats operator-(Floats a, Floats b) { return _mm512_sub_ps(a.value, b.value); }
inline Floats operator*(Floats a, Floats b) { return _mm512_mul_ps(a.value, b.value); }
inline Floats operator/(Floats a, Floats b) { return _mm512_div_ps(a.value, b.value); }
inline Floats operator-(Floats a) {
    return _mm512_castsi512_ps(
        _mm512_xor_si512(_mm512_castps_si512(a.value), _mm512_set1_epi32(INT_MIN)));
}

// Ordered comparisons: false where either side is NaN, as in C++.
inline Mask operator<(Floats a, Floats b) {
    return {_mm512_cmp_ps_mask(a.value, b.value, _CMP_LT_OQ)};
}
inline Mask operator>(Floats a, Floats b) {
    return {_mm512_cmp_ps_mask(a.value, b.value, _CMP_GT_OQ)};
}
inline Mask operator>=(Floats a, Floats b) {
    return {_mm512_cmp_ps_mask(a.value, b.value, _CMP_GE_OQ)};
}
inline Mask operator==(Floats a, Floats b) {
    return {_mm512_cmp_ps_mask(a.value, b.value, _CMP_EQ_OQ)};
}

inline Mask operator&(Mask a, Mask b) { return {__mmask16(a.value & b.value)}; }
inline Mask operator|(Mask a, Mask b) { return {__mmask16(a.value | b.value)}; }
inline Mask operator!(Mask a) { return {__mmask16(~a.value)}; }
inline bool any(Mask a) { return a.value != 0; }
inline std::uint32_t bitsOf(Mask a) { return a.value; }

inline Floats select(Mask m, Floats ifSet, Floats otherwise) {
    return _mm512_mask_blend_ps(m.value, otherwise.value, ifSet.value);
}

inline Floats sqrt(Floats a) { return _mm512_sqrt_ps(a.value); }
// a < b ? a : b and a > b ? a : b: the second operand on NaN and on equal values.
inline Floats min(Floats a, Floats b) { return _mm512_min_ps(a.value, b.value); }
inline Floats max(Floats a, Floats b) { return _mm512_max_ps(a.value, b.value); }
// The lanes whose bits are the same, where == would tell -0 from +0 apart from NaN.
inline Mask sameBits(Floats a, Floats b) {
    return {_mm512_cmpeq_epi32_mask(_mm512_castps_si512(a.value), _mm512_castps_si512(b.value))};
}
inline Floats abs(Floats a) {
    return _mm512_castsi512_ps(
        _mm512_and_si512(_mm512_castps_si512(a.value), _mm512_set1_epi32(INT_MAX)));
}

inline void store(float* p, Floats a) { _mm512_storeu_ps(p, a.value); }

inline Ints operator+(Ints a, Ints b) { return {_mm512_add_epi32(a.value, b.value)}; }
inline Ints operator-(Ints a, Ints b) { return {_mm512_sub_epi32(a.value, b.value)}; }
inline Ints operator^(Ints a, Ints b) { return {_mm512_xor_si512(a.value, b.value)}; }
inline Ints operator&(Ints a, Ints b) { return {_mm512_and_si512(a.value, b.value)}; }
inline void storeInts(std::int32_t* p, Ints a) { _mm512_storeu_si512(p, a.value); }
inline Mask operator==(Ints a, Ints b) { return {_mm512_cmpeq_epi32_mask(a.value, b.value)}; }
inline Ints select(Mask m, Ints ifSet, Ints otherwise) {
    return {_mm512_mask_blend_epi32(m.value, otherwise.value, ifSet.value)};
}
inline Floats toFloats(Ints a) { return _mm512_cvtepi32_ps(a.value); }
inline Floats gather(const float* base, Ints index) {
    return _mm512_i32gather_ps(index.value, base, 4);
}
inline Floats lookup(const float* row, Ints index) {
    return _mm512_permutexvar_ps(index.value, _mm512_loadu_ps(row));
}
// Out of range and NaN give INT_MIN, the scalar lane type's rule.
inline Ints truncated(Floats a) { return {_mm512_cvttps_epi32(a.value)}; }

inline __m512d reciprocalsOf(__m256i divisor) {
    return _mm512_div_pd(_mm512_set1_pd(1.0), _mm512_cvtepi32_pd(divisor));
}

inline Divisors divisorsOf(Ints divisor) {
    return {divisor, reciprocalsOf(_mm512_castsi512_si256(divisor.value)),
            reciprocalsOf(_mm512_extracti64x4_epi64(divisor.value, 1))};
}

// value mod divisor for 0 <= value < 2^31 and 0 < divisor < 2^31, eight lanes in double. The
// quotient value * (1 / divisor) is within 2^-21 of the true one, so its floor is off by at
// most one, which one correction each way mends; every product and difference is exact.
inline __m256i remainderOfHalf(__m256i value, __m256i divisor, __m512d reciprocal) {
    const __m512d a = _mm512_cvtepi32_pd(value);
    const __m512d n = _mm512_cvtepi32_pd(divisor);
    const __m512d q = _mm512_roundscale_pd(_mm512_mul_pd(a, reciprocal),
                                           _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    __m512d r = _mm512_sub_pd(a, _mm512_mul_pd(q, n));
    r = _mm512_mask_add_pd(r, _mm512_cmp_pd_mask(r, _mm512_setzero_pd(), _CMP_LT_OQ), r, n);
    r = _mm512_mask_sub_pd(r, _mm512_cmp_pd_mask(r, n, _CMP_GE_OQ), r, n);
    return _mm512_cvttpd_epi32(r);
}

inline Ints remainderOf(Ints value, const Divisors& by) {
    const __m256i low = remainderOfHalf(_mm512_castsi512_si256(value.value),
                                        _mm512_castsi512_si256(by.value.value), by.reciprocalLow);
    const __m256i high =
        remainderOfHalf(_mm512_extracti64x4_epi64(value.value, 1),
                        _mm512_extracti64x4_epi64(by.value.value, 1), by.reciprocalHigh);
    return {_mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1)};
}

inline void storeGenerators(std::uint64_t* states, const Generators& g) {
    _mm512_storeu_si512(states, g.low);
    _mm512_storeu_si512(states + 8, g.high);
}

// mixBits on eight lanes.
inline __m512i mixedHalf(__m512i z) {
    z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 30)),
                           _mm512_set1_epi64(std::int64_t(kMixMultiplier1)));
    z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 27)),
                           _mm512_set1_epi64(std::int64_t(kMixMultiplier2)));
    return _mm512_xor_si512(z, _mm512_srli_epi64(z, 31));
}

inline Generators mixedGenerators(const Generators& g) {
    return {mixedHalf(g.low), mixedHalf(g.high)};
}

// RandomGenerator::next on eight lanes: the states advanced where `active`, and the top 31
// bits of their mixed values.
inline __m256i drawHalf(__m512i& state, __mmask8 active) {
    state =
        _mm512_mask_add_epi64(state, active, state, _mm512_set1_epi64(std::int64_t(kGoldenGamma)));
    return _mm512_cvtepi64_epi32(_mm512_srli_epi64(mixedHalf(state), 33));
}

inline Ints draw(Generators& g, Mask active) {
    const __m256i low = drawHalf(g.low, __mmask8(active.value));
    const __m256i high = drawHalf(g.high, __mmask8(active.value >> 8u));
    return {_mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1)};
}

}  // namespace avx512
}  // namespace lucentor
