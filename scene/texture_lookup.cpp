#include "scene/texture_lookup.h"

#include <cmath>
#include <cstddef>

namespace lucentor {
namespace {

// The fraction of `coordinate` above its floor, in [0, 1): where a repeating picture is.
double wrapped(float coordinate) {
    if (!std::isfinite(coordinate)) return 0.0;
    const double c = double(coordinate);
    const double fraction = c - std::floor(c);
    return fraction < 1.0 ? fraction : 0.0;
}

int wrappedIndex(int i, int size) { return i < 0 ? i + size : i >= size ? i - size : i; }

}  // namespace

Vec3 textureColor(const Texture& texture, const TexCoord& uv) {
    // Texel centres stand at half-integers: x = u * width - 0.5. Rows run down from the top
    // while v runs up.
    const double x = wrapped(uv.u) * double(texture.width) - 0.5;
    const double y = (1.0 - wrapped(uv.v)) * double(texture.height) - 0.5;
    const double left = std::floor(x);
    const double top = std::floor(y);
    const auto fx = float(x - left);
    const auto fy = float(y - top);
    const int x0 = wrappedIndex(int(left), texture.width);
    const int y0 = wrappedIndex(int(top), texture.height);
    const int x1 = wrappedIndex(x0 + 1, texture.width);
    const int y1 = wrappedIndex(y0 + 1, texture.height);
    const auto at = [&texture](int column, int row) {
        return texture.texels[std::size_t(row) * std::size_t(texture.width) + std::size_t(column)];
    };
    const Vec3 upper = at(x0, y0) * (1.0f - fx) + at(x1, y0) * fx;
    const Vec3 lower = at(x0, y1) * (1.0f - fx) + at(x1, y1) * fx;
    return upper * (1.0f - fy) + lower * fy;
}

}  // namespace lucentor
