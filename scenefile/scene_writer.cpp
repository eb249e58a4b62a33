#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "scenefile/scene_file.h"
#include "shading/materials.h"

namespace lucentor {
namespace {

constexpr std::string_view kFormatNotes = R"(#
# A Lucentor scene file (TOML). `lucentor-render FILE.toml` renders it as it renders a preset,
# `lucentor-view FILE.toml` shows it in a window.
#
# The camera sits at the origin and looks along -z: +x is drawn to the right and +y DOWNWARD.
# Planes are seen mirrored through the eye: a camera ray meets a plane where it meets the
# plane's mirror image through the ray's origin, and only while travelling along its normal.
# So a plane stored at y = -4 with normal (0, 1, 0) is the floor at y = +4 that camera rays
# meet; each plane below says where it is seen.
#
# [[sphere]]  center = [x, y, z], radius (above 0), color = [r, g, b], a material
# [[plane]]   point = [x, y, z], normal (unit length), color = [r, g, b] or "checkerboard",
#             a material; a checkerboard may set checker_colors = [[r, g, b], [r, g, b]] and
#             checker_size (default: magenta and white squares of 1 unit)
# [[light]]   position = [x, y, z], radius (0: a point light, which rays never hit),
#             emission = [r, g, b] (1 is full intensity; a light may be brighter)
# A material is one of: material = "diffuse" (also when none is given), mirror = SHARE (the
# share reflected, above 0 and at most 1), glass = INDEX (the refractive index, above 1), or
# material = NUMBER as the renderer stores it (0 diffuse, up to 1 a mirror, above 1 glass).
# [[quad]]   corner = [x, y, z], side_a = [x, y, z], side_b = [x, y, z], color, a material
# [[box]]    min = [x, y, z], max = [x, y, z], rotate = [x, y, z] (degrees), color, a material
# [[mesh]]   file = "model.obj" (.obj, .ply, .gltf, .glb; beside this file), position,
#            scale (a number or [x, y, z]), rotate = [x, y, z] (degrees: about x, then y,
#            then z) or matrix (4 rows of 4), and color or a material over the file's own
# Colours are linear; components are not negative. At most 1,000,000 spheres (many as rows of a
# [spheres] file), 64 planes, 64 lights and 10,000,000 triangles; within each kind, the order
# of the file is the order of the scene.
)";

// The shortest text that reads back as exactly `value`: the reader parses a double and
// narrows it, so the float's own shortest form is used when that double rounds back to it,
// else the double's, which is exact. A point keeps TOML from taking it for an integer, which
// would lose the sign of -0.
std::string number(float value) {
    std::array<char, 64> text{};
    auto [end, error] = std::to_chars(text.begin(), text.end(), value);
    double parsed = 0.0;
    std::from_chars(text.begin(), end, parsed);
    if (std::bit_cast<std::uint32_t>(float(parsed)) != std::bit_cast<std::uint32_t>(value)) {
        end = std::to_chars(text.begin(), text.end(), double(value)).ptr;
    }
    std::string result(text.begin(), end);
    if (result.find_first_of(".en") == std::string::npos) result += ".0";
    return result;
}

std::string vector(Vec3 value) {
    std::string text(1, '[');
    text += number(value.x) + ", " + number(value.y) + ", " + number(value.z) + "]";
    return text;
}

std::string material(float value) {
    if (value == 0.0f) return "material = \"diffuse\"\n";
    if (value > 1.0f) return "glass = " + number(value) + "\n";
    if (value > 0.0f) return "mirror = " + number(value) + "\n";
    return "material = " + number(value) + "\n";
}

// Where camera rays meet the plane: its mirror image through the origin, the camera's place.
// Adding 0 turns the -0 of a negated 0 into 0.
std::string seenThrough(const Plane& plane) {
    const Vec3 mirrored{-plane.point.x + 0.0f, -plane.point.y + 0.0f, -plane.point.z + 0.0f};
    return "# camera rays see it through " + vector(mirrored) + "\n";
}

std::string sphereText(const Sphere& sphere) {
    return "\n[[sphere]]\ncenter = " + vector(sphere.center) +
           "\nradius = " + number(sphere.radius) + "\ncolor = " + vector(sphere.color) + "\n" +
           material(sphere.material);
}

bool sameBits(const Vec3& a, const Vec3& b) {
    return std::bit_cast<std::array<std::uint32_t, 3>>(a) ==
           std::bit_cast<std::array<std::uint32_t, 3>>(b);
}

// A checkerboard's keys where they are not the presets' board.
std::string checkerText(const Checker& checker) {
    constexpr Checker kPresets{};
    std::string text;
    if (!sameBits(checker.first, kPresets.first) || !sameBits(checker.second, kPresets.second)) {
        text +=
            "checker_colors = [" + vector(checker.first) + ", " + vector(checker.second) + "]\n";
    }
    if (std::bit_cast<std::uint32_t>(checker.size) != std::bit_cast<std::uint32_t>(kPresets.size)) {
        text += "checker_size = " + number(checker.size) + "\n";
    }
    return text;
}

bool isPositiveZero(float value) { return std::bit_cast<std::uint32_t>(value) == 0; }

std::string planeText(const Plane& plane) {
    // Only (+0, +0, +0) reads back from the word bit for bit.
    const bool checkerboard = isPositiveZero(plane.color.x) && isPositiveZero(plane.color.y) &&
                              isPositiveZero(plane.color.z);
    const std::string color = checkerboard ? "\"checkerboard\"" : vector(plane.color);
    return "\n[[plane]]\n" + seenThrough(plane) + "point = " + vector(plane.point) +
           "\nnormal = " + vector(plane.normal) + "\ncolor = " + color + "\n" +
           (isCheckerboard(plane.color) ? checkerText(plane.checker) : "") +
           material(plane.material);
}

std::string lightText(const Light& light) {
    return "\n[[light]]\nposition = " + vector(light.position) +
           "\nradius = " + number(light.radius) + "\nemission = " + vector(light.emission) + "\n";
}

// The integrator, its depth and the sky, each only where it is not the default, so that a
// scene of the defaults (every preset) is written as before.
std::string lightTransportText(const Scene& scene) {
    std::string text;
    if (scene.integrator != Integrator::Direct) {
        text += "integrator = \"" + std::string(integratorName(scene.integrator)) + "\"\n";
    }
    if (scene.maxDepth != kDefaultMaxDepth) {
        text += "max_depth = " + std::to_string(scene.maxDepth) + "\n";
    }
    if (!sameBits(scene.background, Vec3{})) {
        text += "background = " + vector(scene.background) + "\n";
    }
    return text;
}

}  // namespace

std::string writeSceneText(const Scene& scene, std::string_view heading,
                           const std::vector<std::string>& shapeTables) {
    std::string text(heading);
    text += kFormatNotes;
    text +=
        scene.planeRule == PlaneRule::Mirrored
            ? "\nplanes = \"mirrored\"  # the rule above, said so that the reader does not warn\n"
            : "\nplanes = \"geometric\"  # every plane where it is written\n";
    text += lightTransportText(scene);
    for (int i = 0; i < scene.planeCount; ++i) text += planeText(*scene.planes[i]);
    for (int i = 0; i < scene.sphereCount; ++i) text += sphereText(*scene.leaves[i]->sphere);
    for (int i = 0; i < scene.lightCount; ++i) text += lightText(*scene.lights[i]);
    if (shapeTables.size() == scene.meshes.size()) {
        for (const std::string& table : shapeTables) text += table;
    } else {
        text += "\n# " + std::to_string(scene.meshes.size()) +
                " meshes left out: a scene file names the mesh files, quads and boxes they "
                "were read from\n";
    }
    return text;
}

std::string cameraText(const CameraPose& pose) {
    return "[camera]\nposition = " + vector(pose.position) + "\nlook_at = " + vector(pose.lookAt) +
           "\nup = " + vector(pose.up) + "\nfov = " + number(pose.fovDegrees) + "\n" +
           (pose.mirrored ? "mirrored = true\n" : "");
}

}  // namespace lucentor
