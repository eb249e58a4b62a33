#pragma once

#include <cstdint>

#include "engine/image.h"
#include "scene/vec3.h"

namespace lucentor {

// An 8-bit colour as the window shows it.
struct DisplayColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// What turns a sum of `passCount` samples into their mean; passCount >= 1.
inline float meanFactor(int passCount) { return 1.0f / float(passCount); }

// The shown level of one channel: trunc(256 * factor * sum), clamped to 0..255. The mean is
// scaled in double so the truncation sees its exact product. Means too large for an int and
// +infinity show 255; NaN, negative means and -infinity show 0. Clamping before the
// truncation keeps it in the integer range; NaN fails the first comparison and becomes 0.
inline std::uint32_t levelOf(float sum, float factor) {
    const double scaled = double(factor * sum) * 256.0;
    const double low = scaled > 0.0 ? scaled : 0.0;
    const double clamped = low < 255.0 ? low : 255.0;
    return std::uint32_t(std::int32_t(clamped));
}

inline std::uint8_t displayLevel(float sum, float factor) {
    return std::uint8_t(levelOf(sum, factor));
}

// The shown colour of a pixel whose channels hold `sum` (red from x, green y, blue z).
DisplayColor displayColor(const Vec3& sum, float factor);

// The shown colours of `count` pixels as 32-bit words 0x00RRGGBB (SDL's XRGB8888).
void shownWords(const Vec3* sums, int count, float factor, std::uint32_t* words);

// The shown picture of `passCount` (>= 1) passes of a whole image of `size` in `sums` as
// shownWords, each row starting `pitch` bytes (a multiple of 4, at least a row's words) after
// the previous one. Bytes between the rows stay as they are.
void shownPicture(const Vec3* sums, int passCount, void* pixels, int pitch, ImageSize size = {});

}  // namespace lucentor
