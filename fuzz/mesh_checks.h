#pragma once

#include <cstddef>
#include <cstdint>

#include "meshfile/mesh_file.h"

namespace lucentor::fuzzing {

// Reads the bytes as a mesh file of `format` named "fuzz" plus the format's ending, with the
// files it names looked for in a folder that does not exist, and requires what every input
// must give: a mesh whose indices all lie within its arrays, with finite positions and unit
// normals, or one printable line that names the file (and, for OBJ and PLY, a line of it or
// none) and leaves the mesh empty.
void fuzzMeshFile(const std::uint8_t* data, std::size_t size, MeshFormat format);

}  // namespace lucentor::fuzzing
