// Built with AVX2 enabled: called only when the processor has it.
#include <immintrin.h>

#include "query/packet_kernels.h"
#include "query/packet_walk.h"

namespace lucentor::avx2 {
namespace {

// Eight lanes in a ymm register; lane sets as the low 8 bits of an integer.
struct Lanes {
    static constexpr int kWidth = 8;
    using Floats = __m256;

    static Floats load(const float* p) { return _mm256_load_ps(p); }
    static void store(float* p, Floats v) { _mm256_store_ps(p, v); }
    static Floats broadcast(float x) { return _mm256_set1_ps(x); }
    static Floats add(Floats a, Floats b) { return _mm256_add_ps(a, b); }
    static Floats sub(Floats a, Floats b) { return _mm256_sub_ps(a, b); }
    static Floats mul(Floats a, Floats b) { return _mm256_mul_ps(a, b); }
    static Floats div(Floats a, Floats b) { return _mm256_div_ps(a, b); }
    static Floats sqrt(Floats a) { return _mm256_sqrt_ps(a); }
    static Floats min(Floats a, Floats b) { return _mm256_min_ps(a, b); }
    static Floats max(Floats a, Floats b) { return _mm256_max_ps(a, b); }

    // Ordered comparisons: false where either side is NaN, as in C++.
    static std::uint32_t bits(Floats mask) { return std::uint32_t(_mm256_movemask_ps(mask)); }
    static std::uint32_t less(Floats a, Floats b) { return bits(_mm256_cmp_ps(a, b, _CMP_LT_OQ)); }
    static std::uint32_t greater(Floats a, Floats b) {
        return bits(_mm256_cmp_ps(a, b, _CMP_GT_OQ));
    }
    static std::uint32_t greaterEqual(Floats a, Floats b) {
        return bits(_mm256_cmp_ps(a, b, _CMP_GE_OQ));
    }
    static std::uint32_t notEqual(Floats a, Floats b) {
        return bits(_mm256_cmp_ps(a, b, _CMP_NEQ_UQ));
    }
    static std::uint32_t sameBits(Floats a, Floats b) {
        return bits(_mm256_castsi256_ps(
            _mm256_cmpeq_epi32(_mm256_castps_si256(a), _mm256_castps_si256(b))));
    }

    // ifSet in the lanes of `lanes`, otherwise elsewhere.
    static Floats select(std::uint32_t lanes, Floats ifSet, Floats otherwise) {
        const __m256i laneBit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
        const __m256i chosen =
            _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(int(lanes)), laneBit), laneBit);
        return _mm256_blendv_ps(otherwise, ifSet, _mm256_castsi256_ps(chosen));
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

}  // namespace lucentor::avx2
