#include "bench/frame_support.h"

#include "app/frame.h"
#include "app/image.h"

namespace lucentor {

std::vector<DisplayColor> shownColors(const std::vector<Vec3>& sums, int passCount) {
    std::vector<DisplayColor> colors(sums.size());
    const float factor = meanFactor(passCount);
    for (std::size_t i = 0; i < sums.size(); ++i) colors[i] = displayColor(sums[i], factor);
    return colors;
}

void drawBareFrame(SDL_Renderer* renderer, const std::vector<DisplayColor>& colors) {
    for (int y = 0; y < kImageHeight; ++y) {
        for (int x = 0; x < kImageWidth; ++x) {
            const DisplayColor& c = colors[pixelIndex(x, y)];
            SDL_SetRenderDrawColor(renderer, c.red, c.green, c.blue, 0);
            SDL_RenderDrawPoint(renderer, x, y);
        }
    }
    SDL_RenderPresent(renderer);
    SDL_RenderClear(renderer);
}

void drawCompletedPass(SDL_Renderer* renderer, const Vec3* sums, int passCount) {
    drawFrame(renderer, sums, passCount);
    SDL_RenderPresent(renderer);
    SDL_RenderClear(renderer);
}

void prepareWithoutWorkers(Rendering& rendering, Preset preset) {
    prepareRendering(rendering, preset);
    rendering.accumulation = new Vec3[kPixelCount]{};
    rendering.job.accumulation = rendering.accumulation;
    rendering.job.camera = rendering.camera;
    rendering.job.scene = rendering.scene;
}

void completeWithoutWorkers(Rendering& rendering, const std::vector<Vec3>& sums) {
    for (int i = 0; i < kPixelCount; ++i) accumulate(rendering.accumulation[i], sums[i]);
    RenderJob& job = rendering.job;
    job.nextRow.store(-1);
    job.finishedWorkers.store(job.workerCount);
}

}  // namespace lucentor
