#pragma once

// The vector maths written once over a lane type (simd/lanes.h): points, directions and colours
// across the lanes, and the records of one ray per lane. Templates only: included in baseline
// code for width 1 and inside a kernel's target region for the wider widths, each width is
// instantiated where its lane type is, so nothing here may be a plain inline function.

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "scene/scene.h"
#include "simd/lanes.h"

namespace lucentor {

// A value of every lane, where the lane type cannot be deduced from an argument.
template <class L>
inline Floats<L> load(const float* p) {
    return Floats<L>::load(p);
}

template <class L>
inline Ints<L> intsOf(std::int32_t v) {
    return Ints<L>::broadcast(v);
}

template <class L>
inline Ints<L> loadInts(const std::int32_t* p) {
    return Ints<L>::load(p);
}

template <class L>
inline Mask<L> maskOf(std::uint32_t bits) {
    return Mask<L>::ofBits(bits);
}

template <class L>
inline Generators<L> generatorsOf(const std::uint64_t* states) {
    return Generators<L>::load(states);
}

// Floats<L> in a parameter whose lane type another argument fixes, so that a float converts.
template <class L>
using FloatsOf = std::type_identity_t<Floats<L>>;

// A Vec3 in every lane: points, directions and colours, component by component.
template <class L>
struct Vec3Lanes {
    Floats<L> x;
    Floats<L> y;
    Floats<L> z;
};

template <class L>
inline Vec3Lanes<L> lanesOf(const Vec3& v) {
    return {v.x, v.y, v.z};
}

template <class L>
inline Vec3Lanes<L> operator+(const Vec3Lanes<L>& a, const Vec3Lanes<L>& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
template <class L>
inline Vec3Lanes<L> operator-(const Vec3Lanes<L>& a, const Vec3Lanes<L>& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <class L>
inline Vec3Lanes<L> operator-(const Vec3Lanes<L>& a) {
    return {-a.x, -a.y, -a.z};
}
template <class L>
inline Vec3Lanes<L> operator*(const Vec3Lanes<L>& v, FloatsOf<L> s) {
    return {v.x * s, v.y * s, v.z * s};
}
template <class L>
inline Vec3Lanes<L> operator*(FloatsOf<L> s, const Vec3Lanes<L>& v) {
    return {s * v.x, s * v.y, s * v.z};
}
template <class L>
inline Vec3Lanes<L> operator*(const Vec3Lanes<L>& a, const Vec3Lanes<L>& b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

template <class L>
inline Floats<L> dot(const Vec3Lanes<L>& a, const Vec3Lanes<L>& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// a × b, each component's two products subtracted in this order.
template <class L>
inline Vec3Lanes<L> cross(const Vec3Lanes<L>& a, const Vec3Lanes<L>& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

template <class L>
inline Floats<L> length(const Vec3Lanes<L>& v) {
    return sqrt(dot(v, v));
}

template <class L>
inline Vec3Lanes<L> select(Mask<L> m, const Vec3Lanes<L>& ifSet, const Vec3Lanes<L>& otherwise) {
    return {select(m, ifSet.x, otherwise.x), select(m, ifSet.y, otherwise.y),
            select(m, ifSet.z, otherwise.z)};
}

// For an argument that exact arithmetic keeps at or above 0 but rounding can push just below:
// such a value is taken as 0 instead of giving NaN. NaN itself still gives NaN.
template <class L>
inline Floats<L> sqrtOfRounded(Floats<L> a) {
    return sqrt(select(a < 0.0f, Floats<L>(0.0f), a));
}

template <class L>
inline Mask<L> lanesBelow(int count) {
    return maskOf<L>(count >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << count) - 1);
}

template <class L>
inline bool isSet(Mask<L> m, int lane) {
    return (bitsOf(m) >> lane & 1u) != 0;
}

// One ray per lane.
template <class L>
struct RayLanes {
    Vec3Lanes<L> origin;
    Vec3Lanes<L> direction;
    Floats<L> t;
};

// What each lane's ray met nearest: a HitKind and the object's slot, as in HitRecord.
template <class L>
struct HitLanes {
    Ints<L> kind;
    Ints<L> index;
};

// The lanes' values as arrays, for the steps that go lane by lane (gathers, scatters, exp).
template <class L>
struct FloatArray {
    alignas(64) std::array<float, L::kWidth> values{};
};

template <class L>
inline FloatArray<L> arrayOf(Floats<L> a) {
    FloatArray<L> out;
    store(out.values.data(), a);
    return out;
}

}  // namespace lucentor
