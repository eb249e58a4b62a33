#pragma once

#include <cstdint>

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
// +infinity show 255; NaN, negative means and -infinity show 0.
std::uint8_t displayLevel(float sum, float factor);

// The shown colour of a pixel whose channels hold `sum` (red from x, green y, blue z).
DisplayColor displayColor(const Vec3& sum, float factor);

}  // namespace lucentor
