#include "presets/field.h"

#include <cstdlib>

namespace lucentor {

namespace {

// The layout follows the C library's sequence after srand(112) on the main thread, before any
// render worker exists, so this is the one place where the shared generator is right.
int drawFromCLibrary() {
    return std::rand();  // NOLINT(concurrency-mt-unsafe): main thread only, before any worker
}

// (draw % modulus + offset) * 0.01, with the remainder turned into a float first and the
// rest in single precision: a multiplication by 0.01f, not a division by 100.
float drawHundredths(int (*draw)(), int modulus, float offset) {
    return (static_cast<float>(draw() % modulus) + offset) * 0.01f;
}

}  // namespace

void buildFieldScene(Scene& scene) { buildFieldSceneWith(scene, drawFromCLibrary); }

void buildFieldSceneWith(Scene& scene, int (*draw)()) {
    scene.addPlane({0, -4, 0}, {0, 0, 0}, {0, 1, 0}, 0.0f);  // checkerboard floor, seen at y = 4
    scene.addLight({-10, -8, -4}, 0.0f, {1, 1, 1}, 7.0f);    // point light

    for (int i = 0; i < kFieldSphereCount; ++i) {
        // One statement per draw: the order of the six draws is part of the layout.
        const float red = drawHundredths(draw, 101, 0.0f);
        const float green = drawHundredths(draw, 101, 0.0f);
        const float blue = drawHundredths(draw, 101, 0.0f);
        const float radius = drawHundredths(draw, 51, 50.0f);
        const float x = drawHundredths(draw, 1601, -800.0f);
        const float z = drawHundredths(draw, 1499, -2500.0f);
        // Every sphere reaches up to y = 4, where camera rays meet the floor.
        scene.addSphere({x, 4.0f - radius, z}, radius, {red, green, blue}, 0.0f);
    }
}

}  // namespace lucentor
