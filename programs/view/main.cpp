// SDL.h stands here so that SDL2main can take over the entry where a platform needs it.
#include <SDL.h>

#include "programs/view/viewer.h"

int main(int argc, char* argv[]) { return lucentor::runViewer(argc, argv); }
