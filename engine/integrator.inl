// The sample pipeline, written once over the lane type (simd/lane_math.inl): each lane is one
// sample, with its own ray and its own generator, and every stage runs across the lanes under
// a mask. Width 1 is the scalar reference; the wider kernels give the same bits lane by lane.
// Included inside a kernel namespace after the lane type, the ray queries and the shading
// (shading/materials_lanes.inl, shading/lighting_lanes.inl).

// One node of the lanes' ray trees: a camera ray at depth 0, a reflected or refracted ray
// below. Every lane visits the same nodes in the same order (a ray, then its reflected
// subtree, then its refracted one); a lane whose tree has no such node is masked out there.
struct NodeLanes {
    RayLanes ray;  // t left at each lane's hit
    Mask active;   // the lanes with a ray at this node
    Mask mirror;   // lanes whose surface reflects: one child, the reflected ray
    Mask glass;    // lanes whose surface refracts: two children, reflected then refracted
    SurfaceLanes surface;
    Vec3Lanes color;   // what the lanes that end here see; later the node's colour
    Vec3Lanes direct;  // the mirror lanes' direct light
    Floats reflectance;
    Floats turnedCos;  // glass lanes: the ray against the normal turned along it
    RayLanes reflected;
    RayLanes refracted;
    Vec3Lanes reflectedColor;
    Vec3Lanes refractedColor;
    Floats refractedT;
    NodeStep step = NodeStep::ReflectedNext;
};

// Where a child ray of the surface starts: `fixed` off the surface, except on a two-sided
// plane, whose every child starts on the side it travels to, or it would meet the plane it
// leaves (a sphere's near-hit rule spares its children that).
inline Vec3Lanes childOrigins(const SurfaceLanes& s, const Vec3Lanes& fixed,
                              const Vec3Lanes& direction) {
    if (!any(s.twoSided)) return fixed;
    const Floats side = select(dot(direction, s.normal) < 0.0f, -kSurfaceOffset, kSurfaceOffset);
    return select(s.twoSided, s.point + s.normal * side, fixed);
}

// The reflected and refracted rays of the mirror and glass lanes, and the glass lanes'
// Fresnel share.
inline void prepareChildren(NodeLanes& node) {
    const SurfaceLanes& s = node.surface;
    const Vec3Lanes& d = node.ray.direction;
    const Vec3Lanes& n = s.normal;
    const Vec3Lanes mirrored = reflectedDirections(d, n);
    const RayLanes mirrorRay{childOrigins(s, s.point + n * kSurfaceOffset, mirrored), mirrored,
                             kFarDistance};
    // The refracted ray starts below the surface, whichever side the ray came from.
    const Vec3Lanes bent = refractedDirections(d, n, s.material);
    node.refracted = {childOrigins(s, s.point - n * kSurfaceOffset, bent), bent, kFarDistance};
    const Vec3Lanes turned = select(dot(d, n) < 0.0f, -n, n);
    const Vec3Lanes glassMirrored = reflectedDirections(d, turned);
    const RayLanes glassRay{childOrigins(s, s.point + turned * kSurfaceOffset, glassMirrored),
                            glassMirrored, kFarDistance};
    node.reflected = {select(node.glass, glassRay.origin, mirrorRay.origin),
                      select(node.glass, glassRay.direction, mirrorRay.direction), kFarDistance};
    node.reflectance = fresnelReflectances(d, turned, s.material);
    node.turnedCos = dot(d, turned);
}

// The node's closest hits and everything its lanes ask of them before any child: the colour
// of the lanes that end here (a miss, a light, the depth limit, a diffuse surface), the
// mirror lanes' direct light (drawn before their reflected rays), and the child rays.
inline void visit(const ShadingScene& shading, NodeLanes& node, int depth, Generators& generators) {
    const HitLanes hit = closestHits(shading, node.ray, node.active);
    const Mask missed = node.ray.t == kFarDistance;
    // A light is seen at any depth, so this comes before the depth limit.
    const Mask light = node.active & !missed & (hit.kind == intsOf(int(HitKind::Light)));
    node.color = select(light, lanesOf(kLightHitColor), Vec3Lanes{});
    node.mirror = {};
    node.glass = {};
    node.step = NodeStep::ReflectedNext;
    if (depth == int(kMaxDepth)) return;
    const Mask surfaced = node.active & !missed & !light;
    if (!any(surfaced)) return;

    const Vec3Lanes point = node.ray.direction * node.ray.t + node.ray.origin;
    node.surface = surfacesOf(*shading.scene, hit.kind, hit.index, surfaced, point);
    const SurfaceLanes& s = node.surface;
    const Mask diffuse = surfaced & (s.material == 0.0f);
    node.glass = surfaced & (s.material > 1.0f);
    node.mirror = surfaced & !diffuse & !node.glass;
    const Mask lit = diffuse | node.mirror;
    if (any(lit)) {
        node.direct = directLightings(shading, s.point, s.normal, lit, generators);
        node.color = select(diffuse, s.color * node.direct, node.color);
    }
    if (any(node.mirror | node.glass)) prepareChildren(node);
}

// Absorption over the refracted ray's path, for the glass lanes of `lanes` whose ray met the
// surface exactly edge-on (or with NaN): exp has no lane form with the same bits as libm's,
// so each such lane calls it.
inline Vec3Lanes absorbed(const Vec3Lanes& mixed, const Vec3Lanes& color, Floats travelled,
                          Mask lanes) {
    const FloatArray distance = arrayOf(travelled);
    std::array<FloatArray, 3> channels{arrayOf(mixed.x), arrayOf(mixed.y), arrayOf(mixed.z)};
    const std::array<FloatArray, 3> tints{arrayOf(color.x), arrayOf(color.y), arrayOf(color.z)};
    for (int k = 0; k < kLanes; ++k) {
        if (!isSet(lanes, k)) continue;
        const auto lane = std::size_t(k);
        for (std::size_t c = 0; c < 3; ++c) {
            const float exponent = -(1.0f - tints[c].values[lane]) * distance.values[lane];
            channels[c].values[lane] *= float(std::exp(double(exponent)));
        }
    }
    return {load(channels[0].values.data()), load(channels[1].values.data()),
            load(channels[2].values.data())};
}

// The node's colour once its children are done: partly lit directly, partly reflecting for
// the mirror lanes; a Fresnel-weighted blend of the reflected and refracted rays for glass.
inline void combineChildren(NodeLanes& node) {
    const SurfaceLanes& s = node.surface;
    const Floats m = s.material;
    if (any(node.mirror)) {
        const Vec3Lanes mirrored =
            (node.direct * s.color) * (1.0f - m) + (s.color * node.reflectedColor) * m;
        node.color = select(node.mirror, mirrored, node.color);
    }
    if (any(node.glass)) {
        const Floats kr = node.reflectance;
        Vec3Lanes mixed =
            (s.color * node.refractedColor) * (1.0f - kr) + (node.reflectedColor * s.color) * kr;
        const Mask edgeOn = node.glass & !(node.turnedCos > 0.0f);
        if (any(edgeOn)) mixed = absorbed(mixed, s.color, node.refractedT, edgeOn);
        node.color = select(node.glass, mixed, node.color);
    }
}

// Starts the child of `parent` at stack slot `slot` for the lanes of `lanes`.
inline void startChild(const ShadingScene& shading, NodeLanes& child, const RayLanes& ray,
                       Mask lanes, int depth, Generators& generators) {
    child.ray = {ray.origin, ray.direction, kFarDistance};
    child.active = lanes;
    visit(shading, child, depth, generators);
}

// The nodes of the lanes' ray trees from a camera ray down to the depth limit.
using RayTreeStack = std::array<NodeLanes, std::size_t(kMaxDepth) + 1>;

// The colour seen along each lane's ray of `lanes` from depth `depth` (0 to kMaxDepth), with
// each lane's t left at its hit: the recursive trace as an iterative walk of the ray trees,
// combining colours in the recursion's order. `stack` is scratch space, made by the caller
// so that it is not set up again for every sample.
inline Vec3Lanes traceLanes(const ShadingScene& shading, RayLanes& rays, Mask lanes, int depth,
                            Generators& generators, RayTreeStack& stack) {
    int top = depth;
    stack[std::size_t(top)].ray = rays;
    stack[std::size_t(top)].active = lanes;
    visit(shading, stack[std::size_t(top)], top, generators);
    for (;;) {
        NodeLanes& node = stack[std::size_t(top)];
        if (node.step == NodeStep::ReflectedNext) {
            node.step = NodeStep::RefractedNext;
            const Mask reflecting = node.mirror | node.glass;
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
        NodeLanes& parent = stack[std::size_t(top - 1)];
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

// The camera rays through image-plane points (u, v), with unit directions and t =
// kFarDistance.
inline RayLanes cameraRays(const Camera& camera, Floats u, Floats v) {
    const Vec3Lanes d = ((u * lanesOf(camera.horizontal) + lanesOf(camera.lowerLeft)) +
                         v * lanesOf(camera.vertical)) -
                        lanesOf(camera.origin);
    const Floats k = 1.0f / length(d);
    return {lanesOf(camera.origin), d * k, kFarDistance};
}

// A jitter coordinate of each lane's pixel cell: low + a draw modulo the cell's width.
inline Floats jitterCoordinates(const RenderJob& job, Ints low, const Divisors& width, Mask lanes,
                                Generators& generators) {
    const Ints cell = low + remainderOf(draw(generators, lanes), width);
    return job.jitterUnit * toFloats(cell);
}

// The block of pixels the lanes take at a turn, as square as the width allows (4 by 4 at 16
// lanes, 4 by 2 at 8): neighbouring rays of a block stay together deeper into the tree than a
// column's or a row's, and no draw of one pixel moves another's, so any shape gives the same
// picture.
inline constexpr int kPacketWidth = kLanes < 4 ? kLanes : 4;
inline constexpr int kPacketHeight = kLanes / kPacketWidth;

// One packet's pixels, lane by lane (lane k at column x + k % kPacketWidth, row
// y + k / kPacketWidth), those outside the tile masked out.
struct PixelPacket {
    Mask lanes;
    Generators generators;  // each pixel sample's own stream
    Ints uLow;
    Divisors uWidth;
    Ints vLow;
    Divisors vWidth;
    Vec3* sums = nullptr;  // the sum of lane 0's pixel; lane k's is at row k / kPacketWidth below
    int rowStride = 0;     // sums between one row and the next: the picture's width
};

// The jitter cells of the lanes' pixels along one axis, pixelCell's bounds with the same float
// operations lane by lane: `first` is the packet's first column or row, `offsets` each lane's
// from it. Lanes outside `lanes` take cells of width 1, not 0; they are masked out everywhere.
inline void jitterCells(const RenderJob& job, float halfStep, int first, Ints offsets, Mask lanes,
                        Ints& low, Divisors& width) {
    const Floats centre = (halfStep + halfStep) * toFloats(intsOf(first) + offsets);
    low = truncated((centre - halfStep) * job.jitterScale);
    const Ints high = truncated((centre + halfStep) * job.jitterScale);
    width = divisorsOf(select(lanes, high - low, intsOf(1)));
}

// Lane k's place in the packet: its column or row offset.
inline Ints packetOffsets(bool rows) {
    alignas(64) std::array<std::int32_t, kLanes> offsets{};
    for (int k = 0; k < kLanes; ++k) {
        offsets[std::size_t(k)] = rows ? k / kPacketWidth : k % kPacketWidth;
    }
    return loadInts(offsets.data());
}

// Fills the packet at column x, row y of the tile but for its rows' cells (vLow, vWidth),
// which the packets of one row share. `columns` holds each lane's column offset.
inline void startPacket(const RenderJob& job, std::uint64_t key, const PixelRegion& tile, int x,
                        int y, Ints columns, PixelPacket& packet) {
    const int width = std::min(kPacketWidth, tile.x + tile.width - x);
    const int height = std::min(kPacketHeight, tile.y + tile.height - y);
    // Every lane's key and place, those past the tile's edges too: they are masked out.
    alignas(64) std::array<std::uint64_t, kLanes> states{};
    std::uint32_t lanes = 0;
    for (int k = 0; k < kLanes; ++k) {
        const int column = k % kPacketWidth;
        const int row = k / kPacketWidth;
        states[std::size_t(k)] = pixelKey(key, x + column, y + row);
        lanes |= std::uint32_t(column < width && row < height) << k;
    }
    packet.lanes = maskOf(lanes);
    // pixelSeed's last step across the lanes.
    packet.generators = mixedGenerators(generatorsOf(states.data()));
    jitterCells(job, job.halfPixelU, x, columns, packet.lanes, packet.uLow, packet.uWidth);
    packet.sums = job.accumulation + job.size.pixelIndex(x, y);
    packet.rowStride = job.size.width;
    // The sums are read only after the trace: fetched now, they are in the cache by then.
    for (int row = 0; row < height; ++row) {
        __builtin_prefetch(packet.sums + row * packet.rowStride, 1);
        __builtin_prefetch(packet.sums + row * packet.rowStride + width - 1, 1);
    }
}

// Each lane's sample into its pixel's sum. A channel that is not finite adds nothing
// (accumulate's rule), so one degenerate sample cannot spoil the pixel for good.
inline void accumulateLanes(const PixelPacket& packet, const Vec3Lanes& color) {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    const auto finite = [](Floats c) { return select(abs(c) < kInfinity, c, 0.0f); };
    const FloatArray red = arrayOf(finite(color.x));
    const FloatArray green = arrayOf(finite(color.y));
    const FloatArray blue = arrayOf(finite(color.z));
    for (int k = 0; k < kLanes; ++k) {
        if (!isSet(packet.lanes, k)) continue;
        const auto lane = std::size_t(k);
        Vec3& sum = packet.sums[k / kPacketWidth * packet.rowStride + k % kPacketWidth];
        sum.x += red.values[lane];
        sum.y += green.values[lane];
        sum.z += blue.values[lane];
    }
}

// One sample of each lane's pixel: its two jitter draws, then its trace.
inline void samplePacket(const RenderJob& job, const ShadingScene& shading, PixelPacket& packet,
                         RayTreeStack& stack) {
    // Two statements: the first draw is the column's, the second the row's.
    const Floats u =
        jitterCoordinates(job, packet.uLow, packet.uWidth, packet.lanes, packet.generators);
    const Floats v =
        jitterCoordinates(job, packet.vLow, packet.vWidth, packet.lanes, packet.generators);
    RayLanes rays = cameraRays(*job.camera, u, v);
    const Vec3Lanes color = traceLanes(shading, rays, packet.lanes, 0, packet.generators, stack);
    accumulateLanes(packet, color);
}

// Adds one sample of pass `pass` to every pixel of `tile`, packet after packet. Returns early,
// between packets, once the job's stopRequested is set.
inline void renderTileLanes(RenderJob& job, const ShadingScene& shading, int pass,
                            const PixelRegion& tile) {
    // Each worker's scratch, zeroed once per thread: zeroing its 20 kB for every tile took 6 %
    // of a pass's instructions. Nothing is read from it that the same sample did not write.
    thread_local RayTreeStack stack{};
    const std::uint64_t key = passKey(job.seed, pass);
    const Ints columns = packetOffsets(false);
    const Ints rowOffsets = packetOffsets(true);
    PixelPacket packet;
    for (int y = tile.y; y < tile.y + tile.height; y += kPacketHeight) {
        const int rows = std::min(kPacketHeight, tile.y + tile.height - y);
        jitterCells(job, job.halfPixelV, y, rowOffsets, lanesBelow(rows * kPacketWidth),
                    packet.vLow, packet.vWidth);
        for (int x = tile.x; x < tile.x + tile.width; x += kPacketWidth) {
            if (job.stopRequested.load()) return;  // the rest of the tile waits for no sample
            startPacket(job, key, tile, x, y, columns, packet);
            samplePacket(job, shading, packet, stack);
        }
    }
}

// The kernel's integer primitives on arrays, for the tests (see LanePrimitives).
inline LanePrimitives lanePrimitivesOfLanes() {
    const auto remainders = [](const std::int32_t* values, const std::int32_t* divisors,
                               std::int32_t* out) {
        storeInts(out, remainderOf(loadInts(values), divisorsOf(loadInts(divisors))));
    };
    const auto draws = [](std::uint64_t* states, std::uint32_t active, std::int32_t* out) {
        Generators generators = generatorsOf(states);
        storeInts(out, draw(generators, maskOf(active)));
        storeGenerators(states, generators);
    };
    return {kLanes, remainders, draws};
}
