#pragma once

#include <string>
#include <vector>

#include "scene/scene.h"

namespace lucentor {

enum class SceneObject { Sphere, Plane, Light };

// Something a scene holds that renders, but most likely not as its author meant.
struct SceneWarning {
    SceneObject kind = SceneObject::Sphere;
    int index = 0;            // the object's slot within its kind
    std::string what;         // one line, about the object
    int blockingSphere = -1;  // the sphere the warning is about as well, or -1
};

// The likely mistakes of a scene seen from `eye`: a sphere or plane that camera rays never
// reach, lying wholly at or beyond kFarDistance, and a light inside an opaque sphere, whose
// shadow rays all end on it. In the order sphere, plane, light, each by slot.
std::vector<SceneWarning> likelyMistakes(const Scene& scene, const Vec3& eye);

}  // namespace lucentor
