#include "tests/support/icosphere.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace lucentor {

Mesh icosphere(const Vec3& center, float radius, int levels, const MeshMaterial& material) {
    const double g = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<std::array<double, 3>> points = {{-1, g, 0}, {1, g, 0}, {-1, -g, 0}, {1, -g, 0},
                                                 {0, -1, g}, {0, 1, g}, {0, -1, -g}, {0, 1, -g},
                                                 {g, 0, -1}, {g, 0, 1}, {-g, 0, -1}, {-g, 0, 1}};
    std::vector<std::array<std::uint32_t, 3>> faces = {
        {0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
        {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
        {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    const auto unit = [](std::array<double, 3> p) {
        const double size = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        return std::array<double, 3>{p[0] / size, p[1] / size, p[2] / size};
    };
    for (auto& p : points) p = unit(p);
    for (int level = 0; level < levels; ++level) {
        std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> middles;
        const auto middle = [&](std::uint32_t a, std::uint32_t b) {
            const auto key = std::minmax(a, b);
            if (const auto found = middles.find(key); found != middles.end()) return found->second;
            points.push_back(unit({points[a][0] + points[b][0], points[a][1] + points[b][1],
                                   points[a][2] + points[b][2]}));
            return middles[key] = std::uint32_t(points.size() - 1);
        };
        std::vector<std::array<std::uint32_t, 3>> finer;
        for (const auto& [a, b, c] : faces) {
            const std::uint32_t ab = middle(a, b);
            const std::uint32_t bc = middle(b, c);
            const std::uint32_t ca = middle(c, a);
            finer.insert(finer.end(), {{a, ab, ca}, {b, bc, ab}, {c, ca, bc}, {ab, bc, ca}});
        }
        faces = std::move(finer);
    }
    Mesh mesh;
    for (const auto& p : points) {
        mesh.normals.push_back({float(p[0]), float(p[1]), float(p[2])});
        mesh.positions.push_back({float(double(center.x) + double(radius) * p[0]),
                                  float(double(center.y) + double(radius) * p[1]),
                                  float(double(center.z) + double(radius) * p[2])});
    }
    for (const auto& face : faces) mesh.triangles.push_back({face, 0});
    mesh.materials = {material};
    return mesh;
}

}  // namespace lucentor
