#include "app/frame.h"

#include "app/display.h"
#include "app/image.h"

namespace lucentor {

void drawFrame(SDL_Renderer* renderer, const Vec3* sums, int passCount) {
    const float factor = meanFactor(passCount);
    for (int y = 0; y < kImageHeight; ++y) {
        for (int x = 0; x < kImageWidth; ++x) {
            const DisplayColor c = displayColor(sums[pixelIndex(x, y)], factor);
            SDL_SetRenderDrawColor(renderer, c.red, c.green, c.blue, 0);
            SDL_RenderDrawPoint(renderer, x, y);
        }
    }
}

void runFrameStep(SDL_Renderer* renderer, Rendering& rendering) {
    const bool passStarted = stepFrame(
        rendering, [&] { drawFrame(renderer, rendering.accumulation, rendering.passCount); });
    if (passStarted) {
        SDL_RenderPresent(renderer);
        SDL_RenderClear(renderer);
    }
}

}  // namespace lucentor
