// SDL.h stands here so that SDL2main can take over the entry where a platform needs it.
#include <SDL.h>

#include "window/program.h"
#include "presets/trio.h"

int main(int argc, char* argv[]) {
    return lucentor::runProgram(argc, argv, lucentor::buildTrioScene);
}
