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

}  // namespace lucentor
