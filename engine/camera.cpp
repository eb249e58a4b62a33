#include "engine/camera.h"

#include "engine/render_job.h"

namespace lucentor {

Camera makeCamera() {
    Camera camera;
    camera.origin = {0.0f, 0.0f, 0.0f};
    camera.horizontal = {2.7f, 0.0f, 0.0f};
    camera.vertical = {0.0f, 2.0f, 0.0f};
    // Subtracted one term at a time, in this order, so the corner rounds the same everywhere.
    camera.lowerLeft =
        camera.origin - camera.horizontal * 0.5f - camera.vertical * 0.5f - Vec3{0.0f, 0.0f, 2.0f};
    return camera;
}

PixelCell RenderJob::pixelCell(int x, int y) const {
    const float cu = (halfPixelU + halfPixelU) * float(x);
    const float cv = (halfPixelV + halfPixelV) * float(y);
    // Truncation toward zero, as the cell bounds are defined; in range for every pixel.
    return {int((cu - halfPixelU) * jitterScale), int((cu + halfPixelU) * jitterScale),
            int((cv - halfPixelV) * jitterScale), int((cv + halfPixelV) * jitterScale)};
}

}  // namespace lucentor
