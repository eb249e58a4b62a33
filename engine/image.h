#pragma once

namespace lucentor {

// The picture's size in pixels: the window's, the accumulation buffer's and every output's.
inline constexpr int kImageWidth = 640;
inline constexpr int kImageHeight = 480;
inline constexpr int kPixelCount = kImageWidth * kImageHeight;

// Row-major, no flip: row 0 is the top row of the window.
constexpr int pixelIndex(int x, int y) { return y * kImageWidth + x; }

}  // namespace lucentor
