#include "engine/camera.h"

#include <cmath>
#include <numbers>

#include "engine/direction.h"
#include "engine/integrator_lanes.h"
#include "engine/render_job.h"
#include "simd/one_lane.h"

namespace lucentor {
namespace {

// Below this sine of the angle between `up` and the view, up gives no sideways direction.
constexpr double kLeastUpSine = 1.0e-4;

// The fixed camera's width at 640 by 480; its pixels are 1.0125 times as wide as high.
constexpr float kFixedWidth = 2.7f;

}  // namespace

Camera makeCamera(ImageSize size) {
    // Exactly 1 for the window's 4:3, where the width stays the fixed 2.7.
    const auto widthScale = float(double(size.width) * 3.0 / (double(size.height) * 4.0));
    Camera camera;
    camera.origin = {0.0f, 0.0f, 0.0f};
    camera.horizontal = {kFixedWidth * widthScale, 0.0f, 0.0f};
    camera.vertical = {0.0f, 2.0f, 0.0f};
    // Subtracted one term at a time, in this order, so the corner rounds the same everywhere.
    camera.lowerLeft =
        camera.origin - camera.horizontal * 0.5f - camera.vertical * 0.5f - Vec3{0.0f, 0.0f, 2.0f};
    return camera;
}

std::string cameraPoseProblem(const CameraPose& pose) {
    if (!(pose.fovDegrees > 0.0f && pose.fovDegrees < 180.0f)) {
        return "'fov' is the vertical field of view in degrees: above 0, below 180";
    }
    const Direction view = minus(directionOf(pose.lookAt), directionOf(pose.position));
    if (!(lengthOf(view) > 0.0)) return "'position' and 'look_at' must differ";
    const Direction up = directionOf(pose.up);
    if (!(lengthOf(up) > 0.0)) return "'up' must not be [0, 0, 0]";
    if (!(lengthOf(cross(unit(view), unit(up))) > kLeastUpSine)) {
        return "'up' must not point along the view from 'position' to 'look_at'";
    }
    return {};
}

Camera makeCamera(const CameraPose& pose, ImageSize size) {
    const Direction forward = unit(minus(directionOf(pose.lookAt), directionOf(pose.position)));
    const Direction right = unit(cross(forward, directionOf(pose.up)));
    const Direction upward = cross(right, forward);
    // An image plane one unit ahead; v runs down the picture, so `vertical` points down.
    const double height = 2.0 * std::tan(double(pose.fovDegrees) * std::numbers::pi / 360.0);
    const double width = height * double(size.width) / double(size.height);
    const Direction horizontal = scaled(right, pose.mirrored ? -width : width);
    const Direction vertical = scaled(upward, -height);
    const Direction eye = directionOf(pose.position);
    const Direction corner =
        minus(minus(plus(eye, forward), scaled(horizontal, 0.5)), scaled(vertical, 0.5));
    return {pose.position, narrowed(horizontal), narrowed(vertical), narrowed(corner)};
}

Camera cameraOf(const Scene& scene, ImageSize size) {
    return scene.camera ? makeCamera(*scene.camera, size) : makeCamera(size);
}

PixelCell RenderJob::pixelCell(int x, int y) const {
    const float cu = (halfPixelU + halfPixelU) * float(x);
    const float cv = (halfPixelV + halfPixelV) * float(y);
    // Truncation toward zero, as the cell bounds are defined; in range for every pixel.
    return {int((cu - halfPixelU) * jitterScale), int((cu + halfPixelU) * jitterScale),
            int((cv - halfPixelV) * jitterScale), int((cv + halfPixelV) * jitterScale)};
}

Ray cameraRay(const Camera& camera, float u, float v) {
    return rayOf(cameraRays<scalar::Lanes>(camera, u, v));
}

}  // namespace lucentor
