#include "presets/trio.h"

namespace lucentor {

void buildTrioScene(Scene& scene) {
    // clang-format off
    //               centre       radius  colour      material
    scene.addSphere({2, 0, -1},   1.0f,  {1, 0, 0},  0.0f);   // red, diffuse
    scene.addSphere({0, 0,  0},   1.0f,  {1, 1, 1},  1.5f);   // glass around the camera
    scene.addSphere({0, 0, -3},   1.0f,  {1, 1, 1},  0.95f);  // mirror
    //              point         colour      normal      material
    scene.addPlane({0, -1, 0},   {0, 0, 0},  {0, 1, 0},  0.0f);  // checkerboard, seen at y = 1
    //              position      radius  colour      intensity
    scene.addLight({-10, -8, 4},  1.0f,  {1, 1, 1},  10.0f);    // up, left, behind the camera
    // clang-format on
}

}  // namespace lucentor
