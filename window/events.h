#pragma once

#include <SDL.h>

namespace lucentor {

// A quit request (closing the window, SIGTERM, SIGINT) or a key-down of Escape, repeats
// included. Key-ups and every other event leave the program running.
bool endsProgram(const SDL_Event& event);

// Handles every event that is pending now and returns true when one of them ends the program,
// so a quit request never waits behind a backlog of other events.
bool handlePendingEvents();

}  // namespace lucentor
