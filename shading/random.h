#pragma once

#include <cstdint>

namespace lucentor {

// The largest value a draw gives. The light sampler's grid needs at least 2^31 - 1, which is
// also what glibc's rand() gives, the generator the shading formulas were written for.
inline constexpr int kRandomMax = 0x7fffffff;

// A small generator with rand()'s contract: each draw is a non-negative int up to kRandomMax.
// SplitMix64, keeping the top 31 bits of each output; every seed, 0 included, starts a
// well-mixed sequence, so seeds may be simple combinations such as (pass, pixel).
struct RandomGenerator {
    std::uint64_t state = 0;

    constexpr int next();
};

// SplitMix64's finaliser: a bijection of 64-bit values in which every input bit affects every
// output bit. Turns structured keys (seed, pass, pixel) into unrelated generator states.
// Its constants are named so that the lane kernels draw exactly the same numbers.
inline constexpr std::uint64_t kGoldenGamma = 0x9E3779B97F4A7C15u;
inline constexpr std::uint64_t kMixMultiplier1 = 0xBF58476D1CE4E5B9u;
inline constexpr std::uint64_t kMixMultiplier2 = 0x94D049BB133111EBu;

constexpr std::uint64_t mixBits(std::uint64_t z) {
    z = (z ^ (z >> 30u)) * kMixMultiplier1;
    z = (z ^ (z >> 27u)) * kMixMultiplier2;
    return z ^ (z >> 31u);
}

// The key of one pass's pixel streams: the seed and the pass through two rounds of the
// finaliser, so that the next pass or seed shares no simple relation with this one.
constexpr std::uint64_t passKey(std::uint64_t seed, int pass) {
    return mixBits(mixBits(seed) ^ std::uint64_t(std::uint32_t(pass)));
}

// The pixel's place in the pass's key, before mixing.
constexpr std::uint64_t pixelKey(std::uint64_t key, int x, int y) {
    return key ^ (std::uint64_t(std::uint32_t(y)) << 32u | std::uint32_t(x));
}

// The generator state that starts the draws of pixel (x, y)'s sample in the pass of `key`: a
// hash of (seed, pass, x, y) and nothing else, so a pixel's samples do not depend on any other
// pixel, on which worker, tile or lane took it, or on the picture's size.
constexpr std::uint64_t pixelSeed(std::uint64_t key, int x, int y) {
    return mixBits(pixelKey(key, x, y));
}

constexpr std::uint64_t pixelSeed(std::uint64_t seed, int pass, int x, int y) {
    return pixelSeed(passKey(seed, pass), x, y);
}

constexpr int RandomGenerator::next() {
    state += kGoldenGamma;
    return int(mixBits(state) >> 33u);
}

}  // namespace lucentor
