#include "bench/frame_support.h"

#include "engine/display.h"
#include "window/frame.h"
#include "engine/image.h"

namespace lucentor {

std::vector<std::uint32_t> shownWordsOf(const std::vector<Vec3>& sums, int passCount) {
    std::vector<std::uint32_t> words(sums.size());
    shownPicture(sums.data(), passCount, words.data(), kImageWidth * 4);
    return words;
}

void drawBareFrame(const Window& window, const std::vector<std::uint32_t>& words) {
    SDL_UpdateTexture(window.picture, nullptr, words.data(), kImageWidth * 4);
    SDL_RenderCopy(window.renderer, window.picture, nullptr, nullptr);
    SDL_RenderPresent(window.renderer);
    SDL_RenderClear(window.renderer);
}

void drawCompletedPass(const Window& window, const Vec3* sums, int passCount) {
    drawFrame(window, sums, passCount);
    SDL_RenderPresent(window.renderer);
    SDL_RenderClear(window.renderer);
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
