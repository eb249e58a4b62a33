#include "window/frame.h"

#include <algorithm>
#include <thread>

namespace lucentor {

void drawShownFrame(Window& window, const ShownFrame& frame) {
    if (!(frame.size == window.pictureSize)) makePicture(window, frame.size);
    if (window.picture == nullptr) return;
    SDL_UpdateTexture(window.picture, nullptr, frame.words.data(), frame.size.width * 4);
    SDL_RenderCopy(window.renderer, window.picture, nullptr, nullptr);
}

void presentFrame(Window& window, const ShownFrame& frame) {
    drawShownFrame(window, frame);
    SDL_RenderPresent(window.renderer);
    SDL_RenderClear(window.renderer);
}

int refreshRate(SDL_Window* window) {
    SDL_DisplayMode mode{};
    if (SDL_GetWindowDisplayMode(window, &mode) != 0 || mode.refresh_rate <= 0) {
        return kFallbackRefreshRate;
    }
    return mode.refresh_rate;
}

Pacing pacingOf(SDL_Window* window) {
    const auto period = std::chrono::duration_cast<PresentClock::duration>(
        std::chrono::duration<double>(1.0 / double(refreshRate(window))));
    return {period, PresentClock::now()};
}

bool presentNewest(Window& window, ShownFrames& frames, Pacing& pacing) {
    const PresentClock::time_point now = PresentClock::now();
    if (now < pacing.nextPresent || !takeReadyFrame(frames)) return false;
    // The front frame is the main thread's alone until the next take.
    presentFrame(window, frames.frames[std::size_t(frames.front)]);
    pacing.nextPresent = now + pacing.period;
    announcePresent(frames, pacing.nextPresent);
    return true;
}

void waitForPresent(ShownFrames& frames, const Pacing& pacing, std::chrono::milliseconds longest) {
    const auto untilDue = pacing.nextPresent - PresentClock::now();
    if (untilDue <= PresentClock::duration::zero()) {
        waitForFrame(frames, longest);
    } else {
        std::this_thread::sleep_for(std::min<PresentClock::duration>(untilDue, longest));
    }
}

}  // namespace lucentor
