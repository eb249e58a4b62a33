#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "engine/rendering.h"
#include "window/window.h"

namespace lucentor {

// The picture the frame step would show for these sums after `passCount` passes, row by row.
std::vector<std::uint32_t> shownWordsOf(const std::vector<Vec3>& sums, int passCount);

// The SDL calls of one frame step without anything around them: the precomputed picture
// uploaded into the window's texture and copied, then present and clear.
void drawBareFrame(const Window& window, const std::vector<std::uint32_t>& words);

// What the frame step does once a pass has completed, short of starting the next pass: draws
// the mean of `passCount` passes of `sums`, then presents and clears.
void drawCompletedPass(const Window& window, const Vec3* sums, int passCount);

// A rendering of the preset set up as startWorkers leaves it, idle before its first pass,
// but with no worker thread: completeWithoutWorkers stands in for them.
void prepareWithoutWorkers(Rendering& rendering, Preset preset);

// Ends the pass in progress of a rendering without workers as if its workers had rendered
// it with the samples `sums`: these added to the buffer, every row handed out, every report in.
void completeWithoutWorkers(Rendering& rendering, const std::vector<Vec3>& sums);

}  // namespace lucentor
