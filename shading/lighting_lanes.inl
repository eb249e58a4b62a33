// Direct lighting and the light sampler, written once over the lane type
// (simd/lane_math.inl). Included inside a kernel namespace after the ray queries of that
// namespace (closestHits, occlusions over RayLanes).

inline Floats gridOffsets(const LightGrid& grid, Ints k) {
    return (toFloats(k) - grid.halfWidth) * kLightGridStep;
}

// A random grid point of the ball in each lane of `lanes`, relative to its centre, by
// rejection: about two attempts on average, since the ball fills 52 % of its cube. The lanes
// draw in lock-step, each from its own generator, x then y then z; a lane that has accepted
// waits, drawing nothing, until the last one accepts.
inline Vec3Lanes ballOffsets(const LightGrid& grid, Mask lanes, Generators& generators) {
    Vec3Lanes offset{};
    if (grid.size == 0) return offset;
    const Divisors size = divisorsOf(intsOf(grid.size));
    Mask pending = lanes;
    while (any(pending)) {
        // Three separate statements fix the draw order: x, then y, then z.
        const Floats x = gridOffsets(grid, remainderOf(draw(generators, pending), size));
        const Floats y = gridOffsets(grid, remainderOf(draw(generators, pending), size));
        const Floats z = gridOffsets(grid, remainderOf(draw(generators, pending), size));
        const Mask accepted = pending & !(x * x + y * y + z * z > grid.largestSquare);
        offset = select(accepted, Vec3Lanes{x, y, z}, offset);
        pending = pending & !accepted;
    }
    return offset;
}

// A random point of the spherical light's surface on the side facing `from`, in each lane of
// `lanes`: where the line of sight towards a random grid point of the light's ball first
// meets its sphere, or 100 units along it when `from` is inside the light.
inline Vec3Lanes sampleLightPoints(const Light& light, const LightGrid& grid, const Vec3Lanes& from,
                                   Mask lanes, Generators& generators) {
    const Vec3Lanes center = lanesOf(light.position);
    const Vec3Lanes target = center + ballOffsets(grid, lanes, generators);
    const Vec3Lanes v = target - from;
    const Vec3Lanes u = v * (1.0f / length(v));

    // Near intersection of the line of sight with the light's sphere. The target lies in the
    // ball, so d2 exceeds radiusSquared only by rounding: at a grazing line of sight, or for
    // any line at all when the radius is tiny. The root is then 0, the tangent point, where
    // a NaN would throw the point 100 units away.
    const Vec3Lanes toCenter = center - from;
    const Floats tca = dot(toCenter, u);
    const Vec3Lanes offAxis = toCenter - u * tca;
    const Floats d2 = dot(offAxis, offAxis);
    const Floats t0 = tca - sqrtOfRounded(light.radiusSquared - d2);
    const Floats distance = select((t0 > 0.0f) & (t0 < kFarDistance), t0, kFarDistance);
    return from + u * distance;
}

// The light arriving directly at each surface point of `lanes`, summed over the scene's lights
// in their order: each adds emission * |u . normal| * (1 - blocked) / distance, with one
// shadow ray from just below the surface towards the light (a random point of a spherical
// light), unless the light is fully blocked.
inline Vec3Lanes directLightings(const ShadingScene& shading, const Vec3Lanes& point,
                                 const Vec3Lanes& normal, Mask lanes, Generators& generators) {
    const Scene& scene = *shading.scene;
    Vec3Lanes result{};
    const Vec3Lanes start = point - normal * kSurfaceOffset;
    for (int i = 0; i < scene.lightCount; ++i) {
        const Light& light = *scene.lights[std::size_t(i)];
        const LightGrid& grid = shading.lightGrids[std::size_t(i)];
        const Vec3Lanes target = light.radius > 0.0f
                                     ? sampleLightPoints(light, grid, start, lanes, generators)
                                     : lanesOf(light.position);
        const Vec3Lanes toLight = target - start;
        const Floats inverseDistance = 1.0f / length(toLight);
        const RayLanes shadow{start, toLight * inverseDistance, 0.0f};
        const Floats blocked = occlusions(shading, shadow, lanes);
        Floats factor = dot(shadow.direction, normal) * (1.0f - blocked);
        // Lit alike from either side of the normal.
        factor = select(factor < 0.0f, -factor, factor);
        const Vec3Lanes added = result + (lanesOf(light.emission) * inverseDistance) * factor;
        result = select(lanes & (blocked < 1.0f), added, result);
    }
    return result;
}
