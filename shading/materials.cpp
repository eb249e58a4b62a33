#include "shading/materials.h"

#include <cmath>

namespace lucentor {
namespace {

// The lowest bit of value truncated toward zero, for any float. Beyond 2^24 every float is an
// even whole number, so the bit is 0 there; testing that first keeps the conversion to int
// in range for every input, NaN and the infinities included (they give 0 as well).
int truncatedParity(float value) {
    constexpr float kLargestOddCandidate = 16777216.0f;  // 2^24
    if (!(std::fabs(value) < kLargestOddCandidate)) return 0;
    return int(value) & 1;
}

}  // namespace

bool isCheckerboard(const Vec3& color) { return color.x + color.y + color.z == 0.0f; }

Vec3 checkerColor(const Vec3& point) {
    // The lowest bit of a XOR b is the XOR of their lowest bits.
    const int odd =
        truncatedParity(point.x + kCheckerOffset) ^ truncatedParity(point.z + kCheckerOffset);
    return odd != 0 ? kOddCellColor : kEvenCellColor;
}

Surface sphereSurface(const Sphere& sphere, const Vec3& point) {
    return {point, (point - sphere.center) * (1.0f / sphere.radius), sphere.color, sphere.material};
}

Surface planeSurface(const Plane& plane, const Vec3& point) {
    const Vec3 color = isCheckerboard(plane.color) ? checkerColor(point) : plane.color;
    return {point, plane.normal, color, plane.material};
}

Surface surfaceOf(const HitRecord& hit, const Scene& scene, const Vec3& point) {
    const int index = int(hit.index);
    if (int(hit.kind) == int(HitKind::Sphere)) {
        return sphereSurface(*scene.leaves[index]->sphere, point);
    }
    return planeSurface(*scene.planes[index], point);
}

Vec3 refractedDirection(const Vec3& direction, const Vec3& normal, float index) {
    float cosI = dot(direction, normal);
    Vec3 facing = normal;
    float eta = 1.0f / index;
    if (cosI < 0.0f) {
        // Entering: the ray arrives on the side the normal points to.
        cosI = -cosI;
    } else {
        facing = -normal;
        eta = index / 1.0f;
    }
    const float g = 1.0f - (1.0f - cosI * cosI) * (eta * eta);
    if (!(g > 0.0f)) return {};  // total internal reflection
    return direction * eta + facing * (eta * cosI - squareRoot(g));
}

Vec3 reflectedDirection(const Vec3& direction, const Vec3& normal) {
    return direction - normal * (2.0f * dot(direction, normal));
}

float fresnelReflectance(const Vec3& direction, const Vec3& turnedNormal, float index) {
    float cosF = dot(direction, turnedNormal);
    float etaI = index;
    float etaT = 1.0f;
    if (cosF > 0.0f) {
        cosF = -cosF;
        etaI = 1.0f;
        etaT = index;
    }
    // A ray hit almost head-on can give |cosF| just above 1 by rounding; its sine is then 0,
    // where the root of a negative number would poison the pixel with NaN for good.
    const float sinI = squareRootOfRounded(1.0f - cosF * cosF);
    const float sinT = sinI * (etaI / etaT);
    if (sinT >= 1.0f) return 1.0f;
    const float cosT = squareRoot(1.0f - sinT * sinT);
    const float c0 = std::fabs(cosF);
    const float r1 = (etaT * c0 - etaI * cosT) / (etaI * cosT + etaT * c0);
    const float r2 = (etaI * c0 - etaT * cosT) / (etaT * cosT + etaI * c0);
    return (r1 * r1 + r2 * r2) * 0.5f;
}

}  // namespace lucentor
