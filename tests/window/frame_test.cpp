#include "window/frame.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/display.h"
#include "engine/image.h"
#include "window/window.h"

namespace lucentor {
namespace {

// Sums that differ from pixel to pixel in every channel, over the whole range of shown
// levels and beyond it, so a swapped axis, channel or row shows at once.
std::vector<Vec3> gradientSums(int passCount) {
    std::vector<Vec3> sums(kPixelCount);
    const auto count = float(passCount);
    for (int y = 0; y < kImageHeight; ++y) {
        for (int x = 0; x < kImageWidth; ++x) {
            const float red = float(x) / float(kImageWidth - 1) * 1.25f * count;
            const float green = float(y) / float(kImageHeight - 1) * count;
            const float blue = float((x * 7 + y * 3) % 300) / 256.0f * count;
            sums[pixelIndex(x, y)] = {red, green, (x + y) % 97 == 0 ? -blue : blue};
        }
    }
    sums[pixelIndex(5, 7)].x = std::numeric_limits<float>::quiet_NaN();
    sums[pixelIndex(6, 7)].y = std::numeric_limits<float>::infinity();
    return sums;
}

// The window of the dummy driver (set for this executable) renders in software, so what was
// drawn can be read back: it must be, pixel for pixel, what lucentor-render writes.
// The frame is what the worker completing the pass converts.
TEST(DrawShownFrame, DrawsEveryPixelAsTheHeadlessPictureHasIt) {
    Window window;
    std::string error;
    ASSERT_TRUE(openWindow(window, error)) << error;
    constexpr int kPasses = 3;
    const std::vector<Vec3> sums = gradientSums(kPasses);
    ShownFrame frame;
    frame.size = ImageSize{};
    frame.pass = kPasses;
    frame.words.resize(sums.size());
    shownPicture(sums.data(), kPasses, frame.words.data(), kImageWidth * 4);
    drawShownFrame(window, frame);
    std::vector<std::uint8_t> shown(std::size_t(kPixelCount) * 3);
    const int read = SDL_RenderReadPixels(window.renderer, nullptr, SDL_PIXELFORMAT_RGB24,
                                          shown.data(), kImageWidth * 3);
    closeWindow(window);
    ASSERT_EQ(read, 0) << SDL_GetError();

    int wrong = 0;
    for (int i = 0; i < kPixelCount && wrong < 5; ++i) {
        const DisplayColor expected = displayColor(sums[i], meanFactor(kPasses));
        const auto at = std::size_t(i) * 3;
        const bool same = shown[at] == expected.red && shown[at + 1] == expected.green &&
                          shown[at + 2] == expected.blue;
        wrong += same ? 0 : 1;
        EXPECT_TRUE(same) << "pixel (" << i % kImageWidth << ", " << i / kImageWidth << ") shows "
                          << int(shown[at]) << " " << int(shown[at + 1]) << " "
                          << int(shown[at + 2]) << ", expected " << int(expected.red) << " "
                          << int(expected.green) << " " << int(expected.blue);
    }
}

}  // namespace
}  // namespace lucentor
