#include "fuzz/mesh_checks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"

namespace lucentor::fuzzing {
namespace {

bool isFinite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool isNonNegative(const Vec3& v) { return v.x >= 0.0f && v.y >= 0.0f && v.z >= 0.0f; }

void checkMesh(const Mesh& mesh) {
    require(mesh.triangles.size() <= kMaxMeshTriangles, "no more triangles than the limit");
    require(mesh.normals.empty() || mesh.normals.size() == mesh.positions.size(),
            "a normal for every vertex or none");
    require(mesh.uvs.empty() || mesh.uvs.size() == mesh.positions.size(),
            "texture coordinates for every vertex or none");
    require(std::all_of(mesh.positions.begin(), mesh.positions.end(), isFinite),
            "finite positions");
    for (const Vec3& n : mesh.normals) {
        require(std::fabs(length(n) - 1.0f) < 1e-3f, "unit normals");
    }
    require(mesh.triangles.empty() || !mesh.materials.empty(),
            "a material wherever there are triangles");
    for (const Triangle& t : mesh.triangles) {
        for (const std::uint32_t v : t.vertices) require(v < mesh.positions.size(), "a vertex");
        require(t.material < mesh.materials.size(), "a material");
    }
    for (const MeshMaterial& m : mesh.materials) {
        require(m.texture >= -1 && m.texture < int(mesh.textures.size()), "a texture or none");
        require(m.material >= 0.0f && std::isfinite(m.material), "a material number");
        require(isFinite(m.color) && isNonNegative(m.color), "a colour");
        require(isFinite(m.emission) && isNonNegative(m.emission), "an emission");
    }
    for (const Texture& t : mesh.textures) {
        require(t.width > 0 && t.height > 0 &&
                    t.texels.size() == std::size_t(t.width) * std::size_t(t.height),
                "a whole picture");
    }
}

// "NAME:LINE: what" or "NAME: what", LINE within the text, as one printable line.
void checkProblem(std::string_view problem, std::string_view name, std::string_view text) {
    require(problem.starts_with(name), "the file named");
    std::string_view rest = problem.substr(name.size());
    if (rest.starts_with(':') && rest.size() > 1 && rest[1] != ' ') {
        int line = 0;
        const auto [end, error] = std::from_chars(rest.data() + 1, rest.data() + rest.size(), line);
        require(error == std::errc{} && line >= 1, "a line number");
        const auto lines = std::count(text.begin(), text.end(), '\n') +
                           std::count(text.begin(), text.end(), '\r') + 1;
        require(line <= lines, "a line of the text");
        rest = std::string_view(end, std::size_t(rest.data() + rest.size() - end));
    }
    require(rest.starts_with(": ") && rest.size() > 2, "what is wrong");
    for (const char c : problem) {
        const auto code = static_cast<unsigned char>(c);
        require(code >= 0x20 && code != 0x7f, "one line without control characters");
    }
}

std::string_view endingOf(MeshFormat format) {
    switch (format) {
        case MeshFormat::Obj:
            return ".obj";
        case MeshFormat::Ply:
            return ".ply";
        case MeshFormat::Gltf:
            return ".gltf";
        case MeshFormat::Glb:
            return ".glb";
        case MeshFormat::Unknown:
            break;
    }
    return ".mesh";
}

}  // namespace

void fuzzMeshFile(const std::uint8_t* data, std::size_t size, MeshFormat format) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);  // NOLINT
    const std::string name = "fuzz" + std::string(endingOf(format));
    Mesh mesh;
    MeshReport report;
    if (readMeshBytes(bytes, format, name, "/nonexistent-fuzz-folder", mesh, report)) {
        require(report.problem.empty(), "no fault when read");
        checkMesh(mesh);
        return;
    }
    checkProblem(report.problem, name, bytes);
    require(mesh.positions.empty() && mesh.triangles.empty(), "nothing kept after a fault");
}

}  // namespace lucentor::fuzzing
