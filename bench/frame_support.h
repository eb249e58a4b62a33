#pragma once

#include <SDL.h>

#include <vector>

#include "app/display.h"
#include "app/rendering.h"

namespace lucentor {

// The colours the frame step would show for these sums after `passCount` passes.
std::vector<DisplayColor> shownColors(const std::vector<Vec3>& sums, int passCount);

// The SDL calls of one frame step without anything around them: one draw colour and one point
// per pixel from precomputed colours, then present and clear.
void drawBareFrame(SDL_Renderer* renderer, const std::vector<DisplayColor>& colors);

// What the frame step does once a pass has completed, short of starting the next pass: draws
// the mean of `passCount` passes of `sums`, then presents and clears.
void drawCompletedPass(SDL_Renderer* renderer, const Vec3* sums, int passCount);

// A rendering of the preset set up as startWorkers leaves it, idle before its first pass,
// but with no worker thread: completeWithoutWorkers stands in for them.
void prepareWithoutWorkers(Rendering& rendering, Preset preset);

// Ends the pass in progress of a rendering without workers as if its workers had rendered
// it with the samples `sums`: these added to the buffer, every row handed out, every report in.
void completeWithoutWorkers(Rendering& rendering, const std::vector<Vec3>& sums);

}  // namespace lucentor
