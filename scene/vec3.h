#pragma once

#include <cmath>

namespace lucentor {

// A point, a direction or a linear RGB colour (1.0 is full intensity; sums may exceed it).
// Every operation is component-wise in single precision and evaluates left to right, so
// results are bit-for-bit reproducible.
struct Vec3 {
    float x = 0.0f;  // red for a colour
    float y = 0.0f;  // green
    float z = 0.0f;  // blue

    // Exact float equality: -0 equals +0, and a NaN component equals nothing.
    constexpr bool operator==(const Vec3&) const = default;
};

constexpr Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

constexpr Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

constexpr Vec3 operator-(const Vec3& a) { return {-a.x, -a.y, -a.z}; }

// Scaling: the vector's component is the left operand, the factor the right one.
constexpr Vec3 operator*(const Vec3& v, float s) { return {v.x * s, v.y * s, v.z * s}; }

constexpr Vec3 operator*(float s, const Vec3& v) { return {s * v.x, s * v.y, s * v.z}; }

// Per-channel product, for colours.
constexpr Vec3 operator*(const Vec3& a, const Vec3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

constexpr float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Square roots are taken in double precision and narrowed, so that every platform rounds
// them alike.
inline float squareRoot(float x) { return float(std::sqrt(double(x))); }

// For an argument that exact arithmetic keeps at or above 0 but rounding can push just below:
// such a value is taken as 0 instead of giving NaN. NaN itself still gives NaN.
inline float squareRootOfRounded(float x) { return squareRoot(x < 0.0f ? 0.0f : x); }

inline float length(const Vec3& v) { return squareRoot(dot(v, v)); }

}  // namespace lucentor
