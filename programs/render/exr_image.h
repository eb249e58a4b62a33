#pragma once

#include <vector>

#include "engine/image.h"
#include "scene/vec3.h"

namespace lucentor {

// The float width of an OpenEXR picture's channels.
enum class ExrPrecision { Float, Half };

// The picture of `size` after `passCount` (>= 1) passes of `sums` as an OpenEXR file: the
// per-pixel mean in channels R, G and B, unclamped, top row first, ZIP-compressed (lossless).
// Float holds exactly the values of the PFM; Half rounds each to the nearest 16-bit float.
// Empty when the library cannot encode it.
std::vector<unsigned char> encodeExr(const Vec3* sums, int passCount, ImageSize size,
                                     ExrPrecision precision);

}  // namespace lucentor
