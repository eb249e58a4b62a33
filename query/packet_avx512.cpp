// Built with AVX-512 F, DQ, BW and VL enabled: called only when the processor has them all.
// g++ 12 warns inside its own AVX-512 header, whose intrinsics start from an undefined vector.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#ifndef __clang__  // clang has no such warning, and warns about the unknown name instead
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#pragma GCC diagnostic pop

#include "query/packet_kernels.h"
#include "query/packet_walk.h"

namespace lucentor::avx512 {
namespace {

// Sixteen lanes in a zmm register; lane sets as mask registers' 16 bits.
struct Lanes {
    static constexpr int kWidth = 16;
    using Floats = __m512;

    static Floats load(const float* p) { return _mm512_load_ps(p); }
    static void store(float* p, Floats v) { _mm512_store_ps(p, v); }
    static Floats broadcast(float x) { return _mm512_set1_ps(x); }
    static Floats add(Floats a, Floats b) { return _mm512_add_ps(a, b); }
    static Floats sub(Floats a, Floats b) { return _mm512_sub_ps(a, b); }
    static Floats mul(Floats a, Floats b) { return _mm512_mul_ps(a, b); }
    static Floats div(Floats a, Floats b) { return _mm512_div_ps(a, b); }
    static Floats sqrt(Floats a) { return _mm512_sqrt_ps(a); }
    static Floats min(Floats a, Floats b) { return _mm512_min_ps(a, b); }
    static Floats max(Floats a, Floats b) { return _mm512_max_ps(a, b); }

    // Ordered comparisons: false where either side is NaN, as in C++.
    static std::uint32_t less(Floats a, Floats b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static std::uint32_t greater(Floats a, Floats b) {
        return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ);
    }
    static std::uint32_t greaterEqual(Floats a, Floats b) {
        return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ);
    }
    static std::uint32_t notEqual(Floats a, Floats b) {
        return _mm512_cmp_ps_mask(a, b, _CMP_NEQ_UQ);
    }
    static std::uint32_t sameBits(Floats a, Floats b) {
        return _mm512_cmpeq_epi32_mask(_mm512_castps_si512(a), _mm512_castps_si512(b));
    }

    // ifSet in the lanes of `lanes`, otherwise elsewhere.
    static Floats select(std::uint32_t lanes, Floats ifSet, Floats otherwise) {
        return _mm512_mask_blend_ps(__mmask16(lanes), otherwise, ifSet);
    }
};

}  // namespace

void closestHits(const Scene& scene, RayPacket& rays, std::uint32_t active, HitRecord* records) {
    packetwalk::closestHits<Lanes>(scene, rays, active, records);
}

void occlusionSums(const PackedTree& tree, const RayPacket& rays, std::uint32_t active,
                   float* amounts) {
    packetwalk::occlusionSums<Lanes>(tree, rays, active, amounts);
}

}  // namespace lucentor::avx512
