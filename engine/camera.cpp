#include "engine/camera.h"

#include <cassert>

#include "engine/render_job.h"
#include "shading/random.h"
#include "shading/trace.h"

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

Ray cameraRay(const Camera& camera, float u, float v) {
    const Vec3 d =
        ((u * camera.horizontal + camera.lowerLeft) + v * camera.vertical) - camera.origin;
    const float k = 1.0f / length(d);
    return Ray{camera.origin, {d.x * k, d.y * k, d.z * k}, kFarDistance};
}

PixelCell RenderJob::pixelCell(int x, int y) const {
    const float cu = (halfPixelU + halfPixelU) * float(x);
    const float cv = (halfPixelV + halfPixelV) * float(y);
    // Truncation toward zero, as the cell bounds are defined; in range for every pixel.
    return {int((cu - halfPixelU) * jitterScale), int((cu + halfPixelU) * jitterScale),
            int((cv - halfPixelV) * jitterScale), int((cv + halfPixelV) * jitterScale)};
}

Ray RenderJob::jitteredRay(int x, int y) const {
    const PixelCell cell = pixelCell(x, y);
    assert(cell.uHigh > cell.uLow && cell.vHigh > cell.vLow);
    // Two statements: the first draw is the column's, the second the row's.
    const int ju = cell.uLow + threadRandom() % (cell.uHigh - cell.uLow);
    const int jv = cell.vLow + threadRandom() % (cell.vHigh - cell.vLow);
    return cameraRay(*camera, jitterUnit * float(ju), jitterUnit * float(jv));
}

Vec3 RenderJob::samplePixel(int x, int y) const {
    Ray ray = jitteredRay(x, y);
    return trace(ray, 0.0f, *scene);
}

}  // namespace lucentor
