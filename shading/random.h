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
// Its constants are named so that the lane kernels draw exactly the same numbers.
inline constexpr std::uint64_t kGoldenGamma = 0x9E3779B97F4A7C15u;
inline constexpr std::uint64_t kMixMultiplier1 = 0xBF58476D1CE4E5B9u;
inline constexpr std::uint64_t kMixMultiplier2 = 0x94D049BB133111EBu;

constexpr std::uint64_t mixBits(std::uint64_t z) {
    z = (z ^ (z >> 30u)) * kMixMultiplier1;
    z = (z ^ (z >> 27u)) * kMixMultiplier2;
    return z ^ (z >> 31u);
}

constexpr int RandomGenerator::next() {
    state += kGoldenGamma;
    return int(mixBits(state) >> 33u);
}

}  // namespace lucentor
