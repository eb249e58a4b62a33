#include "engine/display.h"

#include <emmintrin.h>

#include <array>

#include "engine/image.h"

namespace lucentor {

DisplayColor displayColor(const Vec3& sum, float factor) {
    return {displayLevel(sum.x, factor), displayLevel(sum.y, factor), displayLevel(sum.z, factor)};
}

namespace {

std::uint32_t wordOf(const Vec3& sum, float factor) {
    return levelOf(sum.x, factor) << 16 | levelOf(sum.y, factor) << 8 | levelOf(sum.z, factor);
}

// levelOf for the four channels in `sums`, in SSE2: the same float product, the same widening
// and scaling in double, and max/min in the order that sends NaN to 0 (maxpd returns its second
// operand when either is NaN, as `scaled > 0.0 ? scaled : 0.0` does).
__m128i levelsOf(__m128 sums, __m128 factor) {
    const __m128 means = _mm_mul_ps(factor, sums);
    const __m128d scale = _mm_set1_pd(256.0);
    const __m128d zero = _mm_setzero_pd();
    const __m128d top = _mm_set1_pd(255.0);
    const __m128d low = _mm_mul_pd(_mm_cvtps_pd(means), scale);
    const __m128d high = _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(means, means)), scale);
    const __m128i lowLevels = _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(low, zero), top));
    const __m128i highLevels = _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(high, zero), top));
    return _mm_unpacklo_epi64(lowLevels, highLevels);
}

}  // namespace

void shownWords(const Vec3* sums, int count, float factor, std::uint32_t* words) {
    const __m128 factors = _mm_set1_ps(factor);
    int i = 0;
    // Four pixels are twelve channels, three vectors; the levels fit a byte each.
    for (; i + 4 <= count; i += 4) {
        const float* channels = &sums[i].x;
        const __m128i first = levelsOf(_mm_loadu_ps(channels), factors);
        const __m128i second = levelsOf(_mm_loadu_ps(channels + 4), factors);
        const __m128i third = levelsOf(_mm_loadu_ps(channels + 8), factors);
        alignas(16) std::array<std::uint8_t, 16> level{};
        _mm_store_si128(
            reinterpret_cast<__m128i*>(level.data()),  // NOLINT: SSE2 store
            _mm_packus_epi16(_mm_packs_epi32(first, second), _mm_packs_epi32(third, third)));
        for (std::size_t k = 0; k < 4; ++k) {
            words[i + int(k)] = std::uint32_t(level[3 * k]) << 16 |
                                std::uint32_t(level[3 * k + 1]) << 8 | level[3 * k + 2];
        }
    }
    for (; i < count; ++i) words[i] = wordOf(sums[i], factor);
}

void shownPicture(const Vec3* sums, int passCount, void* pixels, int pitch, ImageSize size) {
    const float factor = meanFactor(passCount);
    auto* rows = static_cast<std::uint8_t*>(pixels);
    for (int y = 0; y < size.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(rows + std::ptrdiff_t(y) * pitch);  // NOLINT
        shownWords(sums + size.pixelIndex(0, y), size.width, factor, row);
    }
}

}  // namespace lucentor
