#include "meshfile/mesh_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>

#include "scene/placement.h"
#include "scene/shapes.h"
#include "tests/meshfile/mesh_support.h"

namespace lucentor {
namespace {

using namespace std::string_literals;

std::string cubeObj() {
    std::string text = "# the unit cube\no cube\n";
    for (const auto& c : kCubeCorners) {
        text += "v " + std::to_string(c[0]) + " " + std::to_string(c[1]) + " " +
                std::to_string(c[2]) + "\n";
    }
    for (const auto& face : kCubeFaces) {
        // Negative indices on alternate faces: -8 is the first vertex, -1 the eighth.
        text += "f";
        for (const int corner : face) {
            text += ' ';
            text += std::to_string((&face - kCubeFaces.data()) % 2 == 1 ? corner - 8 : corner + 1);
        }
        text += "\n";
    }
    return text;
}

// Values as a PLY body holds them: ASCII words, or bytes in either order.
struct PlyWriter {
    std::string format;  // "ascii", "binary_little_endian" or "binary_big_endian"
    std::string body;

    template <typename T>
    void put(T value, bool endOfLine = false) {
        if (format == "ascii") {
            body += std::to_string(value) + (endOfLine ? "\n" : " ");
            return;
        }
        std::array<char, sizeof(T)> bytes;
        std::memcpy(bytes.data(), &value, sizeof(T));
        if (format == "binary_big_endian") std::reverse(bytes.begin(), bytes.end());
        body.append(bytes.data(), bytes.size());
    }
};

// The cube with a skipped vertex property and face property, an element of no interest
// between them, and its faces as quads.
std::string cubePly(const std::string& format) {
    PlyWriter writer{format, {}};
    for (const auto& c : kCubeCorners) {
        writer.put(float(c[0]));
        writer.put(std::uint8_t(200));
        writer.put(float(c[1]));
        writer.put(double(c[2]), true);
    }
    writer.put(std::int16_t(-7));
    writer.put(std::uint8_t(2));
    writer.put(std::int32_t(1));
    writer.put(std::int32_t(2), true);
    for (const auto& face : kCubeFaces) {
        writer.put(std::uint8_t(4));
        for (const int corner : face) writer.put(std::uint32_t(corner));
        writer.put(-1.5f, true);
    }
    return "ply\r\nformat " + format +
           " 1.0\ncomment made by a test\nelement vertex 8\nproperty float x\n"
           "property uchar red\nproperty float32 y\nproperty double z\n"
           // Items of no properties hold nothing, however many: none is read.
           "element mark 1000000000000000\nelement note 1\n"
           "property short tone\nproperty list uchar int pair\nelement face 6\n"
           "property list uint8 uint vertex_indices\nproperty float weight\nend_header\n" +
           writer.body;
}

// A PLY of float x, y, z and one-byte-counted int indices, the layout binary files are read
// four bytes at a time in: the cube with its first face as a quad and the rest as triangles,
// so that the reading passes from that path to the value-by-value one and back.
std::string plainPly(const std::string& format) {
    PlyWriter writer{format, {}};
    for (const auto& c : kCubeCorners) {
        for (const int coordinate : c) writer.put(float(coordinate));
    }
    int faces = 0;
    const auto putFace = [&](std::initializer_list<int> corners) {
        writer.put(std::uint8_t(corners.size()));
        for (const int corner : corners) writer.put(std::int32_t(corner));
        ++faces;
    };
    for (const auto& f : kCubeFaces) {
        if (&f == kCubeFaces.data()) {
            putFace({f[0], f[1], f[2], f[3]});
        } else {
            putFace({f[0], f[1], f[2]});
            putFace({f[0], f[2], f[3]});
        }
    }
    return "ply\nformat " + format +
           " 1.0\nelement vertex 8\nproperty float x\nproperty float y\nproperty float z\n"
           "element face " +
           std::to_string(faces) + "\nproperty list uchar int vertex_indices\nend_header\n" +
           writer.body;
}

struct CubeFile {
    std::string label;
    std::string name;
    std::function<std::string()> bytes;
};

void PrintTo(const CubeFile& file, std::ostream* out) { *out << file.label; }

class CubeFiles : public ::testing::TestWithParam<CubeFile> {};

// The unit cube of every format, placed by scale 2 and position (1, 2, 3), is the box from
// (1, 2, 3) to (3, 4, 5): the same triangles, corner for corner and winding for winding.
TEST_P(CubeFiles, ReadAndPlacedAreTheBox) {
    Mesh mesh;
    MeshReport report;
    ASSERT_TRUE(readMeshBytes(GetParam().bytes(), meshFormatOf(GetParam().name), GetParam().name,
                              {}, mesh, report))
        << report.problem;
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    placeMesh(mesh, placementMatrix({1, 2, 3}, {2, 2, 2}, {}));
    EXPECT_EQ(triangleSet(mesh), triangleSet(boxMesh({1, 2, 3}, {3, 4, 5}, {}, {})));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CubeFiles,
    ::testing::Values(
        CubeFile{"obj", "cube.obj", cubeObj},
        CubeFile{"ply_ascii", "cube.ply", [] { return cubePly("ascii"); }},
        CubeFile{"ply_little_endian", "cube.ply", [] { return cubePly("binary_little_endian"); }},
        CubeFile{"ply_big_endian", "cube.ply", [] { return cubePly("binary_big_endian"); }},
        CubeFile{"ply_plain_little_endian", "cube.ply",
                 [] { return plainPly("binary_little_endian"); }},
        CubeFile{"ply_plain_big_endian", "cube.ply", [] { return plainPly("binary_big_endian"); }},
        CubeFile{"gltf_embedded", "cube.gltf", embeddedCubeGltf},
        CubeFile{"glb", "cube.glb", cubeGlb}),
    [](const auto& test) { return test.param.label; });

// What the MTL file's materials become: Kd diffuse, Ks without Kd a mirror, d below 1 glass
// of index Ni, Ke kept but for a negative or infinite channel (0 instead); a polygon fanned
// into triangles; faces before any usemtl get the default material.
TEST(ObjFile, MaterialsAndPolygons) {
    const TestFolder folder("obj_materials");
    folder.write("looks.mtl",
                 "newmtl red\nKd 0.8 0.1 0.1\nKe 2 2 0\n"
                 "newmtl chrome\nKd 0 0 0\nKs 0.9 0.7 0.8\n"
                 "newmtl water\nKd 0.2 0.3 1\nd 0.3\nNi 1.33\nKe -1 1e39 0.5\n");
    const std::string obj =
        folder.write("shapes.obj",
                     "mtllib looks.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0.5 2 0\nv 0 1 0\n"
                     "f 1 2 3\nusemtl red\nf 1 2 3 4 5\nusemtl chrome\nf -5 -4 -3\nusemtl water\n"
                     "f 1 3 5\n");
    Mesh mesh;
    MeshReport report;
    ASSERT_TRUE(readMeshFile(obj, mesh, report)) << report.problem;
    ASSERT_EQ(mesh.triangles.size(), 6u);
    const auto materialOf = [&mesh](std::size_t t) {
        return mesh.materials[mesh.triangles[t].material];
    };
    EXPECT_EQ(materialOf(0).color, (MeshMaterial{}.color));
    EXPECT_EQ(materialOf(0).material, 0.0f);
    // The pentagon 1 2 3 4 5 as the fan 123, 134, 145.
    EXPECT_EQ(mesh.positions[mesh.triangles[3].vertices[2]], (Vec3{0, 1, 0}));
    EXPECT_EQ(materialOf(1).color, (Vec3{0.8f, 0.1f, 0.1f}));
    EXPECT_EQ(materialOf(1).emission, (Vec3{2, 2, 0}));
    EXPECT_EQ(materialOf(4).material, 0.9f);
    EXPECT_EQ(materialOf(5).material, 1.33f);
    EXPECT_EQ(materialOf(5).emission, (Vec3{0, 0, 0.5f}));
    EXPECT_EQ(report.otherFiles, std::vector<std::string>{(folder.path / "looks.mtl").string()});
}

TEST(ObjFile, MissingLibraryIsOneWarning) {
    Mesh mesh;
    MeshReport report;
    ASSERT_TRUE(readMeshBytes("mtllib gone.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
                              MeshFormat::Obj, "a.obj", "/nonexistent", mesh, report));
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.warnings[0],
              "a.obj: warning: material library 'gone.mtl': No such file or directory; default "
              "materials are used");
    EXPECT_EQ(mesh.triangles.size(), 1u);
}

// Smooth normals and texture coordinates where every corner names them, one vertex for each
// distinct corner; triangles without area dropped with one warning.
TEST(ObjFile, CornersAndDegenerateTriangles) {
    Mesh mesh;
    MeshReport report;
    ASSERT_TRUE(
        readMeshBytes("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 2 0 0\nvn 0 0 2\nvn 0 0 -1\n"
                      "vt 0 0\nvt 1 0\nf 1/1/1 2/2/1 3/1/1\nf 1/1/2 2/2/1 3/1/1\n"
                      "f 1/1/1 2/1/1 4/1/1\nf 1/1/1 1/1/1 3/1/1\n",
                      MeshFormat::Obj, "n.obj", {}, mesh, report));
    EXPECT_EQ(mesh.triangles.size(), 2u);
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{"n.obj: warning: 2 triangles without area dropped"});
    EXPECT_EQ(mesh.positions.size(), 6u);
    ASSERT_EQ(mesh.normals.size(), 6u);
    EXPECT_EQ(mesh.normals[0], (Vec3{0, 0, 1}));
    EXPECT_EQ(mesh.normals[3], (Vec3{0, 0, -1}));
    ASSERT_EQ(mesh.uvs.size(), 6u);
    EXPECT_EQ(mesh.uvs[1].u, 1.0f);
}

// The bytes are refused with exactly the message, and nothing of them is kept.
void expectOneLocatedLine(const BadMesh& bad) {
    Mesh mesh;
    MeshReport report;
    EXPECT_FALSE(readMeshBytes(bad.bytes, meshFormatOf(bad.name), bad.name, {}, mesh, report));
    EXPECT_EQ(report.problem, bad.message);
    EXPECT_TRUE(mesh.triangles.empty() && mesh.positions.empty());
}

TEST_P(BadMeshes, GiveOneLocatedLine) { expectOneLocatedLine(GetParam()); }

const std::string kTriangleObj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

INSTANTIATE_TEST_SUITE_P(
    Obj, BadMeshes,
    ::testing::Values(
        BadMesh{"i.obj", kTriangleObj + "f 1 2 4\n",
                "i.obj:4: a vertex index is out of range: the file has 3 vertices"},
        BadMesh{"i.obj", kTriangleObj + "f -1 -2 -4\n",
                "i.obj:4: a vertex index is out of range: the file has 3 vertices"},
        BadMesh{"i.obj", kTriangleObj + "vn 0 0 1\nf 1//1 2//2 3//1\n",
                "i.obj:5: a normal index is out of range: the file has 1 normals"},
        BadMesh{"i.obj", kTriangleObj + "f 1 2 4294967299\n",
                "i.obj:4: an index is out of range: no file has a billion vertices"},
        BadMesh{"i.obj", kTriangleObj + "f 1 0 2\n",
                "i.obj:4: an index is 0 or not a number (indices count from 1, or back from -1)"},
        BadMesh{"n.obj", "v 0 0 0\r\nv 1 nan 0\r\n",
                "n.obj:2: 'nan' is not a finite number in single precision (NaN, infinite or "
                "beyond 3.4e38)"},
        BadMesh{"n.obj", "v 0 0 0\rv 1 0 1e39\r",
                "n.obj:2: '1e39' is not a finite number in single precision (NaN, infinite or "
                "beyond 3.4e38)"},
        BadMesh{"n.obj", "vt 0 x\n", "n.obj:1: 'vt' takes numbers, not 'x'"},
        BadMesh{"n.obj", "\nv 1 2\n", "n.obj:2: 'v' needs 3 numbers"},
        BadMesh{"f.obj", kTriangleObj + "\n\nf 1 2\n",
                "f.obj:6: a face needs three vertices or more"},
        BadMesh{"z.obj", "v 0 0 0\nv 1\0 0 0\n"s, "z.obj:2: a NUL byte: an OBJ file is text"}));

// Apart from the table, whose values every test program makes and copies as it starts, once
// for each test CTest runs: 20 MB take about a second each time under AddressSanitizer.
TEST(ObjFile, AFacePastTheTriangleLimitIsOneLocatedLine) {
    std::string corners;
    for (int i = 0; i < 10'000'003; ++i) corners += " 1";
    expectOneLocatedLine({"big.obj", kTriangleObj + "f" + corners + "\n",
                          "big.obj:4: more than 10000000 triangles, the most a mesh holds"});
}

const std::string kPlyHeader =
    "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
    "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";

// The bytes without their last `cut`.
std::string shortened(std::string bytes, std::size_t cut) {
    bytes.resize(bytes.size() - cut);
    return bytes;
}

// A face of 4,000,000,000 corners in a little-endian body.
std::string hugeFacePly() {
    PlyWriter writer{"binary_little_endian", {}};
    for (int i = 0; i < 9; ++i) writer.put(0.0f);
    writer.put(std::uint32_t(4'000'000'000u));
    return "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
           "property float y\nproperty float z\nelement face 1\n"
           "property list uint int vertex_indices\nend_header\n" +
           writer.body;
}

// The big-endian cube of plainPly with its last vertex index replaced.
std::string withLastIndex(std::string bytes, std::int32_t index) {
    PlyWriter writer{"binary_big_endian", {}};
    writer.put(index);
    return bytes.replace(bytes.size() - 4, 4, writer.body);
}

INSTANTIATE_TEST_SUITE_P(
    PlainPly, BadMeshes,
    ::testing::Values(
        BadMesh{"t.ply", withLastIndex(plainPly("binary_big_endian"), 8),
                "t.ply:7: face 10: vertex index 8 is out of range: there are 8 vertices"},
        BadMesh{"t.ply", withLastIndex(plainPly("binary_big_endian"), -1),
                "t.ply:7: face 10: vertex index -1 is out of range: there are 8 vertices"},
        BadMesh{"t.ply", shortened(plainPly("binary_big_endian"), 2),
                "t.ply:7: 3 corners of a face cannot fit in the 10 bytes that follow"}));

INSTANTIATE_TEST_SUITE_P(
    Ply, BadMeshes,
    ::testing::Values(
        BadMesh{"t.ply", kPlyHeader + "0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n",
                "t.ply:13: face 0: vertex index 3 is out of range: there are 3 vertices"},
        BadMesh{"t.ply", kPlyHeader + "0 0 0\n1 0 0\n0 1 0\n3 0 -1 2\n",
                "t.ply:13: face 0: vertex index -1 is out of range: there are 3 vertices"},
        BadMesh{"t.ply", kPlyHeader + "0 0 0\n1 nan 0\n0 1 0\n3 0 1 2\n",
                "t.ply:11: vertex 1: 'y' is not a finite number in single precision (nan)"},
        BadMesh{"t.ply", kPlyHeader + "0 0 0\n1 0 0\n0 1 1e39\n3 0 1 2\n",
                "t.ply:12: vertex 2: 'z' is not a finite number in single precision (1e+39)"},
        BadMesh{"t.ply", kPlyHeader + "0 0 0\n1 0 0\n0 1 0\n2 0 1\n",
                "t.ply:13: face 0: needs three vertices or more"},
        BadMesh{"t.ply", kPlyHeader + "0 0 0\n1 0 0\n0 1 0\n3 0 1.5 2\n",
                "t.ply:13: face 0: a vertex index must be a whole number, not 1.5"},
        BadMesh{"t.ply", kPlyHeader + "0 0 0\n1 0 0\n0 1 0\n3 0 1\n",
                "t.ply:13: 3 corners of a face cannot fit in the 5 bytes that follow"},
        BadMesh{"t.ply", kPlyHeader + "0 0 0\n1 0 x\n0 1 0\n3 0 1 2\n",
                "t.ply:11: not a number: 'x'"},
        BadMesh{"t.ply", shortened(cubePly("binary_little_endian"), 66),
                "t.ply:13: the file ends inside face 2 of 6"},
        BadMesh{"t.ply", shortened(cubePly("binary_big_endian"), 200),
                "t.ply:4: 8 items of 'vertex' cannot fit in the 73 bytes that follow"},
        BadMesh{"t.ply",
                "ply\nformat binary_big_endian 1.0\nelement vertex 1000000\nproperty float x\n"
                "property float y\nproperty float z\nend_header\n0123456789",
                "t.ply:3: 1000000 items of 'vertex' cannot fit in the 10 bytes that follow"},
        BadMesh{"t.ply", hugeFacePly(),
                "t.ply:7: 4000000000 corners of a face cannot fit in the 0 bytes that follow"},
        BadMesh{"t.ply",
                "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                "property float z\nelement face 10000001\nproperty list uchar int "
                "vertex_indices\nend_header\n",
                "t.ply:7: more than 10000000 triangles, the most a mesh holds"},
        BadMesh{"t.ply", "plx\n", "t.ply:1: not a PLY file: its first line must be 'ply'"},
        BadMesh{"t.ply", "ply\nformat ascii 2.0\n",
                "t.ply:2: the format must be 'format ascii 1.0', 'format binary_little_endian "
                "1.0' or 'format binary_big_endian 1.0'"},
        BadMesh{"t.ply",
                "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
                "property half y\n",
                "t.ply:5: unknown property type 'half' (char, uchar, short, ushort, int, uint, "
                "float, double)"},
        BadMesh{"t.ply",
                "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
                "property float y\nend_header\n",
                "t.ply:3: the vertex element needs the properties x, y and z"},
        BadMesh{"t.ply", "ply\nformat ascii 1.0\nelement vertex 1\n",
                "t.ply:4: the header has no 'end_header'"}));

INSTANTIATE_TEST_SUITE_P(Names, BadMeshes,
                         ::testing::Values(BadMesh{"a.stl", "solid",
                                                   "a.stl: not a mesh file: its "
                                                   "name must end in .obj, "
                                                   ".ply, .gltf or .glb"}));

}  // namespace
}  // namespace lucentor
