#pragma once

// The colour seen along each lane's ray, written once over the lane type (simd/lane_math.h):
// each lane is one sample, with its own ray and its own generator, and every stage runs across
// the lanes under a mask. Width 1 is the scalar reference (trace, shading/trace.h); the wider
// kernels give the same bits lane by lane. Templates only.

#include <array>
#include <cmath>
#include <cstddef>

#include "scene/scene.h"
#include "shading/lane_queries.h"
#include "shading/lighting.h"
#include "shading/lighting_lanes.h"
#include "shading/materials_lanes.h"
#include "shading/trace.h"
#include "simd/lane_math.h"

namespace lucentor {

// One node of the lanes' ray trees: a camera ray at depth 0, a reflected or refracted ray
// below. Every lane visits the same nodes in the same order (a ray, then its reflected
// subtree, then its refracted one); a lane whose tree has no such node is masked out there.
template <class L>
struct NodeLanes {
    RayLanes<L> ray;  // t left at each lane's hit
    Mask<L> active;   // the lanes with a ray at this node
    Mask<L> mirror;   // lanes whose surface reflects: one child, the reflected ray
    Mask<L> glass;    // lanes whose surface refracts: two children, reflected then refracted
    SurfaceLanes<L> surface;
    Vec3Lanes<L> color;   // what the lanes that end here see; later the node's colour
    Vec3Lanes<L> direct;  // the mirror lanes' direct light
    Floats<L> reflectance;
    Floats<L> turnedCos;  // glass lanes: the ray against the normal turned along it
    RayLanes<L> reflected;
    RayLanes<L> refracted;
    Vec3Lanes<L> reflectedColor;
    Vec3Lanes<L> refractedColor;
    Floats<L> refractedT;
    NodeStep step = NodeStep::ReflectedNext;
};

// Where a child ray of the surface starts: `fixed` off the surface, except on a two-sided
// plane or a triangle, whose every child starts on the side it travels to, along the geometric
// normal, or it would meet the surface it leaves (a sphere's near-hit rule spares its children
// that).
template <class L>
inline Vec3Lanes<L> childOrigins(const SurfaceLanes<L>& s, const Vec3Lanes<L>& fixed,
                                 const Vec3Lanes<L>& direction) {
    if (!any(s.twoSided)) return fixed;
    const Floats<L> side =
        select(dot(direction, s.geometric) < 0.0f, -kSurfaceOffset, kSurfaceOffset);
    return select(s.twoSided, s.point + s.geometric * side, fixed);
}

// The reflected and refracted rays of the mirror and glass lanes, and the glass lanes'
// Fresnel share.
template <class L>
inline void prepareChildren(NodeLanes<L>& node) {
    const SurfaceLanes<L>& s = node.surface;
    const Vec3Lanes<L>& d = node.ray.direction;
    const Vec3Lanes<L>& n = s.normal;
    const Vec3Lanes<L> mirrored = reflectedDirections(d, n);
    const RayLanes<L> mirrorRay{childOrigins(s, s.point + n * kSurfaceOffset, mirrored), mirrored,
                                kFarDistance};
    // The refracted ray starts below the surface, whichever side the ray came from.
    const Vec3Lanes<L> bent = refractedDirections(d, n, s.material);
    node.refracted = {childOrigins(s, s.point - n * kSurfaceOffset, bent), bent, kFarDistance};
    const Vec3Lanes<L> turned = select(dot(d, n) < 0.0f, -n, n);
    const Vec3Lanes<L> glassMirrored = reflectedDirections(d, turned);
    const RayLanes<L> glassRay{childOrigins(s, s.point + turned * kSurfaceOffset, glassMirrored),
                               glassMirrored, kFarDistance};
    node.reflected = {select(node.glass, glassRay.origin, mirrorRay.origin),
                      select(node.glass, glassRay.direction, mirrorRay.direction), kFarDistance};
    node.reflectance = fresnelReflectances(d, turned, s.material);
    node.turnedCos = dot(d, turned);
}

// The node's closest hits and everything its lanes ask of them before any child: the colour
// of the lanes that end here (a miss, which sees the scene's background, a light, the depth limit,
// a diffuse surface), the mirror lanes' direct light (drawn before their reflected rays), and the
// child rays.
template <class L>
inline void visit(const ShadingScene& shading, NodeLanes<L>& node, int depth,
                  Generators<L>& generators) {
    const HitLanes<L> hit = closestHits(shading, node.ray, node.active);
    const Mask<L> missed = node.ray.t == kFarDistance;
    // A light is seen at any depth, so this comes before the depth limit.
    const Mask<L> light = node.active & !missed & (hit.kind == intsOf<L>(int(HitKind::Light)));
    const Vec3Lanes<L> sky =
        select(node.active & missed, lanesOf<L>(shading.scene->background), Vec3Lanes<L>{});
    node.color = select(light, lanesOf<L>(kLightHitColor), sky);
    node.mirror = {};
    node.glass = {};
    node.step = NodeStep::ReflectedNext;
    if (depth == int(kMaxDepth)) return;
    const Mask<L> surfaced = node.active & !missed & !light;
    if (!any(surfaced)) return;

    const Vec3Lanes<L> point = node.ray.direction * node.ray.t + node.ray.origin;
    node.surface =
        surfacesOf(*shading.scene, hit.kind, hit.index, surfaced, point, node.ray.direction);
    const SurfaceLanes<L>& s = node.surface;
    // An emissive surface shows its emission colour and nothing else.
    const Mask<L> shaded = surfaced & !s.emissive;
    node.color = select(surfaced & s.emissive, s.emission, node.color);
    const Mask<L> diffuse = shaded & (s.material == 0.0f);
    node.glass = shaded & (s.material > 1.0f);
    node.mirror = shaded & !diffuse & !node.glass;
    const Mask<L> lit = diffuse | node.mirror;
    if (any(lit)) {
        node.direct = directLightings(shading, s.point, s.normal, s.below, lit, generators);
        node.color = select(diffuse, s.color * node.direct, node.color);
    }
    if (any(node.mirror | node.glass)) prepareChildren(node);
}

// Absorption over the refracted ray's path, for the glass lanes of `lanes` whose ray met the
// surface exactly edge-on (or with NaN): exp has no lane form with the same bits as libm's,
// so each such lane calls it.
template <class L>
inline Vec3Lanes<L> absorbed(const Vec3Lanes<L>& mixed, const Vec3Lanes<L>& color,
                             Floats<L> travelled, Mask<L> lanes) {
    const FloatArray<L> distance = arrayOf(travelled);
    std::array<FloatArray<L>, 3> channels{arrayOf(mixed.x), arrayOf(mixed.y), arrayOf(mixed.z)};
    const std::array<FloatArray<L>, 3> tints{arrayOf(color.x), arrayOf(color.y), arrayOf(color.z)};
    for (int k = 0; k < L::kWidth; ++k) {
        if (!isSet(lanes, k)) continue;
        const auto lane = std::size_t(k);
        for (std::size_t c = 0; c < 3; ++c) {
            const float exponent = -(1.0f - tints[c].values[lane]) * distance.values[lane];
            channels[c].values[lane] *= float(std::exp(double(exponent)));
        }
    }
    return {load<L>(channels[0].values.data()), load<L>(channels[1].values.data()),
            load<L>(channels[2].values.data())};
}

// The node's colour once its children are done: partly lit directly, partly reflecting for
// the mirror lanes; a Fresnel-weighted blend of the reflected and refracted rays for glass.
template <class L>
inline void combineChildren(NodeLanes<L>& node) {
    const SurfaceLanes<L>& s = node.surface;
    const Floats<L> m = s.material;
    if (any(node.mirror)) {
        const Vec3Lanes<L> mirrored =
            (node.direct * s.color) * (1.0f - m) + (s.color * node.reflectedColor) * m;
        node.color = select(node.mirror, mirrored, node.color);
    }
    if (any(node.glass)) {
        const Floats<L> kr = node.reflectance;
        Vec3Lanes<L> mixed =
            (s.color * node.refractedColor) * (1.0f - kr) + (node.reflectedColor * s.color) * kr;
        const Mask<L> edgeOn = node.glass & !(node.turnedCos > 0.0f);
        if (any(edgeOn)) mixed = absorbed(mixed, s.color, node.refractedT, edgeOn);
        node.color = select(node.glass, mixed, node.color);
    }
}

// Starts the child of `parent` at stack slot `slot` for the lanes of `lanes`.
template <class L>
inline void startChild(const ShadingScene& shading, NodeLanes<L>& child, const RayLanes<L>& ray,
                       Mask<L> lanes, int depth, Generators<L>& generators) {
    child.ray = {ray.origin, ray.direction, kFarDistance};
    child.active = lanes;
    visit(shading, child, depth, generators);
}

// The nodes of the lanes' ray trees from a camera ray down to the depth limit.
template <class L>
using RayTreeStack = std::array<NodeLanes<L>, std::size_t(kMaxDepth) + 1>;

// The colour seen along each lane's ray of `lanes` from depth `depth` (0 to kMaxDepth), with
// each lane's t left at its hit: the recursive trace as an iterative walk of the ray trees,
// combining colours in the recursion's order. `stack` is scratch space, made by the caller
// so that it is not set up again for every sample.
template <class L>
inline Vec3Lanes<L> traceLanes(const ShadingScene& shading, RayLanes<L>& rays, Mask<L> lanes,
                               int depth, Generators<L>& generators, RayTreeStack<L>& stack) {
    int top = depth;
    stack[std::size_t(top)].ray = rays;
    stack[std::size_t(top)].active = lanes;
    visit(shading, stack[std::size_t(top)], top, generators);
    for (;;) {
        NodeLanes<L>& node = stack[std::size_t(top)];
        if (node.step == NodeStep::ReflectedNext) {
            node.step = NodeStep::RefractedNext;
            const Mask<L> reflecting = node.mirror | node.glass;
            if (any(reflecting)) {
                startChild(shading, stack[std::size_t(top + 1)], node.reflected, reflecting,
                           top + 1, generators);
                ++top;
                continue;
            }
        }
        if (node.step == NodeStep::RefractedNext) {
            node.step = NodeStep::ChildrenDone;
            if (any(node.glass)) {
                startChild(shading, stack[std::size_t(top + 1)], node.refracted, node.glass,
                           top + 1, generators);
                ++top;
                continue;
            }
        }
        combineChildren(node);
        if (top == depth) break;
        NodeLanes<L>& parent = stack[std::size_t(top - 1)];
        // The parent's step tells which of its children has returned.
        if (parent.step == NodeStep::RefractedNext) {
            parent.reflectedColor = node.color;
        } else {
            parent.refractedColor = node.color;
            parent.refractedT = node.ray.t;
        }
        --top;
    }
    rays.t = stack[std::size_t(depth)].ray.t;
    return stack[std::size_t(depth)].color;
}

}  // namespace lucentor
