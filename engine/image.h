#pragma once

namespace lucentor {

// The picture's size in pixels: the window's, the accumulation buffer's and every output's.
inline constexpr int kImageWidth = 640;
inline constexpr int kImageHeight = 480;
inline constexpr int kPixelCount = kImageWidth * kImageHeight;

// Row-major, no flip: row 0 is the top row of the window.
constexpr int pixelIndex(int x, int y) { return y * kImageWidth + x; }

// The sides lucentor-render accepts for its pictures.
inline constexpr int kMinImageSide = 16;
inline constexpr int kMaxImageSide = 8192;

// A picture's size in pixels; the window's by default.
struct ImageSize {
    int width = kImageWidth;
    int height = kImageHeight;

    constexpr int pixelCount() const { return width * height; }
    // Row-major, no flip, as pixelIndex.
    constexpr int pixelIndex(int x, int y) const { return y * width + x; }
    constexpr bool operator==(const ImageSize&) const = default;
};

// A rectangle of the picture's pixels: columns x to x + width - 1, rows y to y + height - 1.
struct PixelRegion {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    constexpr bool operator==(const PixelRegion&) const = default;
};

}  // namespace lucentor
