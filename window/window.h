#pragma once

#include <SDL.h>

#include <string>

#include "engine/image.h"

namespace lucentor {

inline constexpr const char* kWindowTitle = "Lucentor";

// The exit code when the window cannot be set up, or its X display goes away while it runs.
inline constexpr int kExitWindowFailed = 1;

// The picture's format in the window's texture: 32-bit words 0x00RRGGBB, which both SDL's
// OpenGL and software renderers take as they are. It has no alpha, so the copy never blends.
inline constexpr Uint32 kPicturePixelFormat = SDL_PIXELFORMAT_RGB888;

// SDL and the program's one window with its renderer, and the streaming texture through which
// each completed pass is shown. Only the main thread touches them.
struct Window {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* picture = nullptr;  // pictureSize, kPicturePixelFormat
    ImageSize pictureSize;
};

// Starts SDL's video subsystem and opens the centred window of `size`, fixed in size unless
// `resizable`, with its renderer and picture texture.
// On failure it releases whatever it made, shuts SDL down and returns a one-line reason.
// Reaching no visible display is a failure unless the user asked for that driver. Should an X
// display go away later, the process ends at once with one line and kExitWindowFailed.
bool openWindow(Window& out, std::string& error, ImageSize size = {}, bool resizable = false);

// Replaces the window's picture texture by one of `size`; false when SDL cannot make it.
bool makePicture(Window& window, ImageSize size);

// Sets the window's title, UTF-8 text, so that X shows it whatever the C library's locale.
void setWindowTitle(const Window& window, const std::string& title);

// Destroys the texture, the renderer and the window, then shuts SDL down.
void closeWindow(Window& window);

// True when SDL settled on a driver that shows nothing although SDL_VIDEODRIVER (`requested`,
// a comma-separated list, or null when unset) did not name it: SDL falls back to such a driver
// by itself when no display is reachable, and the program would then render for nobody.
bool isUnrequestedInvisibleDriver(const char* chosen, const char* requested);

}  // namespace lucentor
