// glTF beyond the cube of mesh_file_test: node placements, external buffers, materials and
// the faults that name their object.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "meshfile/mesh_file.h"
#include "scene/shapes.h"
#include "tests/meshfile/mesh_support.h"

namespace lucentor {
namespace {

bool readGltfText(const std::string& json, Mesh& mesh, MeshReport& report,
                  const std::filesystem::path& folder = {}) {
    return readMeshBytes(json, MeshFormat::Gltf, "m.gltf", folder, mesh, report);
}

// A parent's matrix (by columns: a move by (1, 2, 3)) over a child's scale 2 puts the unit cube
// where the box from (1, 2, 3) to (3, 4, 5) is; the buffer is a file beside the glTF file.
TEST(GltfFile, NodesPlaceTheirMeshesFromAnExternalBuffer) {
    const TestFolder folder("gltf_nodes");
    folder.write("cube.bin", cubeBuffer());
    const std::string json =
        replaced(cubeGltfJson("cube.bin"), R"("nodes":[{"mesh":0}])",
                 R"("nodes":[{"matrix":[1,0,0,0, 0,1,0,0, 0,0,1,0, 1,2,3,1],"children":[1]},)"
                 R"({"scale":[2,2,2],"mesh":0}])");
    Mesh mesh;
    MeshReport report;
    ASSERT_TRUE(readGltfText(json, mesh, report, folder.path)) << report.problem;
    EXPECT_EQ(triangleSet(mesh), triangleSet(boxMesh({1, 2, 3}, {3, 4, 5}, {}, {})));
    EXPECT_EQ(report.otherFiles, std::vector<std::string>{(folder.path / "cube.bin").string()});
}

// A quarter turn about y (the quaternion (0, sin 45, 0, cos 45)) over a move: the corner
// (1, 1, 1) of the cube goes to (1, 1, -1) + (0, 0, -5).
TEST(GltfFile, RotationsAreQuaternions) {
    const std::string json =
        replaced(embeddedCubeGltf(), R"("nodes":[{"mesh":0}])",
                 R"("nodes":[{"translation":[0,0,-5],"rotation":[0,0.70710678118654752,0,)"
                 R"(0.70710678118654752],"mesh":0}])");
    Mesh mesh;
    MeshReport report;
    ASSERT_TRUE(readGltfText(json, mesh, report)) << report.problem;
    EXPECT_NEAR(mesh.positions[7].x, 1.0f, 1e-6f);
    EXPECT_NEAR(mesh.positions[7].y, 1.0f, 1e-6f);
    EXPECT_NEAR(mesh.positions[7].z, -6.0f, 1e-6f);
}

// A primitive of lines beside the cube's triangles is left out with one warning.
TEST(GltfFile, LeavesOutWhatIsNotTriangles) {
    const std::string json = replaced(embeddedCubeGltf(), R"("indices":1})",
                                      R"("indices":1},{"attributes":)"
                                      R"({"POSITION":0},"mode":1})");
    Mesh mesh;
    MeshReport report;
    ASSERT_TRUE(readGltfText(json, mesh, report)) << report.problem;
    EXPECT_EQ(mesh.triangles.size(), 12u);
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{"m.gltf: warning: 1 primitives that are not triangle lists "
                                       "(points, lines, strips or fans) left out"});
}

struct GltfLook {
    std::string material;  // a glTF material object
    MeshMaterial expected;
};

void PrintTo(const GltfLook& look, std::ostream* out) { *out << look.material; }

class GltfMaterials : public ::testing::TestWithParam<GltfLook> {};

TEST_P(GltfMaterials, MapOntoTheRenderersMaterials) {
    const std::string json =
        replaced(replaced(embeddedCubeGltf(), R"("indices":1)", R"("indices":1,"material":0)"),
                 R"("buffers")", R"("materials":[)" + GetParam().material + R"(],"buffers")");
    Mesh mesh;
    MeshReport report;
    ASSERT_TRUE(readGltfText(json, mesh, report)) << report.problem;
    const MeshMaterial& read = mesh.materials[mesh.triangles[0].material];
    EXPECT_EQ(read.color, GetParam().expected.color);
    EXPECT_EQ(read.material, GetParam().expected.material);
    EXPECT_EQ(read.emission, GetParam().expected.emission);
}

INSTANTIATE_TEST_SUITE_P(
    Looks, GltfMaterials,
    ::testing::Values(
        // glTF's defaults: white, metallic 1 but rough 1, so diffuse.
        GltfLook{"{}", {{1, 1, 1}, 0.0f, {}, -1}},
        GltfLook{R"({"pbrMetallicRoughness":{"baseColorFactor":[0.5,0.25,1,1],)"
                 R"("metallicFactor":0}})",
                 {{0.5f, 0.25f, 1}, 0.0f, {}, -1}},
        // A channel beyond single precision is the default's, a negative one 0.
        GltfLook{R"({"pbrMetallicRoughness":{"baseColorFactor":[1e39,0.5,-1,1],)"
                 R"("metallicFactor":0}})",
                 {{1, 0.5f, 0}, 0.0f, {}, -1}},
        GltfLook{R"({"pbrMetallicRoughness":{"metallicFactor":0.75,"roughnessFactor":0.1}})",
                 {{1, 1, 1}, 0.75f, {}, -1}},
        GltfLook{R"({"pbrMetallicRoughness":{"metallicFactor":1,"roughnessFactor":0.5}})",
                 {{1, 1, 1}, 0.0f, {}, -1}},
        GltfLook{R"({"extensions":{"KHR_materials_transmission":{"transmissionFactor":1},)"
                 R"("KHR_materials_ior":{"ior":1.33}}})",
                 {{1, 1, 1}, 1.33f, {}, -1}},
        GltfLook{R"({"extensions":{"KHR_materials_transmission":{"transmissionFactor":0.5}}})",
                 {{1, 1, 1}, 1.5f, {}, -1}},
        // The emission: emissiveFactor times KHR_materials_emissive_strength.
        GltfLook{R"({"emissiveFactor":[1,0.5,0],"extensions":)"
                 R"({"KHR_materials_emissive_strength":{"emissiveStrength":4}}})",
                 {{1, 1, 1}, 0.0f, {4, 2, 0}, -1}},
        GltfLook{R"({"emissiveFactor":[1,0.5,0.25]})", {{1, 1, 1}, 0.0f, {1, 0.5f, 0.25f}, -1}},
        GltfLook{R"({"emissiveFactor":[1,0.5,0],"extensions":)"
                 R"({"KHR_materials_emissive_strength":{"emissiveStrength":0}}})",
                 {{1, 1, 1}, 0.0f, {0, 0, 0}, -1}},
        GltfLook{R"({"emissiveFactor":[1,1,0.5],"extensions":)"
                 R"({"KHR_materials_emissive_strength":{"emissiveStrength":0.1}}})",
                 {{1, 1, 1}, 0.0f, {0.1f, 0.1f, 0.05f}, -1}},
        // A negative strength is no strength; a product beyond single precision no emission.
        GltfLook{R"({"emissiveFactor":[1,0.5,0],"extensions":)"
                 R"({"KHR_materials_emissive_strength":{"emissiveStrength":-2}}})",
                 {{1, 1, 1}, 0.0f, {1, 0.5f, 0}, -1}},
        GltfLook{R"({"emissiveFactor":[1,0.5,0],"extensions":)"
                 R"({"KHR_materials_emissive_strength":{"emissiveStrength":1e39}}})",
                 {{1, 1, 1}, 0.0f, {0, 0, 0}, -1}}));

// The cube's buffer with one float or index changed.
std::string cubeBufferWith(std::size_t at, const auto value) {
    std::string bytes = cubeBuffer();
    std::memcpy(bytes.data() + at, &value, sizeof value);
    return bytes;
}

std::string embedded(const std::string& buffer) {
    return cubeGltfJson("data:application/octet-stream;base64," + base64(buffer));
}

INSTANTIATE_TEST_SUITE_P(
    Gltf, BadMeshes,
    ::testing::Values(
        BadMesh{"m.gltf", replaced(embeddedCubeGltf(), R"("count":8)", R"("count":9)"),
                "m.gltf: accessors[0]: 9 elements do not fit in the 96 bytes of bufferViews[0]"},
        BadMesh{"m.gltf", replaced(embeddedCubeGltf(), R"("byteLength":72)", R"("byteLength":80)"),
                "m.gltf: bufferViews[1]: bytes 96 to 176 lie beyond the 168 bytes of buffers[0]"},
        BadMesh{"m.gltf", embedded(cubeBufferWith(96 + 2 * 5, std::uint16_t(8))),
                "m.gltf: accessors[1]: index 8 at element 5 is out of range: the primitive has "
                "8 vertices"},
        BadMesh{"m.gltf",
                embedded(cubeBufferWith(12 * 3 + 4, std::numeric_limits<float>::quiet_NaN())),
                "m.gltf: accessors[0]: element 3 is not finite"},
        BadMesh{"m.gltf", embedded(cubeBufferWith(0, std::numeric_limits<float>::infinity())),
                "m.gltf: accessors[0]: element 0 is not finite"},
        BadMesh{"m.gltf", replaced(embeddedCubeGltf(), R"("count":36)", R"("count":35)"),
                "m.gltf: meshes[0].primitives[0]: 35 corners do not make whole triangles"},
        BadMesh{"m.gltf", replaced(embeddedCubeGltf(), R"("count":36)", R"("count":30000003)"),
                "m.gltf: meshes[0]: more than 10000000 triangles, the most a mesh holds"},
        BadMesh{"m.gltf",
                replaced(embeddedCubeGltf(), R"("componentType":5126)", R"("componentType":5123)"),
                "m.gltf: accessors[0]: not of a type that POSITION can have"},
        BadMesh{"m.gltf",
                replaced(embeddedCubeGltf(), R"({"mesh":0})", R"({"mesh":0,"children":[0]})"),
                "m.gltf: nodes[0]: reached twice: the node hierarchy must be a tree"},
        BadMesh{"m.gltf",
                replaced(embeddedCubeGltf(), R"({"mesh":0})", R"({"mesh":0,"scale":[1,0,1]})"),
                "m.gltf: nodes[0]: the matrix is not invertible: it flattens the mesh"},
        BadMesh{"m.gltf", replaced(embeddedCubeGltf(), R"({"mesh":0})", R"({"mesh":3})"),
                "m.gltf: nodes[0]: mesh 3 does not exist"},
        BadMesh{"m.gltf", replaced(embeddedCubeGltf(), R"("scene":0)", R"("scene":2)"),
                "m.gltf: scene: scene 2 does not exist"},
        BadMesh{"m.glb", replaced(cubeGlb(), "BIN", "BIM"), "m.glb: chunk[1]: not a BIN chunk"},
        BadMesh{"m.glb", cubeGlb().substr(0, 100),
                "m.glb: header: says 656 bytes, but the file has 100"},
        BadMesh{"m.glb", glb(cubeGltfJson(""), cubeBuffer().substr(0, 160)),
                "m.glb: buffers[0]: Invalid `byteLength'. Must be equal or less than binary size: "
                "`byteLength' = 168, binary size = 160"},
        BadMesh{"m.gltf", cubeGltfJson("gone.bin"),
                "m.gltf: cannot read 'gone.bin': No such file or directory"},
        BadMesh{"m.gltf", "{\"asset\":",
                "m.gltf: [json.exception.parse_error.101] parse error at line 1, column 10: "
                "syntax error while parsing value - unexpected end of input; expected '[', '{', "
                "or a literal"},
        BadMesh{"m.gltf", R"({"asset":{"version":"1.0"}})",
                "m.gltf: asset: version '1.0': only glTF 2 is read"},
        BadMesh{"m.gltf",
                R"({"asset":{"version":"2.0"},"extras":)" + std::string(300, '[') + R"("]\"[[[["})",
                "m.gltf: the JSON nests more than 256 levels deep"},
        BadMesh{"m.glb", glb(R"({"extras":)" + std::string(257, '{'), ""),
                "m.glb: the JSON nests more than 256 levels deep"},
        BadMesh{"m.gltf",
                replaced(embeddedCubeGltf(), R"("buffers")",
                         R"("materials":[{},{"pbrMetallicRoughness":{"baseColorTexture":)"
                         R"({"index":2}}}],"buffers")"),
                "m.gltf: materials[1]: 'baseColorTexture' names texture 2, which does not exist"},
        BadMesh{"m.glb", "glTF", "m.glb: header: shorter than the 12 bytes of a .glb header"},
        BadMesh{"m.glb", replaced(cubeGlb(), "glTF", "gltf"),
                "m.glb: header: not a .glb file: it must begin with 'glTF'"}));

}  // namespace
}  // namespace lucentor
