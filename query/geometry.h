#pragma once

#include <array>

#include "scene/bvh.h"
#include "scene/packed_tree.h"
#include "scene/records.h"
#include "simd/intrinsics.h"

namespace lucentor {

// The two geometric tests every ray query rests on. They sit in the hottest loops of the
// renderer, so they are defined here, inline.

// The stretch of a ray's line inside a box, as distances along the ray.
struct BoxSpan {
    float entry = 0.0f;
    float exit = 0.0f;
};

// The reciprocal of each direction component. A zero component gives an infinity on purpose:
// the slab comparisons then settle that axis without a special case.
constexpr Vec3 reciprocal(const Vec3& direction) {
    return {1.0f / direction.x, 1.0f / direction.y, 1.0f / direction.z};
}

// One axis of the slab test. The ternaries are the comparisons the queries are defined by:
// std::fmin/std::fmax would let a number win over NaN, where a NaN here must mean a miss.
constexpr BoxSpan axisSpan(float origin, float inverse, float boxMin, float boxMax) {
    const float t1 = (boxMin - origin) * inverse;
    const float t2 = (boxMax - origin) * inverse;
    return {t1 < t2 ? t1 : t2, t1 > t2 ? t1 : t2};
}

// Narrows the span found so far by one more axis.
constexpr BoxSpan narrowed(const BoxSpan& span, const BoxSpan& axis) {
    return {span.entry > axis.entry ? span.entry : axis.entry,
            axis.exit > span.exit ? span.exit : axis.exit};
}

// The slab test's span over the axes x, y, z in that order, with the direction's reciprocal
// computed once by the caller.
constexpr BoxSpan boxSpan(const Ray& ray, const Vec3& inverse, const Vec3& boxMin,
                          const Vec3& boxMax) {
    const BoxSpan x = axisSpan(ray.origin.x, inverse.x, boxMin.x, boxMax.x);
    const BoxSpan y = axisSpan(ray.origin.y, inverse.y, boxMin.y, boxMax.y);
    const BoxSpan z = axisSpan(ray.origin.z, inverse.z, boxMin.z, boxMax.z);
    return narrowed(narrowed(x, y), z);
}

constexpr BoxSpan nodeSpan(const Ray& ray, const Vec3& inverse, const BvhNode& node) {
    return boxSpan(ray, inverse, node.boxMin, node.boxMax);
}

// A box is hit when some of it lies ahead of the origin; a graze (exit == entry) counts, a
// NaN bound does not. The ray's t is not consulted.
constexpr bool spanHits(const BoxSpan& span) { return span.exit >= span.entry && span.exit > 0.0f; }

constexpr bool hitsBox(const Ray& ray, const Vec3& boxMin, const Vec3& boxMax) {
    return spanHits(boxSpan(ray, reciprocal(ray.direction), boxMin, boxMax));
}

// The slab spans of both children of a packed node, lane by lane the arithmetic of boxSpan:
// each SSE operation below is the scalar comparison it replaces. minps(a, b) gives
// a < b ? a : b and maxps(a, b) gives a > b ? a : b, the second operand on NaN, exactly as
// the ternaries do.
struct ChildSpans {
    BoxSpan left;
    BoxSpan right;
};

// One axis for both children: lanes (left entry, right entry, left exit, right exit).
inline __m128 packedAxisSpan(const std::array<float, 4>& slab, float origin, float inverse) {
    const __m128 t =
        _mm_mul_ps(_mm_sub_ps(_mm_load_ps(slab.data()), _mm_set1_ps(origin)), _mm_set1_ps(inverse));
    const __m128 swapped = _mm_shuffle_ps(t, t, _MM_SHUFFLE(1, 0, 3, 2));  // t2 lanes, t1 lanes
    return _mm_movelh_ps(_mm_min_ps(t, swapped), _mm_max_ps(t, swapped));
}

// narrowed() on both children: entries (lanes 0, 1) by max, exits (lanes 2, 3) by min.
inline __m128 packedNarrowed(__m128 span, __m128 axis) {
    return _mm_shuffle_ps(_mm_max_ps(span, axis), _mm_min_ps(span, axis), _MM_SHUFFLE(3, 2, 1, 0));
}

inline ChildSpans childSpans(const Ray& ray, const Vec3& inverse, const PackedNode& node) {
    const __m128 x = packedAxisSpan(node.slabs[0], ray.origin.x, inverse.x);
    const __m128 y = packedAxisSpan(node.slabs[1], ray.origin.y, inverse.y);
    const __m128 z = packedAxisSpan(node.slabs[2], ray.origin.z, inverse.z);
    alignas(16) std::array<float, 4> lanes{};
    _mm_store_ps(lanes.data(), packedNarrowed(packedNarrowed(x, y), z));
    return {{lanes[0], lanes[2]}, {lanes[1], lanes[3]}};
}

// How far along the ray a box is reached, for ordering children: the entry, or the exit when
// the origin is inside the box, or kFarDistance for a box that is missed.
constexpr float entryDistance(const BoxSpan& span) {
    if (!spanHits(span)) return kFarDistance;
    return span.entry >= 0.0f ? span.entry : span.exit;
}

// Where a line passes a sphere's centre: tca, the distance along the line to the point
// nearest the centre, and d2, the squared distance between that point and the centre. The
// direction must be unit length: d2 is not divided by its squared length.
struct ClosestApproach {
    float tca = 0.0f;
    float d2 = 0.0f;
};

constexpr ClosestApproach closestApproach(const Vec3& origin, const Vec3& direction,
                                          const Vec3& center) {
    const Vec3 toCenter = center - origin;
    const float tca = dot(toCenter, direction);
    const Vec3 offAxis = toCenter - direction * tca;
    return {tca, dot(offAxis, offAxis)};
}

// Accepts the sphere when its near intersection lies strictly between 0 and ray.t, and then
// lowers ray.t to it; otherwise leaves ray.t unchanged. Only the near intersection counts, so
// a ray starting inside or on a sphere never reports it.
inline bool hitSphere(Ray& ray, const Vec3& center, float radiusSquared) {
    const ClosestApproach line = closestApproach(ray.origin, ray.direction, center);
    if (line.tca < 0.0f || line.d2 > radiusSquared) return false;
    // d2 <= radiusSquared here, so the root's argument cannot be negative.
    const float t = line.tca - squareRoot(radiusSquared - line.d2);
    if (!(ray.t > t && t > 0.0f)) return false;
    ray.t = t;
    return true;
}

}  // namespace lucentor
