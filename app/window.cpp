#include "app/window.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#if LUCENTOR_WITH_XLIB
#include <X11/Xlib.h>
#endif

namespace lucentor {

namespace {

// Drivers that run without showing anything: dummy (also in its evdev flavour) and offscreen.
constexpr std::array<std::string_view, 3> kInvisibleDrivers = {"dummy", "evdev", "offscreen"};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (SDL_tolower(a[i]) != SDL_tolower(b[i])) return false;
    }
    return true;
}

// SDL reads SDL_VIDEODRIVER as a comma-separated list of driver names, case-insensitively.
bool listNames(std::string_view list, std::string_view name) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (equalsIgnoringCase(list.substr(0, comma), name)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

std::string withSdlError(const char* what) { return std::string(what) + ": " + SDL_GetError(); }

}  // namespace

bool isUnrequestedInvisibleDriver(const char* chosen, const char* requested) {
    if (chosen == nullptr) return true;
    bool invisible = false;
    for (const std::string_view driver : kInvisibleDrivers) {
        invisible = invisible || equalsIgnoringCase(driver, chosen);
    }
    return invisible && (requested == nullptr || !listNames(requested, chosen));
}

namespace {

#if LUCENTOR_WITH_XLIB
// Xlib calls this when the connection to the X server breaks, and ends the process if it
// returns. Its own handler prints up to two lines and calls exit(), which runs the libraries'
// exit-time clean-up inside the failing Xlib call, with the display locked, while the workers
// still render. _Exit ends every thread at once; the window programs write no file.
extern "C" int endOnLostDisplay(Display* /*display*/) {
    std::fprintf(stderr, "%s: lost the connection to the X display\n",
                 program_invocation_short_name);
    std::_Exit(kExitWindowFailed);
}
#endif

void catchLostDisplay() {
#if LUCENTOR_WITH_XLIB
    XSetIOErrorHandler(endOnLostDisplay);
#endif
}

// Makes SDL, the window and the renderer in turn; stops at the first failure and names it.
std::string openParts(Window& out) {
    catchLostDisplay();  // before SDL_Init, which already talks to the X server
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return withSdlError("cannot initialise SDL video");
    const char* driver = SDL_GetCurrentVideoDriver();
    if (isUnrequestedInvisibleDriver(driver, SDL_GetHint(SDL_HINT_VIDEODRIVER))) {
        return std::string("no display reachable: SDL fell back to its invisible '") +
               (driver != nullptr ? driver : "unknown") +
               "' video driver (set DISPLAY, or SDL_VIDEODRIVER=dummy to run without a window)";
    }
    out.window = SDL_CreateWindow(kWindowTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  kImageWidth, kImageHeight, 0);
    if (out.window == nullptr) return withSdlError("cannot create the window");
    out.renderer = SDL_CreateRenderer(out.window, -1, 0);
    if (out.renderer == nullptr) return withSdlError("cannot create the renderer");
    return "";
}

}  // namespace

bool openWindow(Window& out, std::string& error) {
    out = Window{};
    error = openParts(out);
    if (error.empty()) return true;
    closeWindow(out);
    return false;
}

void closeWindow(Window& window) {
    // SDL_Quit destroys the window but not its renderer, which would leak: destroy both first.
    if (window.renderer != nullptr) SDL_DestroyRenderer(window.renderer);
    if (window.window != nullptr) SDL_DestroyWindow(window.window);
    SDL_Quit();
    window = Window{};
}

}  // namespace lucentor
