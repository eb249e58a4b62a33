#include "tests/support/scene_compare.h"

#include <bit>
#include <cstdint>

namespace lucentor::testing {
namespace {

bool sameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

bool sameBits(Vec3 a, Vec3 b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z);
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
    Differences differences;
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
    return differences.first;
}

}  // namespace lucentor::testing
