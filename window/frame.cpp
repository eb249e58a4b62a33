#include "window/frame.h"

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

}  // namespace lucentor
