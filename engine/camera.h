#pragma once

#include "scene/records.h"

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

// The one camera every program uses: at the origin, a 2.7 by 2 image plane at z = -2.
Camera makeCamera();

// The primary ray from the eye through image-plane point (u, v), with a unit direction and t
// = kFarDistance: one lane of the sample kernels' camera rays.
Ray cameraRay(const Camera& camera, float u, float v);

}  // namespace lucentor
