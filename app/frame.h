#pragma once

#include <SDL.h>

#include "app/rendering.h"

namespace lucentor {

// Draws the mean of `passCount` (>= 1) passes of `sums` point by point: one draw colour and
// one point per pixel, rows top to bottom, each row left to right. The alpha is 0 and the
// blend mode is left at SDL's default, which ignores it.
void drawFrame(SDL_Renderer* renderer, const Vec3* sums, int passCount);

// The frame step of the window programs, once per loop iteration: when a pass has completed,
// draws it, starts the next pass, presents and clears. Nothing happens while a pass runs.
void runFrameStep(SDL_Renderer* renderer, Rendering& rendering);

}  // namespace lucentor
