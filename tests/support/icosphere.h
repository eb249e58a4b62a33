#pragma once

#include "scene/mesh.h"

namespace lucentor {

// A unit sphere of 20 * 4^levels triangles, each vertex on the sphere with its normal, the
// fronts outward; placed at `center` scaled by `radius`.
Mesh icosphere(const Vec3& center, float radius, int levels, const MeshMaterial& material);

}  // namespace lucentor
