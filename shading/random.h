#pragma once

#include <cstdint>

namespace lucentor {

// The largest value a draw gives. The light sampler's grid needs at least 2^31 - 1, which is
// also what glibc's rand() gives, the generator the shading formulas were written for.
inline constexpr int kRandomMax = 0x7fffffff;

// A small generator with rand()'s contract: each draw is a non-negative int up to kRandomMax.
// SplitMix64, keeping the top 31 bits of each output; every seed, 0 included, starts a
// well-mixed sequence, so seeds may be simple combinations such as (pass, row).
struct RandomGenerator {
    std::uint64_t state = 0;

    constexpr int next();
};

// SplitMix64's finaliser: a bijection of 64-bit values in which every input bit affects every
// output bit. Turns structured keys (seed, pass, row) into unrelated generator states.
constexpr std::uint64_t mixBits(std::uint64_t z) {
    z = (z ^ (z >> 30u)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27u)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31u);
}

constexpr int RandomGenerator::next() {
    state += 0x9E3779B97F4A7C15u;
    return int(mixBits(state) >> 33u);
}

__extension__ using Uint128 = unsigned __int128;

// Remainders by one divisor fixed in advance, for values below 2^32: two multiplications
// instead of an integer division (Lemire, Kaser and Kurz, "Faster remainder by direct
// computation", 2019), exact for every such value and divisor.
struct FixedDivisor {
    std::uint32_t divisor = 1;
    std::uint64_t magic = 0;  // 2^64 / divisor rounded up, modulo 2^64: 0 for the divisor 1
};

constexpr FixedDivisor makeFixedDivisor(std::uint32_t divisor) {
    return {divisor, ~std::uint64_t{0} / divisor + 1};
}

constexpr std::uint32_t remainder(std::uint32_t value, const FixedDivisor& by) {
    const std::uint64_t fraction = by.magic * value;
    return std::uint32_t((Uint128(fraction) * by.divisor) >> 64u);
}

// Each thread draws from a generator of its own: the C library's rand() is shared behind a
// lock in glibc (and need not be thread-safe elsewhere), which would serialise the render
// workers. Constant-initialised and defined here, so a draw inlines to a few instructions
// with no call and no guard check; a thread that never seeds starts from seed 0.
inline constinit thread_local RandomGenerator threadGenerator;

inline void seedThreadRandom(std::uint64_t seed) { threadGenerator.state = seed; }

// The next draw of the calling thread's generator.
inline int threadRandom() { return threadGenerator.next(); }

}  // namespace lucentor
