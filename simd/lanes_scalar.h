#pragma once

// Width 1: one ray at a time, the readable reference that the wider lane types match bit for
// bit (see simd/lanes.h for what every lane type offers). Baseline code: any translation unit
// may include it.

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>

#include "shading/random.h"
#include "simd/lanes.h"

namespace lucentor {

namespace scalar {
struct Lanes {
    static constexpr int kWidth = 1;
};
}  // namespace scalar

template <>
struct Floats<scalar::Lanes> {
    float value;

    Floats() = default;  // unset, as the wide lanes; `Floats{}` is zero
    // A constant broadcasts to every lane, so that lane code reads like the scalar maths.
    constexpr Floats(float v) : value(v) {}  // NOLINT(google-explicit-constructor)

    static Floats load(const float* p) { return *p; }
};

template <>
struct Mask<scalar::Lanes> {
    bool value;  // unset unless `Mask{}`

    static Mask ofBits(std::uint32_t bits) { return {(bits & 1u) != 0}; }
};

template <>
struct Ints<scalar::Lanes> {
    std::int32_t value;

    static Ints broadcast(std::int32_t v) { return {v}; }
    static Ints load(const std::int32_t* p) { return {*p}; }
};

// Divisors for remainderOf, worked out once for many remainders (nothing to work out here).
template <>
struct Divisors<scalar::Lanes> {
    Ints<scalar::Lanes> value;
};

// Each lane's generator state; only the lanes of `active` draw.
template <>
struct Generators<scalar::Lanes> {
    std::uint64_t state;

    static Generators load(const std::uint64_t* states) { return {*states}; }
};

namespace scalar {

using Floats = lucentor::Floats<Lanes>;
using Mask = lucentor::Mask<Lanes>;
using Ints = lucentor::Ints<Lanes>;
using Divisors = lucentor::Divisors<Lanes>;
using Generators = lucentor::Generators<Lanes>;

inline Floats operator+(Floats a, Floats b) { return a.value + b.value; }
inline Floats operator-(Floats a, Floats b) { return a.value - b.value; }
inline Floats operator*(Floats a, Floats b) { return a.value * b.value; }
inline Floats operator/(Floats a, Floats b) { return a.value / b.value; }
inline Floats operator-(Floats a) { return -a.value; }

inline Mask operator<(Floats a, Floats b) { return {a.value < b.value}; }
inline Mask operator>(Floats a, Floats b) { return {a.value > b.value}; }
inline Mask operator>=(Floats a, Floats b) { return {a.value >= b.value}; }
inline Mask operator==(Floats a, Floats b) { return {a.value == b.value}; }

inline Mask operator&(Mask a, Mask b) { return {a.value && b.value}; }
inline Mask operator|(Mask a, Mask b) { return {a.value || b.value}; }
inline Mask operator!(Mask a) { return {!a.value}; }
inline bool any(Mask a) { return a.value; }
inline std::uint32_t bitsOf(Mask a) { return a.value ? 1u : 0u; }

inline Floats select(Mask m, Floats ifSet, Floats otherwise) { return m.value ? ifSet : otherwise; }

// Taken in double and narrowed, as everywhere in the renderer; for every float this equals
// the single-precision root that the wider lanes take.
inline Floats sqrt(Floats a) { return float(std::sqrt(double(a.value))); }
inline Floats abs(Floats a) { return std::fabs(a.value); }
inline Floats min(Floats a, Floats b) { return a.value < b.value ? a : b; }
inline Floats max(Floats a, Floats b) { return a.value > b.value ? a : b; }
inline Mask sameBits(Floats a, Floats b) {
    return {std::bit_cast<std::uint32_t>(a.value) == std::bit_cast<std::uint32_t>(b.value)};
}

inline void store(float* p, Floats a) { *p = a.value; }

inline Ints operator+(Ints a, Ints b) { return {a.value + b.value}; }
inline Ints operator-(Ints a, Ints b) { return {a.value - b.value}; }
inline Ints operator^(Ints a, Ints b) { return {a.value ^ b.value}; }
inline Ints operator&(Ints a, Ints b) { return {a.value & b.value}; }
inline void storeInts(std::int32_t* p, Ints a) { *p = a.value; }
inline Mask operator==(Ints a, Ints b) { return {a.value == b.value}; }
inline Ints select(Mask m, Ints ifSet, Ints otherwise) { return m.value ? ifSet : otherwise; }
inline Floats toFloats(Ints a) { return float(a.value); }
inline Floats gather(const float* base, Ints index) { return base[index.value]; }
inline Floats lookup(const float* row, Ints index) { return row[index.value]; }

// Truncation toward zero; a value out of int's range (NaN included) gives INT_MIN, as the
// vector instructions do, where C++'s conversion would be undefined.
inline Ints truncated(Floats a) {
    constexpr float kTwo31 = 2147483648.0f;
    if (!(a.value >= -kTwo31 && a.value < kTwo31)) return {INT_MIN};
    return {std::int32_t(a.value)};
}

inline Divisors divisorsOf(Ints divisor) { return {divisor}; }

// value mod divisor for 0 <= value and 0 < divisor.
inline Ints remainderOf(Ints value, const Divisors& by) { return {value.value % by.value.value}; }

inline void storeGenerators(std::uint64_t* states, const Generators& g) { *states = g.state; }

inline Generators mixedGenerators(const Generators& g) { return {mixBits(g.state)}; }

inline Ints draw(Generators& g, Mask active) {
    if (!active.value) return {0};
    RandomGenerator generator{g.state};
    const int value = generator.next();
    g.state = generator.state;
    return {value};
}

}  // namespace scalar
}  // namespace lucentor
