#include "presets/box.h"

namespace lucentor {

// Planes are placed for the mirrored plane test: a camera ray meets each plane at its mirror
// image through the origin, so the plane stored at y = -1 is seen as the floor at y = +1.
void buildBoxScene(Scene& scene) {
    // clang-format off
    //              point         colour      normal       material
    scene.addPlane({ 0, -1, 0},  {1, 1, 1},  { 0,  1,  0}, 0.0f);  // floor
    scene.addPlane({ 0,  1, 0},  {1, 1, 1},  { 0, -1,  0}, 0.0f);  // ceiling
    scene.addPlane({ 1,  0, 0},  {1, 0, 0},  {-1,  0,  0}, 0.0f);  // red wall, seen on the left
    scene.addPlane({-1,  0, 0},  {0, 1, 0},  { 1,  0,  0}, 0.0f);  // green wall, on the right
    scene.addPlane({ 0,  0, 4},  {1, 1, 1},  { 0,  0, -1}, 0.0f);  // back wall, seen at z = -4
    //               centre                 radius  colour      material
    scene.addSphere({ 0.5f, 0.75f, -2.75f}, 0.25f, {1, 1, 1},  0.95f);  // mirror
    scene.addSphere({-0.3f, 0.75f, -2.5f }, 0.25f, {1, 1, 1},  1.5f);   // glass
    //              position            radius  colour      intensity
    scene.addLight({0, -0.9f, -3},      0.25f, {1, 1, 1},  0.8f);
    // clang-format on
}

}  // namespace lucentor
