#pragma once

#include <string>

#include "engine/image.h"
#include "scene/records.h"
#include "scene/scene.h"

namespace lucentor {

// A fixed pinhole looking along -z at an image plane 2 units ahead. u runs along `horizontal`
// from the left edge (0) to the right edge (1), v along `vertical` from the top row of the
// window (0) to the bottom row (1): a larger world y is drawn lower.
struct Camera {
    Vec3 origin;
    Vec3 horizontal;
    Vec3 vertical;
    Vec3 lowerLeft;  // the image plane's corner at u = 0, v = 0
};

// The fixed camera: at the origin, looking along -z with +y drawn downward, an image plane 2
// units ahead and 2 high (a vertical field of view of 2 atan(1/2), 53.13 degrees), and 2.7
// wide for the window's 640 by 480; other sizes keep the height and the pixels' shape.
Camera makeCamera(ImageSize size = {});

// A scene file's camera: at `pose.position`, looking at `pose.lookAt`, `pose.up` drawn
// upward, the vertical field of view `pose.fovDegrees` and square pixels; u runs from right to
// left when the pose is mirrored. The pose must be one that cameraPoseProblem accepts.
Camera makeCamera(const CameraPose& pose, ImageSize size);

// Why a pose makes no camera (a field of view outside (0, 180) degrees, the eye on the point
// it looks at, an up of length 0 or along the view), or empty.
std::string cameraPoseProblem(const CameraPose& pose);

// The camera a scene is seen through at `size`: its own, or the fixed one.
Camera cameraOf(const Scene& scene, ImageSize size);

// The primary ray from the eye through image-plane point (u, v), with a unit direction and t
// = kFarDistance: one lane of the sample kernels' camera rays.
Ray cameraRay(const Camera& camera, float u, float v);

}  // namespace lucentor
