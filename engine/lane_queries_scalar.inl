// The ray queries of the width-1 kernels: the scalar queries themselves. Included inside the
// scalar kernel namespace after simd/lane_math.inl.

inline Ray rayOf(const RayLanes& r) {
    return {{r.origin.x.value, r.origin.y.value, r.origin.z.value},
            {r.direction.x.value, r.direction.y.value, r.direction.z.value},
            r.t.value};
}

inline HitLanes closestHits(const ShadingScene& shading, RayLanes& rays, Mask lanes) {
    if (!any(lanes)) return {};
    Ray ray = rayOf(rays);
    const HitRecord record = ray.closestHit(*shading.scene);
    rays.t = ray.t;
    return {intsOf(int(record.kind)), intsOf(int(record.index))};
}

inline Floats occlusions(const ShadingScene& shading, const RayLanes& rays, Mask lanes) {
    if (!any(lanes)) return 0.0f;
    return rayOf(rays).occlusion(*shading.scene);
}
