#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <string_view>
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

// The cube's buffer: 8 float positions (96 bytes), then the 36 unsigned short corners of its
// triangles (72 bytes), each quad fanned from its first corner.
inline std::string cubeBuffer() {
    std::string bytes;
    const auto put = [&bytes](const auto value) {
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    };
    for (const auto& c : kCubeCorners) {
        for (const int coordinate : c) put(float(coordinate));
    }
    for (const auto& face : kCubeFaces) {
        for (const int k : {0, 1, 2, 0, 2, 3}) put(std::uint16_t(face[std::size_t(k)]));
    }
    return bytes;
}

inline std::string base64(std::string_view bytes) {
    constexpr std::string_view kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8u | (i + k < bytes.size() ? std::uint8_t(bytes[i + k]) : 0u);
        }
        // n bytes give n + 1 digits; '=' pads the group to four.
        const std::size_t digits = std::min<std::size_t>(bytes.size() - i, 3) + 1;
        for (std::size_t k = 0; k < 4; ++k) {
            text += k < digits ? kDigits[(group >> (18 - 6 * k)) & 63u] : '=';
        }
    }
    return text;
}

// The cube as glTF JSON: one node, one primitive of indexed triangles, its buffer at `uri`
// (none: a .glb's BIN chunk).
inline std::string cubeGltfJson(const std::string& uri) {
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
           R"("nodes":[{"mesh":0}],)"
           R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)"
           R"("accessors":[{"bufferView":0,"componentType":5126,"count":8,"type":"VEC3",)"
           R"("min":[0,0,0],"max":[1,1,1]},)"
           R"({"bufferView":1,"componentType":5123,"count":36,"type":"SCALAR"}],)"
           R"("bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":96},)"
           R"({"buffer":0,"byteOffset":96,"byteLength":72}],)"
           R"("buffers":[{"byteLength":168)" +
           (uri.empty() ? std::string() : R"(,"uri":")" + uri + '"') + "}]}";
}

inline std::string embeddedCubeGltf() {
    return cubeGltfJson("data:application/octet-stream;base64," + base64(cubeBuffer()));
}

// A .glb of the JSON and BIN chunks, each padded to 4 bytes.
inline std::string glb(std::string json, std::string bin) {
    json.resize((json.size() + 3) / 4 * 4, ' ');
    bin.resize((bin.size() + 3) / 4 * 4, '\0');
    std::string bytes;
    const auto put = [&bytes](std::uint32_t value) {
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    };
    put(0x46546C67);
    put(2);
    put(std::uint32_t(12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size())));
    put(std::uint32_t(json.size()));
    put(0x4E4F534A);
    bytes += json;
    if (!bin.empty()) {
        put(std::uint32_t(bin.size()));
        put(0x004E4942);
        bytes += bin;
    }
    return bytes;
}

inline std::string cubeGlb() { return glb(cubeGltfJson(""), cubeBuffer()); }

// `text` with the first `from` replaced by `to`; the test's own mistake if there is none.
inline std::string replaced(std::string text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos) return "no '" + std::string(from) + "' to replace";
    return text.replace(at, from.size(), to);
}

// A bad input of a table of cases, and the one line it must give.
struct BadMesh {
    std::string name;  // how messages name the file; its ending tells the format
    std::string bytes;
    std::string message;
};

inline void PrintTo(const BadMesh& bad, std::ostream* out) { *out << bad.message; }

// The tables' test, in mesh_file_test.cpp; each format's file instantiates it with its table.
class BadMeshes : public ::testing::TestWithParam<BadMesh> {};

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
