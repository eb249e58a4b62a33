#pragma once

#include "scene/mesh.h"

namespace lucentor {

// A parallelogram of two triangles from `corner` along `sideA` and `sideB`, its front the side
// sideA x sideB points to; one material.
Mesh quadMesh(const Vec3& corner, const Vec3& sideA, const Vec3& sideB,
              const MeshMaterial& material);

// The box between the opposite corners `min` and `max` (each component of min below max's),
// turned by `rotateDegrees` (as rotation() does) about its centre: 12 triangles, every front
// facing out; one material.
Mesh boxMesh(const Vec3& min, const Vec3& max, const Vec3& rotateDegrees,
             const MeshMaterial& material);

}  // namespace lucentor
