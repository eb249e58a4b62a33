#pragma once

#include <array>

#include "scene/scene.h"
#include "shading/emitters.h"

namespace lucentor {

// Random points in a light's ball are drawn on a grid of this spacing; radii are scaled by
// its reciprocal to count grid steps.
inline constexpr float kLightGridStep = 0.0001f;
inline constexpr float kLightGridScale = 10000.0f;

// The grid of a light's ball along each axis, and its acceptance bound: everything the
// sampler needs that depends on the radius alone.
struct LightGrid {
    float halfWidth = 0.0f;
    int size = 0;  // points per axis, (k - halfWidth) grid steps from the centre; 0 when no
                   // grid point lies in the ball
    // The largest squared offset length whose rounded root is still within the radius. The
    // root rounds monotonically, so comparing squares with this bound accepts exactly the
    // offsets that comparing lengths with the radius would, without a root per attempt.
    float largestSquare = 0.0f;
};

// The grid of a light of radius `radius`; size 0 when rejection sampling could never accept
// (radii below the grid spacing, or not above 0), so that the sampler aims at the centre.
LightGrid makeLightGrid(float radius);

// The largest float s whose rounded square root is still within `radius` (> 0): a grid point
// lies in the ball exactly when its squared offset length is at most this.
float largestAcceptedSquare(float radius);

// What the shading reads besides the scene, worked out once before rendering so that no
// sample recomputes or caches it: each light's grid, whether the packet walks may take the
// scene's tree, and for the path integrator its lights.
struct ShadingScene {
    const Scene* scene = nullptr;
    std::array<LightGrid, kMaxSceneLights> lightGrids{};
    bool packetWalks = false;
    EmitterTable emitters;  // empty unless the scene's integrator is the path integrator
    PathStrategy pathStrategy = PathStrategy::Combined;  // others only in tests
};

// The scene must stay unchanged while the result is used.
ShadingScene makeShadingScene(const Scene& scene);

}  // namespace lucentor
