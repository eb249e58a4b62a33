#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "scene/mesh.h"

namespace lucentor {

// The largest mesh file read, and the largest file it names (a material library, a glTF
// buffer, a texture): 10,000,000 triangles of OBJ text take about 400 MB.
inline constexpr std::size_t kMaxMeshFileBytes = std::size_t(1) << 30u;

enum class MeshFormat { Obj, Ply, Gltf, Glb, Unknown };

// The format a mesh file's name ends in (.obj, .ply, .gltf, .glb, in any case).
MeshFormat meshFormatOf(std::string_view path);

// What reading a mesh found besides the mesh.
struct MeshReport {
    std::string problem;                  // the one line of the fault, when reading failed
    std::vector<std::string> warnings;    // one line each
    std::vector<std::string> otherFiles;  // the files it named and read, or tried to
};

// Reads the mesh of `bytes`, the contents of a file in `format` that messages call `name`,
// with the files it names found in `folder`. On the first fault it returns false with one
// line in report.problem: "NAME:LINE: what" for OBJ and PLY (the element's header line for a
// fault in binary PLY data), "NAME: OBJECT: what" for glTF (OBJECT such as accessors[3]).
// Triangles without area are dropped with one warning that counts them; a texture that cannot
// be read is one warning, and its material keeps its colour. The mesh is left empty on a
// fault.
bool readMeshBytes(std::string_view bytes, MeshFormat format, std::string_view name,
                   const std::filesystem::path& folder, Mesh& mesh, MeshReport& report);

// Drops the triangles whose corners, as stored in single precision, span no area (a placement
// can squeeze them so); returns how many.
std::size_t dropTrianglesWithoutArea(Mesh& mesh);

// readMeshBytes of the regular file at `path`, its format told by its name; a file that
// cannot be read gives "cannot read 'PATH': reason".
bool readMeshFile(const std::string& path, Mesh& mesh, MeshReport& report);

}  // namespace lucentor
