#pragma once

#include <string>

#include "engine/camera.h"
#include "engine/image.h"
#include "scene/scene.h"

namespace lucentor {

// What a mouse drag turns: the eye around the look-at point, or the view around the eye.
enum class TurnMode { Orbit, Look };

// The camera of lucentor-view as the user moves it.
struct ViewControls {
    CameraPose home;     // the file's camera, or a pose looking like the fixed camera
    CameraPose pose;     // the view; home until the user moves it
    bool moved = false;  // the view is `pose` rather than the file's own camera
    TurnMode mode = TurnMode::Orbit;
    float step = 1.0f;  // world units of one move
};

// A pose from the fixed camera's eye, view and field of view, mirrored as the fixed camera
// is: +x drawn to the right and +y downward. Its pixels are square, where the fixed camera's
// are 1.0125 times as wide as high, so a first move narrows the view sideways by 1.25 %.
CameraPose fixedCameraPose();

// The controls of `scene`, at its camera, with a step of kStepsAcrossScene to its extent.
inline constexpr float kStepsAcrossScene = 50.0f;
ViewControls makeControls(const Scene& scene);

// The camera the view is seen through: the scene's own until the user moved it.
Camera viewCamera(const ViewControls& controls, const Scene& scene, ImageSize size);

// Moves eye and look-at point together by steps: forward along the view, right across it as the
// picture shows it, up along the pose's up.
void moveBy(ViewControls& controls, float forward, float right, float up);

// Turns by a mouse motion of (dx, dy) pixels, kTurnPerPixel radians each: around the look-at
// point in orbit mode, around the eye in look mode. The view stays at least kLeastUpAngle
// away from the up direction and its opposite.
inline constexpr double kTurnPerPixel = 0.005;
inline constexpr double kLeastUpAngle = 0.02;
void turnBy(ViewControls& controls, float dx, float dy);

// Widens (positive notches) or narrows the field of view a notch at a time: by kFovNotch
// degrees, or by half the way to 0 or to 180 degrees where that is less. So a notch always
// moves the way asked, from any field of view a file may hold (above 0, below 180), and never
// leaves that range.
inline constexpr float kFovNotch = 5.0f;
void widenBy(ViewControls& controls, int notches);

// Doubles the step `doublings` times (halves it for negative ones), within kLeastStep of the
// scene's step to kMostStep of it.
void scaleStep(ViewControls& controls, int doublings, float sceneStep);
inline constexpr float kLeastStep = 1.0f / 1024.0f;
inline constexpr float kMostStep = 1024.0f;

// Back to the file's camera.
void returnHome(ViewControls& controls);

// Switches between orbit and look mode.
void switchTurnMode(ViewControls& controls);

// The step of `scene`: its extent (camera, spheres, lights and mesh vertices) over
// kStepsAcrossScene.
float sceneStep(const Scene& scene);

}  // namespace lucentor
