// The surfaces and their materials, written once over the lane type (simd/lane_math.inl).
// Included inside a kernel namespace; each function is the scalar formula lane by lane, in
// the same order of operations.

// What a hit looks like to the shading, lane by lane.
struct SurfaceLanes {
    Vec3Lanes point;
    Vec3Lanes normal;  // outward for spheres; a plane's stored normal, never turned to the ray
    Vec3Lanes color;
    Floats material;
    Mask twoSided;  // planes under the geometric rule, met from either side
};

// The lowest bit of value truncated toward zero, for any float. Beyond 2^24 every float is an
// even whole number, so the bit is 0 there, as it is for NaN and the infinities.
inline Ints truncatedParity(Floats value) {
    constexpr float kLargestOddCandidate = 16777216.0f;  // 2^24
    const Mask small = abs(value) < kLargestOddCandidate;
    return select(small, truncated(value) & intsOf(1), intsOf(0));
}

// A checkerboard's colours and the inverse of its square size, lane by lane.
struct CheckerLanes {
    Vec3Lanes first;
    Vec3Lanes second;
    Floats inverseSize;  // 1 / size: a product per point instead of a division
};

inline CheckerLanes checkersOf(const Checker& checker) {
    return {lanesOf(checker.first), lanesOf(checker.second), 1.0f / checker.size};
}

// The checkerboard colour at each point: squares of each lane's size, aligned on its
// multiples of x and z. The inverse of a size of 1 is 1, and the product exact, so the
// presets' squares are the ones measured in plain units.
inline Vec3Lanes checkerColors(const Vec3Lanes& point, const CheckerLanes& checker) {
    // The lowest bit of a XOR b is the XOR of their lowest bits.
    const Ints odd = truncatedParity(point.x * checker.inverseSize + kCheckerOffset) ^
                     truncatedParity(point.z * checker.inverseSize + kCheckerOffset);
    return select(odd == intsOf(0), checker.first, checker.second);
}

// The checkerboards of the plane lanes in `checkers` (not 0), fetched from the scene by slot;
// the other lanes get one of them, which they never show. Mostly every lane met the same
// floor: its board then serves all lanes without a gather.
inline CheckerLanes checkersOf(const Scene& scene, const std::array<std::int32_t, kLanes>& slots,
                               std::uint32_t checkers) {
    const auto firstLane = std::size_t(std::countr_zero(checkers));
    const Checker& first = scene.planes[std::size_t(slots[firstLane])]->checker;
    bool oneBoard = true;
    for (int k = 0; k < kLanes; ++k) {
        oneBoard =
            oneBoard && (((checkers >> k) & 1u) == 0 || slots[std::size_t(k)] == slots[firstLane]);
    }
    if (oneBoard) return checkersOf(first);
    std::array<FloatArray, 7> values;
    for (int k = 0; k < kLanes; ++k) {
        const auto lane = std::size_t(k);
        const Checker& checker =
            ((checkers >> k) & 1u) != 0 ? scene.planes[std::size_t(slots[lane])]->checker : first;
        const std::array<float, 7> fields = {checker.first.x,    checker.first.y,  checker.first.z,
                                             checker.second.x,   checker.second.y, checker.second.z,
                                             1.0f / checker.size};
        for (std::size_t i = 0; i < fields.size(); ++i) values[i].values[lane] = fields[i];
    }
    const auto lanes = [&values](std::size_t i) { return load(values[i].values.data()); };
    return {{lanes(0), lanes(1), lanes(2)}, {lanes(3), lanes(4), lanes(5)}, lanes(6)};
}

// The mirror image of `direction` about `normal`.
inline Vec3Lanes reflectedDirections(const Vec3Lanes& direction, const Vec3Lanes& normal) {
    return direction - normal * (2.0f * dot(direction, normal));
}

// The refracted direction through a surface of refractive index `index` (either side), not
// normalised; (0, 0, 0) at total internal reflection.
inline Vec3Lanes refractedDirections(const Vec3Lanes& direction, const Vec3Lanes& normal,
                                     Floats index) {
    const Floats cosNormal = dot(direction, normal);
    // Entering: the ray arrives on the side the normal points to.
    const Mask entering = cosNormal < 0.0f;
    const Floats cosI = select(entering, -cosNormal, cosNormal);
    const Vec3Lanes facing = select(entering, normal, -normal);
    const Floats eta = select(entering, 1.0f / index, index / 1.0f);
    const Floats g = 1.0f - (1.0f - cosI * cosI) * (eta * eta);
    const Vec3Lanes bent = direction * eta + facing * (eta * cosI - sqrt(g));
    return select(g > 0.0f, bent, Vec3Lanes{});
}

// Fresnel's share of reflected light for rays meeting a surface of refractive index `index`
// whose normal has been turned along the ray (direction . normal >= 0).
inline Floats fresnelReflectances(const Vec3Lanes& direction, const Vec3Lanes& turnedNormal,
                                  Floats index) {
    const Floats cosTurned = dot(direction, turnedNormal);
    const Mask leaving = cosTurned > 0.0f;
    const Floats cosF = select(leaving, -cosTurned, cosTurned);
    const Floats etaI = select(leaving, 1.0f, index);
    const Floats etaT = select(leaving, index, 1.0f);
    // A ray hit almost head-on can give |cosF| just above 1 by rounding; its sine is then 0,
    // where the root of a negative number would poison the pixel with NaN for good.
    const Floats sinI = sqrtOfRounded(1.0f - cosF * cosF);
    const Floats sinT = sinI * (etaI / etaT);
    const Floats cosT = sqrt(1.0f - sinT * sinT);
    const Floats c0 = abs(cosF);
    const Floats r1 = (etaT * c0 - etaI * cosT) / (etaI * cosT + etaT * c0);
    const Floats r2 = (etaI * c0 - etaT * cosT) / (etaT * cosT + etaI * c0);
    return select(sinT >= 1.0f, 1.0f, (r1 * r1 + r2 * r2) * 0.5f);
}

// The surfaces of the spheres and planes hit in the lanes of `lanes`, at `point`: each lane's
// record fetched from the scene by its kind and slot, then shaped across the lanes.
inline SurfaceLanes surfacesOf(const Scene& scene, const Ints& kind, const Ints& index, Mask lanes,
                               const Vec3Lanes& point) {
    alignas(64) std::array<std::int32_t, kLanes> kinds{};
    alignas(64) std::array<std::int32_t, kLanes> slots{};
    storeInts(kinds.data(), kind);
    storeInts(slots.data(), index);
    // A sphere's centre and radius, or a plane's normal (radius unused); colour, material.
    FloatArray ax, ay, az, radius, red, green, blue, material;
    std::uint32_t spheres = 0;
    std::uint32_t checkers = 0;
    for (int k = 0; k < kLanes; ++k) {
        if (!isSet(lanes, k)) continue;
        const auto lane = std::size_t(k);
        const auto slot = std::size_t(slots[lane]);
        Vec3 anchor;
        Vec3 color;
        if (kinds[lane] == int(HitKind::Sphere)) {
            const Sphere& sphere = *scene.leaves[slot]->sphere;
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
    const Vec3Lanes anchor{load(ax.values.data()), load(ay.values.data()), load(az.values.data())};
    const Vec3Lanes color{load(red.values.data()), load(green.values.data()),
                          load(blue.values.data())};
    const Vec3Lanes sphereNormal = (point - anchor) * (1.0f / load(radius.values.data()));
    const Mask planes = lanes & !maskOf(spheres);
    const Vec3Lanes shown =
        checkers == 0 ? color
                      : select(maskOf(checkers),
                               checkerColors(point, checkersOf(scene, slots, checkers)), color);
    return {point, select(maskOf(spheres), sphereNormal, anchor), shown,
            load(material.values.data()),
            scene.planeRule == PlaneRule::Geometric ? planes : Mask{}};
}
