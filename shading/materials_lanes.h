#pragma once

// The surfaces and their materials, written once over the lane type (simd/lane_math.h): each
// function is the scalar formula lane by lane, in the same order of operations. The one-ray
// forms (shading/materials.h) are its width-1 instances. Templates only.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "query/triangle_lanes.h"
#include "scene/scene.h"
#include "scene/texture_lookup.h"
#include "shading/materials.h"
#include "simd/lane_math.h"

namespace lucentor {

// What a hit looks like to the shading, lane by lane.
template <class L>
struct SurfaceLanes {
    Vec3Lanes<L> point;
    Vec3Lanes<L> normal;  // outward for spheres; a plane's stored normal, never turned to the ray
    Vec3Lanes<L> color;
    Floats<L> material;
    Mask<L> twoSided;  // planes under the geometric rule and triangles, met from either side
    // The normal of the surface's plane, along which child rays leave a two-sided surface:
    // `normal` but on triangles, whose shading normal is interpolated.
    Vec3Lanes<L> geometric;
    // Shadow rays start a little against this: `normal` on spheres and planes, the geometric
    // normal turned along the arriving ray on triangles, so that they start on the side the
    // ray arrived from, whatever the shading normal.
    Vec3Lanes<L> below;
    Mask<L> emissive;       // triangles that emit: the direct integrator draws their emission
    Vec3Lanes<L> emission;  // the emitted radiance of those lanes, (0, 0, 0) elsewhere
};

// The lowest bit of value truncated toward zero, for any float. Beyond 2^24 every float is an
// even whole number, so the bit is 0 there, as it is for NaN and the infinities.
template <class L>
inline Ints<L> truncatedParity(Floats<L> value) {
    constexpr float kLargestOddCandidate = 16777216.0f;  // 2^24
    const Mask<L> small = abs(value) < kLargestOddCandidate;
    return select(small, truncated(value) & intsOf<L>(1), intsOf<L>(0));
}

// A checkerboard's colours and the inverse of its square size, lane by lane.
template <class L>
struct CheckerLanes {
    Vec3Lanes<L> first;
    Vec3Lanes<L> second;
    Floats<L> inverseSize;  // 1 / size: a product per point instead of a division
};

template <class L>
inline CheckerLanes<L> checkersOf(const Checker& checker) {
    return {lanesOf<L>(checker.first), lanesOf<L>(checker.second), 1.0f / checker.size};
}

// The checkerboard colour at each point: squares of each lane's size, aligned on its
// multiples of x and z. The inverse of a size of 1 is 1, and the product exact, so the
// presets' squares are the ones measured in plain units.
template <class L>
inline Vec3Lanes<L> checkerColors(const Vec3Lanes<L>& point, const CheckerLanes<L>& checker) {
    // The lowest bit of a XOR b is the XOR of their lowest bits.
    const Ints<L> odd = truncatedParity(point.x * checker.inverseSize + kCheckerOffset) ^
                        truncatedParity(point.z * checker.inverseSize + kCheckerOffset);
    return select(odd == intsOf<L>(0), checker.first, checker.second);
}

// The checkerboards of the plane lanes in `checkers` (not 0), fetched from the scene by slot;
// the other lanes get one of them, which they never show. Mostly every lane met the same
// floor: its board then serves all lanes without a gather.
template <class L>
inline CheckerLanes<L> checkersOf(const Scene& scene,
                                  const std::array<std::int32_t, L::kWidth>& slots,
                                  std::uint32_t checkers) {
    const auto firstLane = std::size_t(std::countr_zero(checkers));
    const Checker& first = scene.planes[std::size_t(slots[firstLane])]->checker;
    bool oneBoard = true;
    for (int k = 0; k < L::kWidth; ++k) {
        oneBoard =
            oneBoard && (((checkers >> k) & 1u) == 0 || slots[std::size_t(k)] == slots[firstLane]);
    }
    if (oneBoard) return checkersOf<L>(first);
    std::array<FloatArray<L>, 7> values;
    for (int k = 0; k < L::kWidth; ++k) {
        const auto lane = std::size_t(k);
        const Checker& checker =
            ((checkers >> k) & 1u) != 0 ? scene.planes[std::size_t(slots[lane])]->checker : first;
        const std::array<float, 7> fields = {checker.first.x,    checker.first.y,  checker.first.z,
                                             checker.second.x,   checker.second.y, checker.second.z,
                                             1.0f / checker.size};
        for (std::size_t i = 0; i < fields.size(); ++i) values[i].values[lane] = fields[i];
    }
    const auto lanes = [&values](std::size_t i) { return load<L>(values[i].values.data()); };
    return {{lanes(0), lanes(1), lanes(2)}, {lanes(3), lanes(4), lanes(5)}, lanes(6)};
}

// The mirror image of `direction` about `normal`.
template <class L>
inline Vec3Lanes<L> reflectedDirections(const Vec3Lanes<L>& direction, const Vec3Lanes<L>& normal) {
    return direction - normal * (2.0f * dot(direction, normal));
}

// The refracted direction through a surface of refractive index `index` (either side), not
// normalised; (0, 0, 0) at total internal reflection.
template <class L>
inline Vec3Lanes<L> refractedDirections(const Vec3Lanes<L>& direction, const Vec3Lanes<L>& normal,
                                        FloatsOf<L> index) {
    const Floats<L> cosNormal = dot(direction, normal);
    // Entering: the ray arrives on the side the normal points to.
    const Mask<L> entering = cosNormal < 0.0f;
    const Floats<L> cosI = select(entering, -cosNormal, cosNormal);
    const Vec3Lanes<L> facing = select(entering, normal, -normal);
    const Floats<L> eta = select(entering, 1.0f / index, index / 1.0f);
    const Floats<L> g = 1.0f - (1.0f - cosI * cosI) * (eta * eta);
    const Vec3Lanes<L> bent = direction * eta + facing * (eta * cosI - sqrt(g));
    return select(g > 0.0f, bent, Vec3Lanes<L>{});
}

// Fresnel's share of reflected light for rays meeting a surface of refractive index `index`
// whose normal has been turned along the ray (direction . normal >= 0).
template <class L>
inline Floats<L> fresnelReflectances(const Vec3Lanes<L>& direction,
                                     const Vec3Lanes<L>& turnedNormal, FloatsOf<L> index) {
    const Floats<L> cosTurned = dot(direction, turnedNormal);
    const Mask<L> leaving = cosTurned > 0.0f;
    const Floats<L> cosF = select(leaving, -cosTurned, cosTurned);
    const Floats<L> etaI = select(leaving, 1.0f, index);
    const Floats<L> etaT = select(leaving, index, 1.0f);
    // A ray hit almost head-on can give |cosF| just above 1 by rounding; its sine is then 0,
    // where the root of a negative number would poison the pixel with NaN for good.
    const Floats<L> sinI = sqrtOfRounded(1.0f - cosF * cosF);
    const Floats<L> sinT = sinI * (etaI / etaT);
    const Floats<L> cosT = sqrt(1.0f - sinT * sinT);
    const Floats<L> c0 = abs(cosF);
    const Floats<L> r1 = (etaT * c0 - etaI * cosT) / (etaI * cosT + etaT * c0);
    const Floats<L> r2 = (etaI * c0 - etaT * cosT) / (etaT * cosT + etaI * c0);
    return select(sinT >= 1.0f, 1.0f, (r1 * r1 + r2 * r2) * 0.5f);
}

// The triangles of the lanes of `triangles` as gathered from the scene, lane by lane.
template <class L>
struct TriangleLanes {
    std::array<Vec3Lanes<L>, 3> corners;
    std::array<Vec3Lanes<L>, 3> normals;  // where `smooth`
    std::array<Floats<L>, 3> u;
    std::array<Floats<L>, 3> v;
    Mask<L> smooth;
    Vec3Lanes<L> color;
    Floats<L> material;
    Vec3Lanes<L> emission;
    std::array<const Texture*, L::kWidth> textures{};
};

template <class L>
inline TriangleLanes<L> gatherTriangles(const Scene& scene,
                                        const std::array<std::int32_t, L::kWidth>& slots,
                                        std::uint32_t triangles) {
    // Per lane: corners and normals (9 each), uvs (6), colour, material, emission (7).
    constexpr std::size_t kFields = 31;
    std::array<FloatArray<L>, kFields> values;
    TriangleLanes<L> out;
    std::uint32_t smooth = 0;
    for (std::uint32_t bits = triangles; bits != 0; bits &= bits - 1) {
        const int k = __builtin_ctz(bits);
        const auto lane = std::size_t(k);
        const TriangleShading t = scene.triangleShading(std::size_t(slots[lane]));
        if (t.smooth) smooth |= std::uint32_t{1} << k;
        out.textures[lane] = t.texture;
        std::size_t f = 0;
        const auto put = [&](const Vec3& a) {
            values[f++].values[lane] = a.x;
            values[f++].values[lane] = a.y;
            values[f++].values[lane] = a.z;
        };
        for (const Vec3& corner : t.corners) put(corner);
        for (const Vec3& normal : t.normals) put(normal);
        for (const TexCoord& uv : t.uvs) {
            values[f++].values[lane] = uv.u;
            values[f++].values[lane] = uv.v;
        }
        put(t.material->color);
        values[f++].values[lane] = t.material->material;
        put(t.material->emission);
    }
    const auto at = [&values](std::size_t i) { return load<L>(values[i].values.data()); };
    const auto vec = [&at](std::size_t i) { return Vec3Lanes<L>{at(i), at(i + 1), at(i + 2)}; };
    for (std::size_t v = 0; v < 3; ++v) {
        out.corners[v] = vec(3 * v);
        out.normals[v] = vec(9 + 3 * v);
        out.u[v] = at(18 + 2 * v);
        out.v[v] = at(19 + 2 * v);
    }
    out.smooth = maskOf<L>(smooth);
    out.color = vec(24);
    out.material = at(27);
    out.emission = vec(28);
    return out;
}

// The weights of a triangle's corners at a point of its plane, from the projections of the
// point and the edges from corner 0 on those edges.
template <class L>
struct Weights {
    Floats<L> b0;
    Floats<L> b1;
    Floats<L> b2;
};

template <class L>
inline Weights<L> weightsAt(const std::array<Vec3Lanes<L>, 3>& corners, const Vec3Lanes<L>& point) {
    const Vec3Lanes<L> e1 = corners[1] - corners[0];
    const Vec3Lanes<L> e2 = corners[2] - corners[0];
    const Vec3Lanes<L> p = point - corners[0];
    const Floats<L> d11 = dot(e1, e1);
    const Floats<L> d12 = dot(e1, e2);
    const Floats<L> d22 = dot(e2, e2);
    const Floats<L> p1 = dot(p, e1);
    const Floats<L> p2 = dot(p, e2);
    const Floats<L> inverse = 1.0f / (d11 * d22 - d12 * d12);
    const Floats<L> b1 = (d22 * p1 - d12 * p2) * inverse;
    const Floats<L> b2 = (d11 * p2 - d12 * p1) * inverse;
    return {1.0f - b1 - b2, b1, b2};
}

template <class L>
inline Vec3Lanes<L> weighted(const Weights<L>& w, const std::array<Vec3Lanes<L>, 3>& at) {
    return at[0] * w.b0 + at[1] * w.b1 + at[2] * w.b2;
}

// The base colours of the textured lanes: the material's colour times the texture's, looked up
// lane by lane at the interpolated uv.
template <class L>
inline Vec3Lanes<L> texturedColors(const TriangleLanes<L>& t, const Weights<L>& w,
                                   std::uint32_t triangles) {
    const FloatArray<L> u = arrayOf(t.u[0] * w.b0 + t.u[1] * w.b1 + t.u[2] * w.b2);
    const FloatArray<L> v = arrayOf(t.v[0] * w.b0 + t.v[1] * w.b1 + t.v[2] * w.b2);
    std::array<FloatArray<L>, 3> texels;
    std::uint32_t textured = 0;
    for (std::uint32_t bits = triangles; bits != 0; bits &= bits - 1) {
        const int k = __builtin_ctz(bits);
        const auto lane = std::size_t(k);
        const Texture* texture = t.textures[lane];
        if (texture == nullptr || texture->texels.empty()) continue;
        textured |= std::uint32_t{1} << k;
        const Vec3 texel = textureColor(*texture, {u.values[lane], v.values[lane]});
        texels[0].values[lane] = texel.x;
        texels[1].values[lane] = texel.y;
        texels[2].values[lane] = texel.z;
    }
    if (textured == 0) return t.color;
    const Vec3Lanes<L> texel{load<L>(texels[0].values.data()), load<L>(texels[1].values.data()),
                             load<L>(texels[2].values.data())};
    return select(maskOf<L>(textured), t.color * texel, t.color);
}

// The surfaces of the triangle lanes of `triangles` hit at `point` by rays along `direction`,
// written into `s`. The shading normal is interpolated from the vertex normals and normalised
// (the geometric normal on flat meshes), and faces the side of the triangle's winding, as a
// sphere's faces out: glass is entered from that side. Where the shading normal and the
// geometric one disagree on which side the ray arrives from, the geometric normal is taken,
// so that glass is entered or left as the triangle's side says.
template <class L>
inline void triangleSurfaces(const Scene& scene, const std::array<std::int32_t, L::kWidth>& slots,
                             std::uint32_t triangles, const Vec3Lanes<L>& point,
                             const Vec3Lanes<L>& direction, SurfaceLanes<L>& s) {
    const TriangleLanes<L> t = gatherTriangles<L>(scene, slots, triangles);
    const Mask<L> lanes = maskOf<L>(triangles);
    const Weights<L> w = weightsAt(t.corners, point);
    const Vec3Lanes<L> geometric = geometricNormals(t.corners[0], t.corners[1], t.corners[2]);
    const Vec3Lanes<L> blended = weighted(w, t.normals);
    const Vec3Lanes<L> interpolated = blended * (1.0f / length(blended));
    const Floats<L> along = dot(direction, geometric);
    const Mask<L> front = along < 0.0f;
    const Mask<L> smoothFront = dot(direction, interpolated) < 0.0f;
    const Mask<L> agree = (front & smoothFront) | !(front | smoothFront);
    const Vec3Lanes<L> shading = select(t.smooth & agree, interpolated, geometric);
    const Mask<L> emissive =
        lanes & !((t.emission.x == 0.0f) & (t.emission.y == 0.0f) & (t.emission.z == 0.0f));
    const Vec3Lanes<L> base = texturedColors(t, w, triangles);
    s.normal = select(lanes, shading, s.normal);
    s.geometric = select(lanes, geometric, s.geometric);
    s.below = select(lanes, select(front, -geometric, geometric), s.below);
    s.color = select(lanes, base, s.color);
    s.emission = select(emissive, t.emission, s.emission);
    s.material = select(lanes, t.material, s.material);
    s.twoSided = s.twoSided | lanes;
    s.emissive = emissive;
}

// The surfaces of the spheres, planes and triangles hit in the lanes of `lanes`, at `point`,
// by rays along `direction`: each lane's record fetched from the scene by its kind and slot,
// then shaped across the lanes.
template <class L>
inline SurfaceLanes<L> surfacesOf(const Scene& scene, const Ints<L>& kind, const Ints<L>& index,
                                  Mask<L> lanes, const Vec3Lanes<L>& point,
                                  const Vec3Lanes<L>& direction) {
    alignas(64) std::array<std::int32_t, L::kWidth> kinds{};
    alignas(64) std::array<std::int32_t, L::kWidth> slots{};
    storeInts(kinds.data(), kind);
    storeInts(slots.data(), index);
    // A sphere's centre and radius, or a plane's normal (radius unused); colour, material.
    FloatArray<L> ax, ay, az, radius, red, green, blue, material;
    std::uint32_t spheres = 0;
    std::uint32_t checkers = 0;
    std::uint32_t triangles = 0;
    for (int k = 0; k < L::kWidth; ++k) {
        if (!isSet(lanes, k)) continue;
        const auto lane = std::size_t(k);
        const auto slot = std::size_t(slots[lane]);
        Vec3 anchor;
        Vec3 color;
        if (kinds[lane] == int(HitKind::Triangle)) {
            triangles |= std::uint32_t{1} << k;
            continue;
        }
        if (kinds[lane] == int(HitKind::Sphere)) {
            const Sphere& sphere = scene.sphereAt(slot);
            spheres |= std::uint32_t{1} << k;
            anchor = sphere.center;
            radius.values[lane] = sphere.radius;
            color = sphere.color;
            material.values[lane] = sphere.material;
        } else {
            const Plane& plane = *scene.planes[slot];
            if (isCheckerboard(plane.color)) checkers |= std::uint32_t{1} << k;
            anchor = plane.normal;
            color = plane.color;
            material.values[lane] = plane.material;
        }
        ax.values[lane] = anchor.x;
        ay.values[lane] = anchor.y;
        az.values[lane] = anchor.z;
        red.values[lane] = color.x;
        green.values[lane] = color.y;
        blue.values[lane] = color.z;
    }
    const Vec3Lanes<L> anchor{load<L>(ax.values.data()), load<L>(ay.values.data()),
                              load<L>(az.values.data())};
    const Vec3Lanes<L> color{load<L>(red.values.data()), load<L>(green.values.data()),
                             load<L>(blue.values.data())};
    const Vec3Lanes<L> sphereNormal = (point - anchor) * (1.0f / load<L>(radius.values.data()));
    const Mask<L> planes = lanes & !maskOf<L>(spheres);
    const Vec3Lanes<L> shown =
        checkers == 0 ? color
                      : select(maskOf<L>(checkers),
                               checkerColors(point, checkersOf<L>(scene, slots, checkers)), color);
    const Vec3Lanes<L> normal = select(maskOf<L>(spheres), sphereNormal, anchor);
    SurfaceLanes<L> s{point,
                      normal,
                      shown,
                      load<L>(material.values.data()),
                      scene.planeRule == PlaneRule::Geometric ? planes : Mask<L>{},
                      normal,
                      normal,
                      Mask<L>{},
                      Vec3Lanes<L>{}};
    if (triangles != 0) triangleSurfaces<L>(scene, slots, triangles, point, direction, s);
    return s;
}

}  // namespace lucentor
