#pragma once

#include <SDL.h>

#include "engine/rendering.h"
#include "window/window.h"

namespace lucentor {

// Draws the mean of `passCount` (>= 1) passes of `sums` over the whole window: the shown levels
// go into the window's picture texture, which is then copied onto the renderer.
void drawFrame(const Window& window, const Vec3* sums, int passCount);

// The frame step of the window programs, once per loop iteration: when a pass has completed,
// draws it, starts the next pass, presents and clears. Nothing happens while a pass runs.
void runFrameStep(const Window& window, Rendering& rendering);

}  // namespace lucentor
