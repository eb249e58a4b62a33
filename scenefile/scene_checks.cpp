#include "scenefile/scene_checks.h"

#include <cmath>

#include "engine/direction.h"
#include "scene/bvh.h"

namespace lucentor {
namespace {

// A ray keeps only hits nearer than kFarDistance, so a surface no nearer than that is never
// met by a ray from `eye`.
bool isBeyondSight(double nearest) { return nearest >= double(kFarDistance); }

const Sphere& sphereAt(const Scene& scene, int index) { return *scene.leaves[index]->sphere; }

// Glass lets part of a light through; every other sphere blocks a shadow ray wholly.
bool isOpaque(const Sphere& sphere) { return !(sphere.material > 1.0f); }

void checkSpheres(const Scene& scene, const Vec3& eye, std::vector<SceneWarning>& warnings) {
    for (int i = 0; i < scene.sphereCount; ++i) {
        const Sphere& sphere = sphereAt(scene, i);
        if (!isBeyondSight(distanceOf(sphere.center, eye) - double(sphere.radius))) continue;
        warnings.push_back({SceneObject::Sphere, i,
                            "this sphere lies wholly 100 units or more from the camera, "
                            "farther than rays see: it is not drawn",
                            -1});
    }
}

void checkPlanes(const Scene& scene, const Vec3& eye, std::vector<SceneWarning>& warnings) {
    for (int i = 0; i < scene.planeCount; ++i) {
        const Plane& plane = *scene.planes[i];
        const double along = double(plane.normal.x) * (double(eye.x) - double(plane.point.x)) +
                             double(plane.normal.y) * (double(eye.y) - double(plane.point.y)) +
                             double(plane.normal.z) * (double(eye.z) - double(plane.point.z));
        if (!isBeyondSight(std::fabs(along))) continue;
        warnings.push_back({SceneObject::Plane, i,
                            "this plane lies 100 units or more from the camera, farther than "
                            "rays see: it is not drawn",
                            -1});
    }
}

void checkLights(const Scene& scene, std::vector<SceneWarning>& warnings) {
    for (int i = 0; i < scene.lightCount; ++i) {
        const Light& light = *scene.lights[i];
        for (int s = 0; s < scene.sphereCount; ++s) {
            const Sphere& sphere = sphereAt(scene, s);
            if (!isOpaque(sphere) ||
                !(distanceOf(light.position, sphere.center) < double(sphere.radius))) {
                continue;
            }
            warnings.push_back({SceneObject::Light, i,
                                "this light is inside an opaque sphere, which blocks all of "
                                "its light",
                                s});
            break;
        }
    }
}

}  // namespace

std::vector<SceneWarning> likelyMistakes(const Scene& scene, const Vec3& eye) {
    std::vector<SceneWarning> warnings;
    checkSpheres(scene, eye, warnings);
    checkPlanes(scene, eye, warnings);
    checkLights(scene, warnings);
    return warnings;
}

}  // namespace lucentor
