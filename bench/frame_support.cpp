#include "bench/frame_support.h"

#include "engine/display.h"
#include "engine/image.h"

namespace lucentor {

ShownFrame shownFrameOf(const std::vector<Vec3>& sums, int passCount) {
    ShownFrame frame;
    frame.size = ImageSize{};
    frame.pass = passCount;
    frame.words.resize(sums.size());
    shownPicture(sums.data(), passCount, frame.words.data(), frame.size.width * 4);
    return frame;
}

void drawBareFrame(const Window& window, const ShownFrame& frame) {
    SDL_UpdateTexture(window.picture, nullptr, frame.words.data(), frame.size.width * 4);
    SDL_RenderCopy(window.renderer, window.picture, nullptr, nullptr);
    SDL_RenderPresent(window.renderer);
    SDL_RenderClear(window.renderer);
}

}  // namespace lucentor
