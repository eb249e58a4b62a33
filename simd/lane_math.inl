// What every lane type offers, and the vector maths written once over it. Included inside a
// kernel namespace after its lane type (lanes_scalar.inl, lanes_avx2.inl or lanes_avx512.inl),
// which defines:
// - kLanes, the width; Floats (kLanes floats, built from a float by broadcasting), Mask (a
//   set of lanes) and Ints (kLanes 32-bit integers);
// - on Floats: + - * / and unary -, the ordered comparisons < > >= == giving a Mask (false
//   where a side is NaN), select, sqrt, abs, min and max (a < b ? a : b, a > b ? a : b),
//   sameBits, load and store;
// - on Masks: & | ! any, and bitsOf/maskOf between a Mask and lane bits (lane k is bit k);
// - on Ints: + - ^ &, ==, select, intsOf (broadcast), loadInts and storeInts, toFloats
//   (rounded to nearest, as int-to-float conversion does), truncated (toward zero; INT_MIN
//   out of range and for NaN), and remainderOf (for 0 <= value, 0 < divisor < 2^31) by
//   Divisors, which divisorsOf works out once for many remainders;
// - Generators, each lane's RandomGenerator, with generatorsOf, storeGenerators, draw,
//   which advances only the active lanes' generators and gives their next values, and
//   mixedGenerators, each state through mixBits.
// Each operation is IEEE-exact lane by lane, so every width computes the same bits.

// A Vec3 in every lane: points, directions and colours, component by component.
struct Vec3Lanes {
    Floats x;
    Floats y;
    Floats z;
};

inline Vec3Lanes lanesOf(const Vec3& v) { return {v.x, v.y, v.z}; }

inline Vec3Lanes operator+(const Vec3Lanes& a, const Vec3Lanes& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3Lanes operator-(const Vec3Lanes& a, const Vec3Lanes& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3Lanes operator-(const Vec3Lanes& a) { return {-a.x, -a.y, -a.z}; }
inline Vec3Lanes operator*(const Vec3Lanes& v, Floats s) { return {v.x * s, v.y * s, v.z * s}; }
inline Vec3Lanes operator*(Floats s, const Vec3Lanes& v) { return {s * v.x, s * v.y, s * v.z}; }
inline Vec3Lanes operator*(const Vec3Lanes& a, const Vec3Lanes& b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

inline Floats dot(const Vec3Lanes& a, const Vec3Lanes& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline Floats length(const Vec3Lanes& v) { return sqrt(dot(v, v)); }

inline Vec3Lanes select(Mask m, const Vec3Lanes& ifSet, const Vec3Lanes& otherwise) {
    return {select(m, ifSet.x, otherwise.x), select(m, ifSet.y, otherwise.y),
            select(m, ifSet.z, otherwise.z)};
}

// For an argument that exact arithmetic keeps at or above 0 but rounding can push just below:
// such a value is taken as 0 instead of giving NaN. NaN itself still gives NaN.
inline Floats sqrtOfRounded(Floats a) { return sqrt(select(a < 0.0f, Floats(0.0f), a)); }

inline Mask lanesBelow(int count) {
    return maskOf(count >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << count) - 1);
}

inline bool isSet(Mask m, int lane) { return (bitsOf(m) >> lane & 1u) != 0; }

// One ray per lane.
struct RayLanes {
    Vec3Lanes origin;
    Vec3Lanes direction;
    Floats t;
};

// What each lane's ray met nearest: a HitKind and the object's slot, as in HitRecord.
struct HitLanes {
    Ints kind;
    Ints index;
};

// The lanes' values as arrays, for the steps that go lane by lane (gathers, scatters, exp).
struct FloatArray {
    alignas(64) std::array<float, kLanes> values{};
};

inline FloatArray arrayOf(Floats a) {
    FloatArray out;
    store(out.values.data(), a);
    return out;
}
