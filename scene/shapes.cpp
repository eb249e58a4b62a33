#include "scene/shapes.h"

#include "scene/placement.h"

namespace lucentor {

Mesh quadMesh(const Vec3& corner, const Vec3& sideA, const Vec3& sideB,
              const MeshMaterial& material) {
    Mesh mesh;
    mesh.positions = {corner, corner + sideA, corner + sideA + sideB, corner + sideB};
    // (p1 - p0) x (p2 - p0) = sideA x (sideA + sideB) = sideA x sideB for both halves.
    mesh.triangles = {{{0, 1, 2}, 0}, {{0, 2, 3}, 0}};
    mesh.materials = {material};
    return mesh;
}

Mesh boxMesh(const Vec3& min, const Vec3& max, const Vec3& rotateDegrees,
             const MeshMaterial& material) {
    Mesh mesh;
    // Corner i has max's x where bit 0 of i is set, max's y for bit 1, max's z for bit 2.
    for (std::uint32_t i = 0; i < 8; ++i) {
        mesh.positions.push_back({(i & 1u) != 0 ? max.x : min.x, (i & 2u) != 0 ? max.y : min.y,
                                  (i & 4u) != 0 ? max.z : min.z});
    }
    // Each face as two triangles, counter-clockwise seen from outside.
    constexpr std::array<std::array<std::uint32_t, 4>, 6> kFaces = {{
        {0, 4, 6, 2},  // x = min
        {1, 3, 7, 5},  // x = max
        {0, 1, 5, 4},  // y = min
        {2, 6, 7, 3},  // y = max
        {0, 2, 3, 1},  // z = min
        {4, 5, 7, 6},  // z = max
    }};
    for (const auto& face : kFaces) {
        mesh.triangles.push_back({{face[0], face[1], face[2]}, 0});
        mesh.triangles.push_back({{face[0], face[2], face[3]}, 0});
    }
    mesh.materials = {material};
    if (rotateDegrees == Vec3{}) return mesh;
    const Vec3 center = (min + max) * 0.5f;
    placeMesh(mesh, translation(center) * rotation(rotateDegrees) * translation(-center));
    return mesh;
}

}  // namespace lucentor
