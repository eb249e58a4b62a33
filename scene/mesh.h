#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/vec3.h"

namespace lucentor {

// The most triangles one mesh holds: checked against the counts a file declares before any
// memory is reserved for them, so that no file can ask for more than about a gigabyte.
inline constexpr std::size_t kMaxMeshTriangles = 10'000'000;
// The most vertices: every triangle with corners of its own.
inline constexpr std::size_t kMaxMeshVertices = 3 * kMaxMeshTriangles;

// A texture coordinate: u across the picture from its left edge, v up from its bottom edge
// (as OBJ and PLY write them; glTF's v, which runs down, is turned when read).
struct TexCoord {
    float u = 0.0f;
    float v = 0.0f;
};

// A base-colour picture, decoded to linear RGB.
struct Texture {
    int width = 0;
    int height = 0;
    std::vector<Vec3> texels;  // width * height, row-major from the top row
};

// A mesh's material in the renderer's terms.
struct MeshMaterial {
    Vec3 color = {0.8f, 0.8f, 0.8f};  // diffuse colour, or the tint of a mirror or glass
    float material = 0.0f;            // as for Sphere: 0 diffuse, up to 1 mirror, above 1 glass
    Vec3 emission;                    // kept for the light transport; (0, 0, 0) for none
    int texture = -1;                 // base colour: the slot in Mesh::textures, or -1
};

struct Triangle {
    std::array<std::uint32_t, 3> vertices{};  // counter-clockwise seen from the front
    std::uint32_t material = 0;               // the slot in Mesh::materials
};

// Triangles over shared vertices, as read from a file or built from a shape.
struct Mesh {
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;  // empty (flat shading) or one unit normal per position
    std::vector<TexCoord> uvs;  // empty or one per position
    std::vector<Triangle> triangles;
    std::vector<MeshMaterial> materials;  // at least one wherever there are triangles
    std::vector<Texture> textures;
};

}  // namespace lucentor
