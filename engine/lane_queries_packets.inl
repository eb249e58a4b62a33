// The ray queries of the wide kernels: every lane's rays as one packet, walked by the packet
// kernels of the same instruction set (query/packet_walk.inl), lane by lane the same as the
// scalar queries. A scene whose tree the packet walks cannot take goes lane by lane through
// the scalar queries instead. Included inside a wide kernel namespace after
// simd/lane_math.inl and query/packet_walk.inl.

// What each lane's closest-hit query named: kind and slot, as whole numbers.
struct HitLanes {
    Ints kind;
    Ints index;
};

inline RayPacket packetOf(const RayLanes& r) {
    RayPacket packet;
    store(packet.originX.data(), r.origin.x);
    store(packet.originY.data(), r.origin.y);
    store(packet.originZ.data(), r.origin.z);
    store(packet.directionX.data(), r.direction.x);
    store(packet.directionY.data(), r.direction.y);
    store(packet.directionZ.data(), r.direction.z);
    store(packet.t.data(), r.t);
    return packet;
}

inline HitLanes closestHits(const ShadingScene& shading, RayLanes& rays, Mask lanes) {
    const std::uint32_t bits = bitsOf(lanes);
    if (bits == 0) return {intsOf(0), intsOf(0)};
    RayPacket packet = packetOf(rays);
    std::array<HitRecord, kMaxPacketLanes> records{};
    if (shading.packetWalks) {
        packetwalk::closestHits<WalkLanes>(*shading.scene, packet, bits, records.data());
    } else {
        for (int k = 0; k < kLanes; ++k) {
            if ((bits >> k & 1u) == 0) continue;
            Ray ray = packet.ray(k);
            records[std::size_t(k)] = ray.closestHit(*shading.scene);
            packet.t[std::size_t(k)] = ray.t;
        }
    }
    rays.t = load(packet.t.data());
    FloatArray kinds;
    FloatArray indices;
    for (std::size_t k = 0; k < std::size_t(kLanes); ++k) {
        kinds.values[k] = records[k].kind;
        indices.values[k] = records[k].index;
    }
    // Whole numbers from 0 to 109, so truncation is the readers' int conversion.
    return {truncated(load(kinds.values.data())), truncated(load(indices.values.data()))};
}

// The packet walks' rays, straight from the lanes' registers.
inline packetwalk::Rays<WalkLanes> walkRaysOf(const RayLanes& r) {
    return {r.origin.x.value,         r.origin.y.value,         r.origin.z.value,
            r.direction.x.value,      r.direction.y.value,      r.direction.z.value,
            (1.0f / r.direction.x).value, (1.0f / r.direction.y).value, (1.0f / r.direction.z).value};
}

inline Floats occlusions(const ShadingScene& shading, const RayLanes& rays, Mask lanes) {
    const std::uint32_t bits = bitsOf(lanes);
    if (bits == 0) return 0.0f;
    if (shading.packetWalks) {
        const PackedTree& tree = shading.scene->packedTree;
        const packetwalk::Rays<WalkLanes> r = walkRaysOf(rays);
        return packetwalk::walkOcclusion<WalkLanes>(tree, r, packetwalk::rootLanes<WalkLanes>(tree, r, bits));
    }
    const RayPacket packet = packetOf(rays);
    FloatArray amounts;
    for (int k = 0; k < kLanes; ++k) {
        if ((bits >> k & 1u) == 0) continue;
        amounts.values[std::size_t(k)] = packet.ray(k).occlusion(*shading.scene);
    }
    return load(amounts.values.data());
}
