#pragma once

#include <SDL.h>

#include <vector>

#include "window/shown_frames.h"
#include "window/window.h"

namespace lucentor {

// The frame a window shows for these sums after `passCount` passes, at the window's size.
ShownFrame shownFrameOf(const std::vector<Vec3>& sums, int passCount);

// The SDL calls of one present without anything around them: the frame's words uploaded into
// the window's texture and copied, then present and clear.
void drawBareFrame(const Window& window, const ShownFrame& frame);

}  // namespace lucentor
