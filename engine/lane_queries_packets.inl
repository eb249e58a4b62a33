// The ray queries of the wide kernels: every lane's rays walked at once by the packet walks
// of the same instruction set (query/packet_walk.inl), lane by lane the same as the scalar
// queries. A scene whose tree the packet walks cannot take goes lane by lane through
// the scalar queries instead. Included inside a wide kernel namespace after
// simd/lane_math.inl and query/packet_walk.inl.

// Lane k's ray alone.
inline Ray rayOf(const RayLanes& r, int k) {
    const auto component = [k](Floats v) { return arrayOf(v).values[std::size_t(k)]; };
    return {{component(r.origin.x), component(r.origin.y), component(r.origin.z)},
            {component(r.direction.x), component(r.direction.y), component(r.direction.z)},
            component(r.t)};
}

inline HitLanes closestHits(const ShadingScene& shading, RayLanes& rays, Mask lanes) {
    const std::uint32_t bits = bitsOf(lanes);
    if (bits == 0) return {intsOf(0), intsOf(0)};
    if (shading.packetWalks) {
        Floats t = rays.t;
        const packetwalk::Records record = packetwalk::closestHitLanes(
            *shading.scene, packetwalk::raysOf(rays.origin, rays.direction), bits, t);
        rays.t = select(lanes, t, rays.t);
        // Whole numbers below 2^24, exact in a float, so truncation is the readers' int
        // conversion.
        return {truncated(record.kind), truncated(record.index)};
    }
    FloatArray t = arrayOf(rays.t);
    alignas(64) std::array<std::int32_t, kLanes> kinds{};
    alignas(64) std::array<std::int32_t, kLanes> indices{};
    for (int k = 0; k < kLanes; ++k) {
        if ((bits >> k & 1u) == 0) continue;
        const auto lane = std::size_t(k);
        Ray ray = rayOf(rays, k);
        const HitRecord record = ray.closestHit(*shading.scene);
        t.values[lane] = ray.t;
        kinds[lane] = int(record.kind);
        indices[lane] = int(record.index);
    }
    rays.t = load(t.values.data());
    return {loadInts(kinds.data()), loadInts(indices.data())};
}

inline Floats occlusions(const ShadingScene& shading, const RayLanes& rays, Mask lanes) {
    const std::uint32_t bits = bitsOf(lanes);
    if (bits == 0) return 0.0f;
    if (shading.packetWalks) {
        return packetwalk::occlusionLanes(*shading.scene,
                                          packetwalk::raysOf(rays.origin, rays.direction), bits);
    }
    FloatArray amounts;
    for (int k = 0; k < kLanes; ++k) {
        if ((bits >> k & 1u) != 0) {
            amounts.values[std::size_t(k)] = rayOf(rays, k).occlusion(*shading.scene);
        }
    }
    return load(amounts.values.data());
}
