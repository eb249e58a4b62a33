#include "window/events.h"

namespace lucentor {

bool endsProgram(const SDL_Event& event) {
    if (event.type == SDL_QUIT) return true;
    return event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE;
}

bool handlePendingEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        if (endsProgram(event)) return true;
    }
    return false;
}

}  // namespace lucentor
