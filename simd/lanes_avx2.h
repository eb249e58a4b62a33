#pragma once

// Eight lanes in ymm registers, lane sets as all-ones or all-zero lanes (see simd/lanes.h for
// what every lane type offers). Every operation is the IEEE operation of the scalar lane type,
// lane by lane. Included only inside the AVX2 kernels' target region (engine/kernel_avx2.cpp),
// after simd/intrinsics.h and the baseline headers it uses.

#include "simd/lanes.h"  // declarations only: no code to be built for the region

namespace lucentor {

namespace avx2 {
struct Lanes {
    static constexpr int kWidth = 8;
};
}  // namespace avx2

template <>
struct Floats<avx2::Lanes> {
    __m256 value;

    // Left unset like a float: `Floats{}` is zero. The ray trees' stacks are made once per
    // tile, not per sample.
    Floats() = default;
    Floats(__m256 v) : value(v) {}                 // NOLINT(google-explicit-constructor)
    Floats(float v) : value(_mm256_set1_ps(v)) {}  // NOLINT(google-explicit-constructor)

    static Floats load(const float* p) { return _mm256_loadu_ps(p); }
};

template <>
struct Mask<avx2::Lanes> {
    __m256i value;

    Mask() = default;              // unset; `Mask{}` is the empty set
    Mask(__m256i v) : value(v) {}  // NOLINT(google-explicit-constructor)

    static Mask ofBits(std::uint32_t bits) {
        const __m256i laneBits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
        const __m256i set = _mm256_and_si256(_mm256_set1_epi32(std::int32_t(bits)), laneBits);
        return {_mm256_cmpeq_epi32(set, laneBits)};
    }
};

template <>
struct Ints<avx2::Lanes> {
    __m256i value;

    static Ints broadcast(std::int32_t v) { return {_mm256_set1_epi32(v)}; }
    static Ints load(const std::int32_t* p) {
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))};
    }
};

// Divisors for remainderOf, with their reciprocals in double, worked out once for many
// remainders: lanes 0 to 3 in the low halves, 4 to 7 in the high ones.
template <>
struct Divisors<avx2::Lanes> {
    Ints<avx2::Lanes> value;
    __m256d reciprocalLow;
    __m256d reciprocalHigh;
};

// Each lane's SplitMix64 state, lanes 0 to 3 in `low`, 4 to 7 in `high`.
template <>
struct Generators<avx2::Lanes> {
    __m256i low;
    __m256i high;

    static Generators load(const std::uint64_t* states) {
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(states)),
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(states + 4))};
    }
};

namespace avx2 {

using Floats = lucentor::Floats<Lanes>;
using Mask = lucentor::Mask<Lanes>;
using Ints = lucentor::Ints<Lanes>;
using Divisors = lucentor::Divisors<Lanes>;
using Generators = lucentor::Generators<Lanes>;

inline Floats operator+(Floats a, Floats b) { return _mm256_add_ps(a.value, b.value); }
inline Floats operator-(Floats a, Floats b) { return _mm256_sub_ps(a.value, b.value); }
inline Floats operator*(Floats a, Floats b) { return _mm256_mul_ps(a.value, b.value); }
inline Floats operator/(Floats a, Floats b) { return _mm256_div_ps(a.value, b.value); }
inline Floats operator-(Floats a) {
    return _mm256_castsi256_ps(
        _mm256_xor_si256(_mm256_castps_si256(a.value), _mm256_set1_epi32(INT_MIN)));
}

inline Mask compared(__m256 result) { return {_mm256_castps_si256(result)}; }

// Ordered comparisons: false where either side is NaN, as in C++.
inline Mask operator<(Floats a, Floats b) {
    return compared(_mm256_cmp_ps(a.value, b.value, _CMP_LT_OQ));
}
inline Mask operator>(Floats a, Floats b) {
    return compared(_mm256_cmp_ps(a.value, b.value, _CMP_GT_OQ));
}
inline Mask operator>=(Floats a, Floats b) {
    return compared(_mm256_cmp_ps(a.value, b.value, _CMP_GE_OQ));
}
inline Mask operator==(Floats a, Floats b) {
    return compared(_mm256_cmp_ps(a.value, b.value, _CMP_EQ_OQ));
}

inline Mask operator&(Mask a, Mask b) { return {_mm256_and_si256(a.value, b.value)}; }
inline Mask operator|(Mask a, Mask b) { return {_mm256_or_si256(a.value, b.value)}; }
inline Mask operator!(Mask a) { return {_mm256_xor_si256(a.value, _mm256_set1_epi32(-1))}; }
inline bool any(Mask a) { return _mm256_testz_si256(a.value, a.value) == 0; }
inline std::uint32_t bitsOf(Mask a) {
    return std::uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(a.value)));
}

inline Floats select(Mask m, Floats ifSet, Floats otherwise) {
    return _mm256_blendv_ps(otherwise.value, ifSet.value, _mm256_castsi256_ps(m.value));
}

inline Floats sqrt(Floats a) { return _mm256_sqrt_ps(a.value); }
// a < b ? a : b and a > b ? a : b: the second operand on NaN and on equal values.
inline Floats min(Floats a, Floats b) { return _mm256_min_ps(a.value, b.value); }
inline Floats max(Floats a, Floats b) { return _mm256_max_ps(a.value, b.value); }
// The lanes whose bits are the same, where == would tell -0 from +0 apart from NaN.
inline Mask sameBits(Floats a, Floats b) {
    return {_mm256_cmpeq_epi32(_mm256_castps_si256(a.value), _mm256_castps_si256(b.value))};
}
inline Floats abs(Floats a) {
    return _mm256_castsi256_ps(
        _mm256_and_si256(_mm256_castps_si256(a.value), _mm256_set1_epi32(INT_MAX)));
}

inline void store(float* p, Floats a) { _mm256_storeu_ps(p, a.value); }

inline Ints operator+(Ints a, Ints b) { return {_mm256_add_epi32(a.value, b.value)}; }
inline Ints operator-(Ints a, Ints b) { return {_mm256_sub_epi32(a.value, b.value)}; }
inline Ints operator^(Ints a, Ints b) { return {_mm256_xor_si256(a.value, b.value)}; }
inline Ints operator&(Ints a, Ints b) { return {_mm256_and_si256(a.value, b.value)}; }
inline void storeInts(std::int32_t* p, Ints a) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), a.value);
}
inline Mask operator==(Ints a, Ints b) { return {_mm256_cmpeq_epi32(a.value, b.value)}; }
inline Ints select(Mask m, Ints ifSet, Ints otherwise) {
    return {_mm256_blendv_epi8(otherwise.value, ifSet.value, m.value)};
}
inline Floats toFloats(Ints a) { return _mm256_cvtepi32_ps(a.value); }
inline Floats gather(const float* base, Ints index) {
    return _mm256_i32gather_ps(base, index.value, 4);
}
inline Floats lookup(const float* row, Ints index) {
    return _mm256_permutevar8x32_ps(_mm256_loadu_ps(row), index.value);
}
// Out of range and NaN give INT_MIN, the scalar lane type's rule.
inline Ints truncated(Floats a) { return {_mm256_cvttps_epi32(a.value)}; }

inline __m256d reciprocalsOf(__m128i divisor) {
    return _mm256_div_pd(_mm256_set1_pd(1.0), _mm256_cvtepi32_pd(divisor));
}

inline Divisors divisorsOf(Ints divisor) {
    return {divisor, reciprocalsOf(_mm256_castsi256_si128(divisor.value)),
            reciprocalsOf(_mm256_extracti128_si256(divisor.value, 1))};
}

// value mod divisor for 0 <= value < 2^31 and 0 < divisor < 2^31, four lanes in double. The
// quotient value * (1 / divisor) is within 2^-21 of the true one, so its floor is off by at
// most one, which one correction each way mends; every product and difference is exact.
inline __m128i remainderOfQuarter(__m128i value, __m128i divisor, __m256d reciprocal) {
    const __m256d a = _mm256_cvtepi32_pd(value);
    const __m256d n = _mm256_cvtepi32_pd(divisor);
    const __m256d q =
        _mm256_round_pd(_mm256_mul_pd(a, reciprocal), _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    __m256d r = _mm256_sub_pd(a, _mm256_mul_pd(q, n));
    r = _mm256_blendv_pd(r, _mm256_add_pd(r, n), _mm256_cmp_pd(r, _mm256_setzero_pd(), _CMP_LT_OQ));
    r = _mm256_blendv_pd(r, _mm256_sub_pd(r, n), _mm256_cmp_pd(r, n, _CMP_GE_OQ));
    return _mm256_cvttpd_epi32(r);
}

inline Ints remainderOf(Ints value, const Divisors& by) {
    const __m128i low =
        remainderOfQuarter(_mm256_castsi256_si128(value.value),
                           _mm256_castsi256_si128(by.value.value), by.reciprocalLow);
    const __m128i high =
        remainderOfQuarter(_mm256_extracti128_si256(value.value, 1),
                           _mm256_extracti128_si256(by.value.value, 1), by.reciprocalHigh);
    return {_mm256_set_m128i(high, low)};
}

inline void storeGenerators(std::uint64_t* states, const Generators& g) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(states), g.low);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(states + 4), g.high);
}

// The low 64 bits of a * b in each lane, from 32-bit multiplies: AVX2 has no 64-bit one.
inline __m256i multiplyLow64(__m256i a, std::uint64_t b) {
    const __m256i bLanes = _mm256_set1_epi64x(std::int64_t(b));
    const __m256i low = _mm256_mul_epu32(a, bLanes);
    const __m256i cross = _mm256_add_epi64(_mm256_mul_epu32(_mm256_srli_epi64(a, 32), bLanes),
                                           _mm256_mul_epu32(a, _mm256_srli_epi64(bLanes, 32)));
    return _mm256_add_epi64(low, _mm256_slli_epi64(cross, 32));
}

// mixBits on four lanes.
inline __m256i mixedQuarter(__m256i z) {
    z = multiplyLow64(_mm256_xor_si256(z, _mm256_srli_epi64(z, 30)), kMixMultiplier1);
    z = multiplyLow64(_mm256_xor_si256(z, _mm256_srli_epi64(z, 27)), kMixMultiplier2);
    return _mm256_xor_si256(z, _mm256_srli_epi64(z, 31));
}

inline Generators mixedGenerators(const Generators& g) {
    return {mixedQuarter(g.low), mixedQuarter(g.high)};
}

// RandomGenerator::next on four lanes: the states advanced where `active` (all-ones 64-bit
// lanes), and the top 31 bits of their mixed values in the low 32 bits of each lane.
inline __m256i drawQuarter(__m256i& state, __m256i active) {
    const __m256i gamma = _mm256_set1_epi64x(std::int64_t(kGoldenGamma));
    state = _mm256_add_epi64(state, _mm256_and_si256(gamma, active));
    return _mm256_srli_epi64(mixedQuarter(state), 33);
}

inline Ints draw(Generators& g, Mask active) {
    const __m256i lowActive = _mm256_cvtepi32_epi64(_mm256_castsi256_si128(active.value));
    const __m256i highActive = _mm256_cvtepi32_epi64(_mm256_extracti128_si256(active.value, 1));
    const __m256i evens = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    const __m256i low = _mm256_permutevar8x32_epi32(drawQuarter(g.low, lowActive), evens);
    const __m256i high = _mm256_permutevar8x32_epi32(drawQuarter(g.high, highActive), evens);
    return {_mm256_set_m128i(_mm256_castsi256_si128(high), _mm256_castsi256_si128(low))};
}

}  // namespace avx2
}  // namespace lucentor
