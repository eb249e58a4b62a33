#include "bench/sheet_mesh.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "meshfile/mesh_file.h"

namespace lucentor {
namespace {

template <class T>
void append(std::string& bytes, T value) {
    std::array<char, sizeof(T)> raw{};
    std::memcpy(raw.data(), &value, sizeof(T));
    bytes.append(raw.data(), raw.size());
}

}  // namespace

std::string sheetPly(int triangles) {
    const auto side = int(std::lround(std::sqrt(triangles / 2.0)));
    const int corners = side + 1;
    std::string bytes = "ply\nformat binary_little_endian 1.0\nelement vertex " +
                        std::to_string(corners * corners) +
                        "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
                        std::to_string(2 * side * side) +
                        "\nproperty list uchar int vertex_indices\nend_header\n";
    for (int row = 0; row < corners; ++row) {
        for (int column = 0; column < corners; ++column) {
            const double x = 3.0 * column / side - 1.5;
            const double y = 3.0 * row / side - 1.5;
            append(bytes, float(x));
            append(bytes, float(y));
            append(bytes, float(0.1 * std::sin(7.0 * x) * std::cos(5.0 * y)));
        }
    }
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const int a = row * corners + column;
            for (const int v : {a, a + 1, a + corners + 1, a, a + corners + 1, a + corners}) {
                if (v == a) append(bytes, std::uint8_t{3});
                append(bytes, std::int32_t(v));
            }
        }
    }
    return bytes;
}

std::unique_ptr<Scene> sheetScene(const std::string& ply) {
    auto scene = std::make_unique<Scene>();
    scene->limits = kSceneFileLimits;
    Mesh mesh;
    MeshReport report;
    if (!readMeshBytes(ply, MeshFormat::Ply, "sheet.ply", ".", mesh, report)) {
        std::fprintf(stderr, "%s\n", report.problem.c_str());
        return nullptr;
    }
    scene->addMesh(std::move(mesh));
    scene->addLight({-2, 3, 4}, 0.5f, {1, 1, 1}, 20.0f);
    scene->camera = CameraPose{{0, -1, 4}, {0, 0, 0}, {0, 1, 0}, 50.0f};
    scene->buildHierarchy();
    return scene;
}

}  // namespace lucentor
