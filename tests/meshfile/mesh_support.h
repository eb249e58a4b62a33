#pragma once

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "meshfile/mesh_file.h"

namespace lucentor {

// A triangle as its three corners, begun at the least corner (x, then y, then z) so that two
// triangles of the same corners and winding compare equal whatever corner a file begins at.
using CornerTriple = std::array<std::array<float, 3>, 3>;

inline std::vector<CornerTriple> triangleSet(const Mesh& mesh) {
    std::vector<CornerTriple> set;
    for (const Triangle& triangle : mesh.triangles) {
        CornerTriple corners;
        for (std::size_t k = 0; k < 3; ++k) {
            const Vec3& p = mesh.positions[triangle.vertices[k]];
            corners[k] = {p.x, p.y, p.z};
        }
        std::rotate(corners.begin(), std::min_element(corners.begin(), corners.end()),
                    corners.end());
        set.push_back(corners);
    }
    std::sort(set.begin(), set.end());
    return set;
}

// The unit cube's corners (corner i has x = 1 where bit 0 of i is set, y for bit 1, z for
// bit 2) and its faces as quads, counter-clockwise seen from outside.
inline constexpr std::array<std::array<int, 3>, 8> kCubeCorners = {
    {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}}};
inline constexpr std::array<std::array<int, 4>, 6> kCubeFaces = {
    {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}}};

// A folder of its own for one test's files, removed afterwards.
struct TestFolder {
    std::filesystem::path path;

    explicit TestFolder(const std::string& name)
        : path(std::filesystem::temp_directory_path() / (name + "." + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path);
    }
    ~TestFolder() { std::filesystem::remove_all(path); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string file = (path / name).string();
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
};

}  // namespace lucentor
