// The gate between a mesh file and the renderer: every format reader throws its first fault
// here, and what they all read is checked once more the same way.
#include "meshfile/mesh_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "cli/escape.h"
#include "engine/direction.h"
#include "meshfile/mesh_reading.h"
#include "meshfile/texture.h"
#include "scenefile/scene_file.h"

namespace lucentor {
namespace {

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

// "NAME:LINE" or "NAME", as messages begin.
std::string placeText(std::string_view name, int line) {
    std::string text = escapeControls(name);
    if (line > 0) {
        text += ':';
        text += std::to_string(line);
    }
    return text;
}

std::string faultText(std::string_view name, const MeshFault& fault) {
    std::string text = placeText(name, fault.line) + ": ";
    if (!fault.object.empty()) text += escapeControls(fault.object) + ": ";
    return text + escapeControls(fault.what);
}

bool hasNoArea(const Mesh& mesh, const Triangle& triangle) {
    const auto [a, b, c] = triangle.vertices;
    if (a == b || b == c || a == c) return true;
    const Direction p = directionOf(mesh.positions[a]);
    const Direction n =
        cross(minus(directionOf(mesh.positions[b]), p), minus(directionOf(mesh.positions[c]), p));
    return n.x == 0.0 && n.y == 0.0 && n.z == 0.0;
}

// What every reader leaves to the end: triangles without area dropped (one warning), a
// default material where none is named, and normals that cannot be made unit dropped for
// flat shading (one warning).
void finishMesh(Mesh& mesh, MeshSource& source) {
    if (const std::size_t dropped = dropTrianglesWithoutArea(mesh); dropped > 0) {
        warn(source, 0,
             std::to_string(dropped) + (dropped == 1 ? " triangle" : " triangles") +
                 " without area dropped");
    }
    if (mesh.materials.empty()) mesh.materials.push_back({});
    for (Vec3& normal : mesh.normals) {
        const double size = lengthOf(directionOf(normal));
        if (!(size > 0.0)) {
            mesh.normals.clear();
            warn(source, 0, "a vertex normal of length 0: the mesh is shaded flat");
            return;
        }
        normal = narrowed(scaled(directionOf(normal), 1.0 / size));
    }
}

}  // namespace

std::size_t dropTrianglesWithoutArea(Mesh& mesh) {
    return std::erase_if(mesh.triangles,
                         [&mesh](const Triangle& triangle) { return hasNoArea(mesh, triangle); });
}

MeshFormat meshFormatOf(std::string_view path) {
    const std::string extension = lowerCase(std::filesystem::path(path).extension().string());
    if (extension == ".obj") return MeshFormat::Obj;
    if (extension == ".ply") return MeshFormat::Ply;
    if (extension == ".gltf") return MeshFormat::Gltf;
    if (extension == ".glb") return MeshFormat::Glb;
    return MeshFormat::Unknown;
}

void faultAtLine(int line, std::string what) { throw MeshFault{line, {}, std::move(what)}; }

void faultInObject(std::string object, std::string what) {
    throw MeshFault{0, std::move(object), std::move(what)};
}

void warn(MeshSource& source, int line, std::string_view what) {
    source.report->warnings.push_back(placeText(source.name, line) +
                                      ": warning: " + escapeControls(what));
}

bool readNamedFile(MeshSource& source, std::string_view relative, std::string& bytes,
                   std::string& reason) {
    const std::string path = (source.folder / relative).string();
    source.report->otherFiles.push_back(path);
    if (relative.empty()) {
        reason = "no file named";
        return false;
    }
    if (readBounded(path, kMaxMeshFileBytes, true, nullptr, bytes, reason) !=
        SceneFileStatus::Read) {
        return false;
    }
    if (bytes.size() > kMaxMeshFileBytes) {
        reason = "larger than " + std::to_string(kMaxMeshFileBytes >> 20u) + " MiB";
        return false;
    }
    return true;
}

int textureFromFile(MeshSource& source, std::string_view relative, int line, Mesh& mesh) {
    const std::string key(relative);
    if (const auto found = source.textureSlots.find(key); found != source.textureSlots.end()) {
        return found->second;
    }
    std::string bytes;
    std::string reason;
    Texture texture;
    int slot = -1;
    if (readNamedFile(source, relative, bytes, reason) && decodeTexture(bytes, texture, reason)) {
        slot = int(mesh.textures.size());
        mesh.textures.push_back(std::move(texture));
    } else {
        warn(source, line,
             "texture " + inQuotes(relative) + ": " + reason + "; its base colour is used");
    }
    source.textureSlots[key] = slot;
    return slot;
}

void checkCountFits(std::size_t count, std::size_t leastBytes, std::size_t bytesLeft, int line,
                    std::string_view what) {
    if (leastBytes == 0 || count <= bytesLeft / leastBytes) return;
    faultAtLine(line, std::to_string(count) + " " + std::string(what) + " cannot fit in the " +
                          std::to_string(bytesLeft) + " bytes that follow");
}

std::string triangleLimitText() {
    return "more than " + std::to_string(kMaxMeshTriangles) + " triangles, the most a mesh holds";
}

std::string vertexLimitText() {
    return "more than " + std::to_string(kMaxMeshVertices) + " vertices, the most a mesh holds";
}

void checkTriangleLimit(std::size_t triangles, int line) {
    if (triangles > kMaxMeshTriangles) faultAtLine(line, triangleLimitText());
}

void checkVertexLimit(std::size_t vertices, int line) {
    if (vertices > kMaxMeshVertices) faultAtLine(line, vertexLimitText());
}

std::string numberText(double value) {
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "%.6g", value);
    return text.data();
}

bool isFiniteNarrowed(double value) { return std::isfinite(float(value)); }

bool readMeshBytes(std::string_view bytes, MeshFormat format, std::string_view name,
                   const std::filesystem::path& folder, Mesh& mesh, MeshReport& report) {
    MeshSource source{name, folder, &report, {}};
    mesh = {};
    try {
        switch (format) {
            case MeshFormat::Obj:
                readObj(bytes, source, mesh);
                break;
            case MeshFormat::Ply:
                readPly(bytes, mesh);
                break;
            case MeshFormat::Gltf:
                readGltf(bytes, false, source, mesh);
                break;
            case MeshFormat::Glb:
                readGltf(bytes, true, source, mesh);
                break;
            case MeshFormat::Unknown:
                faultAtLine(0, "not a mesh file: its name must end in .obj, .ply, .gltf or .glb");
        }
        finishMesh(mesh, source);
    } catch (const MeshFault& fault) {
        report.problem = faultText(name, fault);
        mesh = {};
        return false;
    }
    return true;
}

bool readMeshFile(const std::string& path, Mesh& mesh, MeshReport& report) {
    std::string bytes;
    std::string reason;
    if (readBounded(path, kMaxMeshFileBytes, true, nullptr, bytes, reason) !=
        SceneFileStatus::Read) {
        report.problem = "cannot read " + inQuotes(path) + ": " + reason;
        return false;
    }
    if (bytes.size() > kMaxMeshFileBytes) {
        report.problem = escapeControls(path) + ": larger than " +
                         std::to_string(kMaxMeshFileBytes >> 20u) + " MiB";
        return false;
    }
    return readMeshBytes(bytes, meshFormatOf(path), path, std::filesystem::path(path).parent_path(),
                         mesh, report);
}

}  // namespace lucentor
