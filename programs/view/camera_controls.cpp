#include "programs/view/camera_controls.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/direction.h"

namespace lucentor {
namespace {

// `v` turned by `angle` radians around the unit `axis` (Rodrigues' formula).
Direction rotated(const Direction& v, const Direction& axis, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return plus(plus(scaled(v, c), scaled(cross(axis, v), s)),
                scaled(axis, dot(axis, v) * (1.0 - c)));
}

// The view direction (eye to look-at point) turned by a drag: sideways around up, then
// vertically around the sideways axis, as far as the view keeps kLeastUpAngle from up.
Direction turnedView(const Direction& view, const Direction& up, double yaw, double pitch) {
    const Direction turned = rotated(view, up, yaw);
    const Direction side = unit(cross(turned, up));
    const double fromUp = std::acos(std::clamp(dot(unit(turned), up), -1.0, 1.0));
    const double lowest = kLeastUpAngle - fromUp;
    const double highest = std::numbers::pi - kLeastUpAngle - fromUp;
    // A positive pitch around `side` turns the view towards up, lowering fromUp.
    return rotated(turned, side, -std::clamp(-pitch, lowest, highest));
}

void growBounds(Vec3& low, Vec3& high, const Vec3& point) {
    low = {std::min(low.x, point.x), std::min(low.y, point.y), std::min(low.z, point.z)};
    high = {std::max(high.x, point.x), std::max(high.y, point.y), std::max(high.z, point.z)};
}

}  // namespace

CameraPose fixedCameraPose() {
    CameraPose pose;
    pose.position = {0.0f, 0.0f, 0.0f};
    pose.lookAt = {0.0f, 0.0f, -1.0f};
    pose.up = {0.0f, -1.0f, 0.0f};
    // The fixed camera's image plane is 2 high at distance 2.
    pose.fovDegrees = float(2.0 * std::atan(0.5) * 180.0 / std::numbers::pi);
    pose.mirrored = true;
    return pose;
}

float sceneStep(const Scene& scene) {
    const CameraPose pose = scene.camera.value_or(fixedCameraPose());
    Vec3 low = pose.position;
    Vec3 high = pose.position;
    growBounds(low, high, pose.lookAt);
    if (scene.root != nullptr) {
        growBounds(low, high, scene.root->boxMin);
        growBounds(low, high, scene.root->boxMax);
    } else {
        // A scene past kWideTreeThreshold spheres has no root box: its leaves' boxes instead.
        for (const BvhNode* leaf : scene.leaves) {
            growBounds(low, high, leaf->boxMin);
            growBounds(low, high, leaf->boxMax);
        }
    }
    for (int i = 0; i < scene.lightCount; ++i)
        growBounds(low, high, scene.lights[std::size_t(i)]->position);
    // Every vertex, whether or not the hierarchy holds the triangles: read once a load.
    for (const Mesh& mesh : scene.meshes) {
        for (const Vec3& position : mesh.positions) growBounds(low, high, position);
    }
    const double extent = distanceOf(high, low);
    // A scene of finite size; anything else, such as a sphere at infinity, steps by 1.
    const bool usable = std::isfinite(extent) && extent > 0.0;
    return usable ? float(extent / double(kStepsAcrossScene)) : 1.0f;
}

ViewControls makeControls(const Scene& scene) {
    ViewControls controls;
    controls.home = scene.camera.value_or(fixedCameraPose());
    controls.pose = controls.home;
    controls.step = sceneStep(scene);
    return controls;
}

Camera viewCamera(const ViewControls& controls, const Scene& scene, ImageSize size) {
    return controls.moved ? makeCamera(controls.pose, size) : cameraOf(scene, size);
}

void moveBy(ViewControls& controls, float forward, float right, float up) {
    CameraPose& pose = controls.pose;
    const Direction ahead = unit(minus(directionOf(pose.lookAt), directionOf(pose.position)));
    const Direction upward = unit(directionOf(pose.up));
    // Right as the picture shows it, which a mirrored pose draws on the left of its eye.
    const Direction side = scaled(unit(cross(ahead, upward)), pose.mirrored ? -1.0 : 1.0);
    const double step = double(controls.step);
    const Direction offset =
        plus(plus(scaled(ahead, double(forward) * step), scaled(side, double(right) * step)),
             scaled(upward, double(up) * step));
    pose.position = narrowed(plus(directionOf(pose.position), offset));
    pose.lookAt = narrowed(plus(directionOf(pose.lookAt), offset));
    controls.moved = true;
}

void turnBy(ViewControls& controls, float dx, float dy) {
    CameraPose& pose = controls.pose;
    const Direction eye = directionOf(pose.position);
    const Direction target = directionOf(pose.lookAt);
    const Direction up = unit(directionOf(pose.up));
    // The view turns the way the mouse goes on the picture, whose left and right a mirrored
    // pose swaps. Looking, the eye stays and looks that way; orbiting, the target stays and the
    // eye goes the other way around it, so the scene turns with the mouse as if grabbed.
    const double yaw = (pose.mirrored ? double(dx) : -double(dx)) * kTurnPerPixel;
    const double pitch = -double(dy) * kTurnPerPixel;
    const Direction view = turnedView(minus(target, eye), up, yaw, pitch);
    if (controls.mode == TurnMode::Orbit) {
        pose.position = narrowed(minus(target, view));
    } else {
        pose.lookAt = narrowed(plus(eye, view));
    }
    controls.moved = true;
}

namespace {

// The widest field of view a camera takes is below this.
constexpr float kStraightAngle = 180.0f;

// One notch wider or narrower; unchanged where float precision leaves no room inside the range.
float notchedFov(float fov, bool wider) {
    const float next = wider ? std::min(fov + kFovNotch, fov + (kStraightAngle - fov) * 0.5f)
                             : std::max(fov - kFovNotch, fov * 0.5f);
    return next > 0.0f && next < kStraightAngle ? next : fov;
}

}  // namespace

void widenBy(ViewControls& controls, int notches) {
    for (int i = 0; i < std::abs(notches); ++i) {
        controls.pose.fovDegrees = notchedFov(controls.pose.fovDegrees, notches > 0);
    }
    controls.moved = true;
}

void scaleStep(ViewControls& controls, int doublings, float sceneStep) {
    const float step = std::ldexp(controls.step, doublings);
    controls.step = std::clamp(step, sceneStep * kLeastStep, sceneStep * kMostStep);
}

void returnHome(ViewControls& controls) {
    controls.pose = controls.home;
    controls.moved = false;
}

void switchTurnMode(ViewControls& controls) {
    controls.mode = controls.mode == TurnMode::Orbit ? TurnMode::Look : TurnMode::Orbit;
}

}  // namespace lucentor
