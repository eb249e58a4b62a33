#pragma once

#include <SDL.h>

#include <chrono>

#include "window/shown_frames.h"
#include "window/window.h"

namespace lucentor {

// Copies `frame` over the whole window, remaking the picture texture when the frame's size
// differs from it.
void drawShownFrame(Window& window, const ShownFrame& frame);

// Draws `frame`, then presents and clears.
void presentFrame(Window& window, const ShownFrame& frame);

// When the window may present next: at most once per refresh of its display.
struct Pacing {
    PresentClock::duration period;
    PresentClock::time_point nextPresent;
};

// The refresh rate of the window's display, or kFallbackRefreshRate where it is unknown (as
// under Xvfb).
inline constexpr int kFallbackRefreshRate = 60;
int refreshRate(SDL_Window* window);
Pacing pacingOf(SDL_Window* window);

// Presents the newest published frame when one came since the last present and the pacing
// allows it; returns whether it did.
bool presentNewest(Window& window, ShownFrames& frames, Pacing& pacing);

// Sleeps until a present may be due, at most `longest`, so that events are not kept waiting.
void waitForPresent(ShownFrames& frames, const Pacing& pacing, std::chrono::milliseconds longest);

}  // namespace lucentor
