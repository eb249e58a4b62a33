#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scene/mesh.h"
#include "scene/texture_lookup.h"

namespace lucentor {

// The linear value of an 8-bit sRGB-encoded channel.
float linearFromSrgb(std::uint8_t encoded);

// Decodes a PNG or JPEG picture (its alpha, if any, left out) into `texture`, its channels
// taken as sRGB-encoded and stored linear. False with the reason when it is neither or is
// broken; `texture` is then unchanged.
bool decodeTexture(std::string_view bytes, Texture& texture, std::string& reason);

}  // namespace lucentor
