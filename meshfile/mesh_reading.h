#pragma once

// What the format readers share: how they report a fault, and the files a mesh names.
#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "meshfile/mesh_file.h"

namespace lucentor {

// The first fault of a mesh file; thrown out of the format readers to readMeshBytes.
struct MeshFault {
    int line = 0;        // 1-based, for OBJ and PLY; 0 where the fault has no line
    std::string object;  // for glTF: the object at fault, such as "accessors[3]"
    std::string what;
};

[[noreturn]] void faultAtLine(int line, std::string what);
[[noreturn]] void faultInObject(std::string object, std::string what);

// A mesh file being read: its name in messages, the folder of the files it names, and the
// textures already read, by path, so that a picture named twice is read once.
struct MeshSource {
    std::string_view name;
    std::filesystem::path folder;
    MeshReport* report = nullptr;
    std::map<std::string, int> textureSlots;
};

// "NAME: warning: what" (with :LINE after NAME when `line` is above 0) into the report.
void warn(MeshSource& source, int line, std::string_view what);

// Reads the file `relative` names beside the mesh file (a regular file of at most
// kMaxMeshFileBytes); false with the reason. It is listed among the report's other files.
bool readNamedFile(MeshSource& source, std::string_view relative, std::string& bytes,
                   std::string& reason);

// The slot in mesh.textures of the picture file `relative` names, read and decoded once; -1
// with one warning (at `line`, if above 0) when it cannot be read or decoded.
int textureFromFile(MeshSource& source, std::string_view relative, int line, Mesh& mesh);

// Faults unless `count` items of at least `leastBytes` each fit into the `bytesLeft` of the
// file: a count a file cannot hold never reserves memory.
void checkCountFits(std::size_t count, std::size_t leastBytes, std::size_t bytesLeft, int line,
                    std::string_view what);

// Faults when `triangles` is above kMaxMeshTriangles, or `vertices` above kMaxMeshVertices.
void checkTriangleLimit(std::size_t triangles, int line);
void checkVertexLimit(std::size_t vertices, int line);
// What those two say.
std::string triangleLimitText();
std::string vertexLimitText();

// A number as messages show it, to 6 significant digits.
std::string numberText(double value);

// Whether the float `value`, narrowed from the nearest double of the file's number, is finite:
// the narrowing can overflow where the double does not.
bool isFiniteNarrowed(double value);

void readObj(std::string_view text, MeshSource& source, Mesh& mesh);
void readPly(std::string_view bytes, Mesh& mesh);
void readGltf(std::string_view bytes, bool binary, MeshSource& source, Mesh& mesh);

}  // namespace lucentor
