#include "tests/support/scene_compare.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

namespace lucentor::testing {
namespace {

bool sameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

bool sameBits(Vec3 a, Vec3 b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z);
}

bool sameBits(TexCoord a, TexCoord b) { return sameBits(a.u, b.u) && sameBits(a.v, b.v); }

bool sameBits(const Triangle& a, const Triangle& b) {
    return a.vertices == b.vertices && a.material == b.material;
}

bool sameBits(const MeshMaterial& a, const MeshMaterial& b) {
    return sameBits(a.color, b.color) && sameBits(a.material, b.material) &&
           sameBits(a.emission, b.emission) && a.texture == b.texture;
}

bool sameBits(const Texture& a, const Texture& b) {
    return a.width == b.width && a.height == b.height && a.texels.size() == b.texels.size() &&
           std::equal(a.texels.begin(), a.texels.end(), b.texels.begin(),
                      [](Vec3 x, Vec3 y) { return sameBits(x, y); });
}

template <typename Value>
bool sameList(const std::vector<Value>& a, const std::vector<Value>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](const Value& x, const Value& y) { return sameBits(x, y); });
}

// Notes the first field that differs.
struct Differences {
    std::string first;

    template <typename Value>
    void check(const Value& a, const Value& b, const std::string& object, const char* field) {
        if (first.empty() && !sameBits(a, b)) first = object + " " + field;
    }
};

}  // namespace

std::string sceneDifference(const Scene& a, const Scene& b) {
    if (a.sphereCount != b.sphereCount) return "sphere count";
    if (a.planeCount != b.planeCount) return "plane count";
    if (a.lightCount != b.lightCount) return "light count";
    if (a.integrator != b.integrator) return "integrator";
    if (a.maxDepth != b.maxDepth) return "max depth";
    Differences differences;
    differences.check(a.background, b.background, "scene", "background");
    for (int i = 0; i < a.sphereCount; ++i) {
        const Sphere& x = *a.leaves[i]->sphere;
        const Sphere& y = *b.leaves[i]->sphere;
        const std::string name = "sphere " + std::to_string(i);
        differences.check(x.center, y.center, name, "center");
        differences.check(x.radius, y.radius, name, "radius");
        differences.check(x.radiusSquared, y.radiusSquared, name, "radiusSquared");
        differences.check(x.color, y.color, name, "color");
        differences.check(x.material, y.material, name, "material");
    }
    for (int i = 0; i < a.planeCount; ++i) {
        const Plane& x = *a.planes[i];
        const Plane& y = *b.planes[i];
        const std::string name = "plane " + std::to_string(i);
        differences.check(x.point, y.point, name, "point");
        differences.check(x.normal, y.normal, name, "normal");
        differences.check(x.color, y.color, name, "color");
        differences.check(x.material, y.material, name, "material");
        differences.check(x.checker.first, y.checker.first, name, "checker.first");
        differences.check(x.checker.second, y.checker.second, name, "checker.second");
        differences.check(x.checker.size, y.checker.size, name, "checker.size");
    }
    for (int i = 0; i < a.lightCount; ++i) {
        const Light& x = *a.lights[i];
        const Light& y = *b.lights[i];
        const std::string name = "light " + std::to_string(i);
        differences.check(x.position, y.position, name, "position");
        differences.check(x.radius, y.radius, name, "radius");
        differences.check(x.radiusSquared, y.radiusSquared, name, "radiusSquared");
        differences.check(x.emission, y.emission, name, "emission");
    }
    if (a.meshes.size() != b.meshes.size()) return "mesh count";
    for (std::size_t i = 0; i < a.meshes.size() && differences.first.empty(); ++i) {
        const Mesh& x = a.meshes[i];
        const Mesh& y = b.meshes[i];
        const std::string name = "mesh " + std::to_string(i) + " ";
        if (!sameList(x.positions, y.positions)) return name + "positions";
        if (!sameList(x.normals, y.normals)) return name + "normals";
        if (!sameList(x.uvs, y.uvs)) return name + "uvs";
        if (!sameList(x.triangles, y.triangles)) return name + "triangles";
        if (!sameList(x.materials, y.materials)) return name + "materials";
        if (!sameList(x.textures, y.textures)) return name + "textures";
    }
    return differences.first;
}

}  // namespace lucentor::testing
