#include "meshfile/texture.h"

#include <stb/stb_image.h>

#include <array>
#include <climits>
#include <cmath>
#include <memory>

namespace lucentor {
namespace {

// The sRGB transfer function's inverse, worked out once in double for each 8-bit code.
std::array<float, 256> srgbTable() {
    std::array<float, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        const double encoded = double(i) / 255.0;
        table[i] =
            float(encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4));
    }
    return table;
}

// The largest picture taken: 16384 texels a side, 3 GB of linear colour at the most.
constexpr int kMaxTextureSide = 16384;

// The fraction of `coordinate` above its floor, in [0, 1): where a repeating picture is.
double wrapped(float coordinate) {
    if (!std::isfinite(coordinate)) return 0.0;
    const double c = double(coordinate);
    const double fraction = c - std::floor(c);
    return fraction < 1.0 ? fraction : 0.0;
}

int wrappedIndex(int i, int size) { return i < 0 ? i + size : i >= size ? i - size : i; }

}  // namespace

float linearFromSrgb(std::uint8_t encoded) {
    static const std::array<float, 256> kTable = srgbTable();
    return kTable[encoded];
}

bool decodeTexture(std::string_view bytes, Texture& texture, std::string& reason) {
    if (bytes.size() > std::size_t(INT_MAX)) {
        reason = "larger than 2 GB";
        return false;
    }
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    const int size = int(bytes.size());
    int width = 0;
    int height = 0;
    int channels = 0;
    // The size is asked first, so that a header claiming a huge picture allocates nothing.
    if (stbi_info_from_memory(data, size, &width, &height, &channels) == 0) {
        reason = std::string("not a PNG or JPEG picture (") + stbi_failure_reason() + ")";
        return false;
    }
    if (width > kMaxTextureSide || height > kMaxTextureSide) {
        reason = "larger than " + std::to_string(kMaxTextureSide) + " texels a side";
        return false;
    }
    const std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(data, size, &width, &height, &channels, 3), stbi_image_free);
    if (pixels == nullptr) {
        reason = std::string("a broken picture (") + stbi_failure_reason() + ")";
        return false;
    }
    texture.width = width;
    texture.height = height;
    texture.texels.resize(std::size_t(width) * std::size_t(height));
    const stbi_uc* p = pixels.get();
    for (Vec3& texel : texture.texels) {
        texel = {linearFromSrgb(p[0]), linearFromSrgb(p[1]), linearFromSrgb(p[2])};
        p += 3;
    }
    return true;
}

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
