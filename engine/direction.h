#pragma once

#include <cmath>

#include "scene/vec3.h"

namespace lucentor {

// A vector in double precision, for the camera's set-up and its controls: worked out in
// double and narrowed once, so that only the stored values round.
struct Direction {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline Direction directionOf(const Vec3& v) { return {double(v.x), double(v.y), double(v.z)}; }
inline Vec3 narrowed(const Direction& a) { return {float(a.x), float(a.y), float(a.z)}; }
inline Direction plus(const Direction& a, const Direction& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Direction minus(const Direction& a, const Direction& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Direction scaled(const Direction& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(const Direction& a, const Direction& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double lengthOf(const Direction& a) { return std::sqrt(dot(a, a)); }
inline Direction unit(const Direction& a) { return scaled(a, 1.0 / lengthOf(a)); }
// The distance of two points, worked out in double: coordinates up to the float limit square
// without overflow.
inline double distanceOf(const Vec3& a, const Vec3& b) {
    return lengthOf(minus(directionOf(a), directionOf(b)));
}
inline Direction cross(const Direction& a, const Direction& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

}  // namespace lucentor
