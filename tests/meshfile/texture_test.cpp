#include "meshfile/texture.h"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/meshfile/mesh_support.h"

namespace lucentor {
namespace {

struct SrgbCode {
    std::uint8_t code;
    double linear;  // the sRGB curve's inverse, from its definition
};

class SrgbCodes : public ::testing::TestWithParam<SrgbCode> {};

TEST_P(SrgbCodes, DecodeToTheCurvesValue) {
    EXPECT_FLOAT_EQ(linearFromSrgb(GetParam().code), float(GetParam().linear));
}

INSTANTIATE_TEST_SUITE_P(Codes, SrgbCodes,
                         ::testing::Values(SrgbCode{0, 0.0}, SrgbCode{10, 10.0 / 255.0 / 12.92},
                                           SrgbCode{11,
                                                    std::pow((11.0 / 255.0 + 0.055) / 1.055, 2.4)},
                                           SrgbCode{128, 0.21586050011389926}, SrgbCode{255, 1.0}));

void appendBytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), std::size_t(size));
}

// Red, green on the top row; blue, white below.
std::string quadrantsPng() {
    const std::vector<unsigned char> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    std::string png;
    stbi_write_png_to_func(appendBytes, &png, 2, 2, 3, rgb.data(), 6);
    return png;
}

constexpr Vec3 kRed{1, 0, 0};
constexpr Vec3 kGreen{0, 1, 0};
constexpr Vec3 kBlue{0, 0, 1};
constexpr Vec3 kWhite{1, 1, 1};

struct Lookup {
    TexCoord uv;
    Vec3 expected;
};

class QuadrantLookups : public ::testing::TestWithParam<Lookup> {};

// At a texel's centre its own colour; between centres the mean of its neighbours; beyond the
// picture's edge the picture again (v runs up from the bottom row).
TEST_P(QuadrantLookups, FilterBetweenTexelCentres) {
    Texture texture;
    std::string reason;
    ASSERT_TRUE(decodeTexture(quadrantsPng(), texture, reason)) << reason;
    EXPECT_EQ(textureColor(texture, GetParam().uv), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Quadrants, QuadrantLookups,
    ::testing::Values(Lookup{{0.25f, 0.75f}, kRed}, Lookup{{0.75f, 0.75f}, kGreen},
                      Lookup{{0.25f, 0.25f}, kBlue}, Lookup{{0.75f, 0.25f}, kWhite},
                      Lookup{{0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}},
                      Lookup{{0.5f, 0.75f}, {0.5f, 0.5f, 0.0f}},
                      Lookup{{0.0f, 0.75f}, {0.5f, 0.5f, 0.0f}},  // across the left edge
                      Lookup{{0.25f, 1.0f}, {0.5f, 0.0f, 0.5f}},  // across the top edge
                      Lookup{{1.25f, -0.25f}, kRed},              // a whole picture away
                      Lookup{{-3.75f, 2.75f}, kRed},
                      Lookup{{NAN, 0.75f}, {0.5f, 0.5f, 0.0f}}));  // taken as u = 0

TEST(Texture, DecodesJpegAndRefusesWhatIsNoPicture) {
    const std::vector<unsigned char> grey(8 * 8 * 3, 128);
    std::string jpeg;
    stbi_write_jpg_to_func(appendBytes, &jpeg, 8, 8, 3, grey.data(), 95);
    Texture texture;
    std::string reason;
    ASSERT_TRUE(decodeTexture(jpeg, texture, reason)) << reason;
    EXPECT_EQ(texture.width, 8);
    EXPECT_NEAR(texture.texels[27].y, linearFromSrgb(128), 0.01f);
    EXPECT_FALSE(decodeTexture("not a picture", texture, reason));
    EXPECT_EQ(reason.rfind("not a PNG or JPEG picture", 0), 0u) << reason;
    EXPECT_FALSE(decodeTexture(quadrantsPng().substr(0, 60), texture, reason));
    EXPECT_EQ(texture.width, 8);
}

// map_Kd and baseColorTexture name the picture beside the mesh file; a missing one is one
// warning and its material keeps its colour.
TEST(Texture, MeshFilesNameTheirPictures) {
    const TestFolder folder("mesh_textures");
    folder.write("quadrants.png", quadrantsPng());
    folder.write("looks.mtl",
                 "newmtl shown\nKd 1 1 1\nmap_Kd quadrants.png\n"
                 "newmtl lost\nKd 0.5 0.5 0.5\nmap_Kd gone.png\n");
    const std::string obj =
        folder.write("t.obj",
                     "mtllib looks.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.25 0.75\nusemtl shown\n"
                     "f 1/1 2/1 3/1\nusemtl lost\nf 1/1 2/1 3/1\n");
    Mesh mesh;
    MeshReport report;
    ASSERT_TRUE(readMeshFile(obj, mesh, report)) << report.problem;
    ASSERT_EQ(mesh.textures.size(), 1u);
    const MeshMaterial& shown = mesh.materials[mesh.triangles[0].material];
    ASSERT_EQ(shown.texture, 0);
    EXPECT_EQ(textureColor(mesh.textures[0], mesh.uvs[0]), kRed);
    EXPECT_EQ(mesh.materials[mesh.triangles[1].material].texture, -1);
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{obj + ": warning: texture 'gone.png': No such file or "
                                             "directory; its base colour is used"});

    const std::string gltf = folder.write(
        "t.gltf",
        replaced(replaced(embeddedCubeGltf(), R"("indices":1)", R"("indices":1,"material":0)"),
                 R"("buffers")",
                 R"("materials":[{"pbrMetallicRoughness":{"baseColorTexture":)"
                 R"({"index":0}}},{"pbrMetallicRoughness":{"baseColorTexture":)"
                 R"({"index":1}}}],"textures":[{"source":0},{"source":1}],)"
                 R"("images":[{"uri":"quadrants.png"},{"uri":"gone.png"}],"buffers")"));
    MeshReport gltfReport;
    ASSERT_TRUE(readMeshFile(gltf, mesh, gltfReport)) << gltfReport.problem;
    ASSERT_EQ(mesh.textures.size(), 1u);
    EXPECT_EQ(mesh.materials[0].texture, 0);
    EXPECT_EQ(mesh.textures[0].texels[3], kWhite);
    EXPECT_EQ(mesh.materials[1].texture, -1);
    EXPECT_EQ(gltfReport.warnings,
              std::vector<std::string>{gltf + ": warning: images[1]: cannot read 'gone.png'; its "
                                              "base colour is used"});
}

}  // namespace
}  // namespace lucentor
