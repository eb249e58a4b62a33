#include "app/display.h"

namespace lucentor {

std::uint8_t displayLevel(float sum, float factor) {
    const float mean = factor * sum;
    const double scaled = double(mean) * 256.0;
    // Compared before truncating, so no conversion ever leaves the integer range.
    if (scaled >= 255.0) return 255;
    if (scaled > 0.0) return std::uint8_t(scaled);
    return 0;  // also NaN, which fails both comparisons
}

DisplayColor displayColor(const Vec3& sum, float factor) {
    return {displayLevel(sum.x, factor), displayLevel(sum.y, factor), displayLevel(sum.z, factor)};
}

}  // namespace lucentor
