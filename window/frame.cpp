#include "window/frame.h"

#include <algorithm>
#include <thread>

#include "engine/display.h"

namespace lucentor {

namespace {

// Writes the shown picture into the locked texture and leaves it locked; false when SDL
// cannot lock it, and then there is nothing to show.
bool writePicture(SDL_Texture* picture, const Vec3* sums, int passCount) {
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(picture, nullptr, &pixels, &pitch) != 0) return false;
    shownPicture(sums, passCount, pixels, pitch);
    return true;
}

// Uploads the written texture and copies it over the whole window.
void showPicture(const Window& window) {
    SDL_UnlockTexture(window.picture);
    SDL_RenderCopy(window.renderer, window.picture, nullptr, nullptr);
}

}  // namespace

void drawFrame(const Window& window, const Vec3* sums, int passCount) {
    if (writePicture(window.picture, sums, passCount)) showPicture(window);
}

void runFrameStep(const Window& window, Rendering& rendering) {
    bool written = false;
    // Writing the levels is all the frame step reads of the buffer, so the next pass starts
    // as soon as they are in the texture; the upload and present overlap it.
    const bool passStarted = stepFrame(rendering, [&] {
        written = writePicture(window.picture, rendering.accumulation, rendering.passCount);
    });
    if (!passStarted) return;
    if (written) showPicture(window);
    SDL_RenderPresent(window.renderer);
    SDL_RenderClear(window.renderer);
}

void presentFrame(Window& window, const ShownFrame& frame) {
    if (!(frame.size == window.pictureSize)) makePicture(window, frame.size);
    if (window.picture != nullptr) {
        SDL_UpdateTexture(window.picture, nullptr, frame.words.data(), frame.size.width * 4);
        SDL_RenderCopy(window.renderer, window.picture, nullptr, nullptr);
    }
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
