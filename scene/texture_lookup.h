#pragma once

#include "scene/mesh.h"

namespace lucentor {

// The texture's colour at `uv`, filtered bilinearly between the four nearest texel centres;
// the picture repeats in both directions, so any finite u and v have a colour (a coordinate
// that is not finite is taken as 0). The texture must hold at least one texel. Baseline code,
// called lane by lane by the shading of every width, so that each gives the same bits.
Vec3 textureColor(const Texture& texture, const TexCoord& uv);
}  // namespace lucentor
