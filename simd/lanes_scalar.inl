// Width 1: one ray at a time, the readable reference that the wider lane types match bit for
// bit. Included inside the namespace of the scalar kernels, after <cmath>, <cstdint> and
// <climits>; see simd/lane_math.inl for what every lane type offers.

inline constexpr int kLanes = 1;

struct Floats {
    float value;

    Floats() = default;  // unset, as the wide lanes; `Floats{}` is zero
    // A constant broadcasts to every lane, so that lane code reads like the scalar maths.
    constexpr Floats(float v) : value(v) {}  // NOLINT(google-explicit-constructor)
};

struct Mask {
    bool value;  // unset unless `Mask{}`
};

struct Ints {
    std::int32_t value;
};

inline Floats operator+(Floats a, Floats b) { return a.value + b.value; }
inline Floats operator-(Floats a, Floats b) { return a.value - b.value; }
inline Floats operator*(Floats a, Floats b) { return a.value * b.value; }
inline Floats operator/(Floats a, Floats b) { return a.value / b.value; }
inline Floats operator-(Floats a) { return -a.value; }

inline Mask operator<(Floats a, Floats b) { return {a.value < b.value}; }
inline Mask operator>(Floats a, Floats b) { return {a.value > b.value}; }
inline Mask operator>=(Floats a, Floats b) { return {a.value >= b.value}; }
inline Mask operator==(Floats a, Floats b) { return {a.value == b.value}; }

inline Mask operator&(Mask a, Mask b) { return {a.value && b.value}; }
inline Mask operator|(Mask a, Mask b) { return {a.value || b.value}; }
inline Mask operator!(Mask a) { return {!a.value}; }
inline bool any(Mask a) { return a.value; }
inline std::uint32_t bitsOf(Mask a) { return a.value ? 1u : 0u; }
inline Mask maskOf(std::uint32_t bits) { return {(bits & 1u) != 0}; }

inline Floats select(Mask m, Floats ifSet, Floats otherwise) { return m.value ? ifSet : otherwise; }

// Taken in double and narrowed, as everywhere in the renderer; for every float this equals
// the single-precision root that the wider lanes take.
inline Floats sqrt(Floats a) { return float(std::sqrt(double(a.value))); }
inline Floats abs(Floats a) { return std::fabs(a.value); }
inline Floats min(Floats a, Floats b) { return a.value < b.value ? a : b; }
inline Floats max(Floats a, Floats b) { return a.value > b.value ? a : b; }
inline Mask sameBits(Floats a, Floats b) {
    return {std::bit_cast<std::uint32_t>(a.value) == std::bit_cast<std::uint32_t>(b.value)};
}

inline Floats load(const float* p) { return *p; }
inline void store(float* p, Floats a) { *p = a.value; }

inline Ints operator+(Ints a, Ints b) { return {a.value + b.value}; }
inline Ints operator-(Ints a, Ints b) { return {a.value - b.value}; }
inline Ints operator^(Ints a, Ints b) { return {a.value ^ b.value}; }
inline Ints operator&(Ints a, Ints b) { return {a.value & b.value}; }
inline Ints intsOf(std::int32_t v) { return {v}; }
inline Ints loadInts(const std::int32_t* p) { return {*p}; }
inline void storeInts(std::int32_t* p, Ints a) { *p = a.value; }
inline Mask operator==(Ints a, Ints b) { return {a.value == b.value}; }
inline Ints select(Mask m, Ints ifSet, Ints otherwise) { return m.value ? ifSet : otherwise; }
inline Floats toFloats(Ints a) { return float(a.value); }

// Truncation toward zero; a value out of int's range (NaN included) gives INT_MIN, as the
// vector instructions do, where C++'s conversion would be undefined.
inline Ints truncated(Floats a) {
    constexpr float kTwo31 = 2147483648.0f;
    if (!(a.value >= -kTwo31 && a.value < kTwo31)) return {INT_MIN};
    return {std::int32_t(a.value)};
}

// Divisors for remainderOf, worked out once for many remainders (nothing to work out here).
struct Divisors {
    Ints value;
};

inline Divisors divisorsOf(Ints divisor) { return {divisor}; }

// value mod divisor for 0 <= value and 0 < divisor.
inline Ints remainderOf(Ints value, const Divisors& by) { return {value.value % by.value.value}; }

// Each lane's generator state; only the lanes of `active` draw.
struct Generators {
    std::uint64_t state;
};

inline Generators generatorsOf(const std::uint64_t* states) { return {*states}; }
inline void storeGenerators(std::uint64_t* states, const Generators& g) { *states = g.state; }

inline Generators mixedGenerators(const Generators& g) { return {mixBits(g.state)}; }

inline Ints draw(Generators& g, Mask active) {
    if (!active.value) return {0};
    RandomGenerator generator{g.state};
    const int value = generator.next();
    g.state = generator.state;
    return {value};
}
