#include "window/window.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#if LUCENTOR_WITH_XLIB
#include <SDL_syswm.h>
#include <X11/Xatom.h>
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

// libwayland finds its socket through WAYLAND_SOCKET, an absolute WAYLAND_DISPLAY or
// XDG_RUNTIME_DIR; with none of them it cannot connect, but prints a line of its own to stderr
// when SDL probes it.
bool waylandUnreachable() {
    const auto absolute = [](const char* name) {
        const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): main thread
        return value != nullptr && value[0] == '/';
    };
    return std::getenv("WAYLAND_SOCKET") == nullptr &&  // NOLINT(concurrency-mt-unsafe)
           !absolute("WAYLAND_DISPLAY") && !absolute("XDG_RUNTIME_DIR");
}

// Every video driver SDL would try by itself, in its order, but Wayland.
std::string driversButWayland() {
    std::string list;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const std::string_view name = SDL_GetVideoDriver(i);
        if (name == "wayland") continue;
        if (!list.empty()) list += ',';
        list += name;
    }
    return list;
}

// SDL_Init with SDL's own choice of driver, but without probing a Wayland that cannot be
// reached, so that failing to find a display costs the user one line, ours.
int initVideo(const char* requested) {
    if (requested != nullptr || !waylandUnreachable()) return SDL_Init(SDL_INIT_VIDEO);
    SDL_SetHint(SDL_HINT_VIDEODRIVER, driversButWayland().c_str());
    const int result = SDL_Init(SDL_INIT_VIDEO);
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    return result;
}

// SDL's software renderer onto the window's own X surface unless the environment names
// another: a frame is then two copies of the picture. Through OpenGL without a GPU (Mesa's
// llvmpipe, as under Xvfb) it cost five to six times as much processor time, taken from the
// workers. The pixels are the same either way.
void preferSoftwareDrawing() {
    SDL_SetHintWithPriority(SDL_HINT_RENDER_DRIVER, "software", SDL_HINT_DEFAULT);
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
}

// Makes SDL, the window and the renderer in turn; stops at the first failure and names it.
std::string openParts(Window& out, ImageSize size, bool resizable) {
    catchLostDisplay();  // before SDL_Init, which already talks to the X server
    const char* requested = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (initVideo(requested) != 0) return withSdlError("cannot initialise SDL video");
    const char* driver = SDL_GetCurrentVideoDriver();
    if (isUnrequestedInvisibleDriver(driver, requested)) {
        return std::string("no display reachable: SDL fell back to its invisible '") +
               (driver != nullptr ? driver : "unknown") +
               "' video driver (set DISPLAY, or SDL_VIDEODRIVER=dummy to run without a window)";
    }
    preferSoftwareDrawing();
    out.window = SDL_CreateWindow(kWindowTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  size.width, size.height, resizable ? SDL_WINDOW_RESIZABLE : 0);
    if (out.window == nullptr) return withSdlError("cannot create the window");
    out.renderer = SDL_CreateRenderer(out.window, -1, 0);
    if (out.renderer == nullptr) return withSdlError("cannot create the renderer");
    if (!makePicture(out, size)) return withSdlError("cannot create the picture texture");
    return "";
}

}  // namespace

bool makePicture(Window& window, ImageSize size) {
    if (window.picture != nullptr) SDL_DestroyTexture(window.picture);
    window.picture = SDL_CreateTexture(window.renderer, kPicturePixelFormat,
                                       SDL_TEXTUREACCESS_STREAMING, size.width, size.height);
    window.pictureSize = size;
    return window.picture != nullptr;
}

bool openWindow(Window& out, std::string& error, ImageSize size, bool resizable) {
    out = Window{};
    error = openParts(out, size, resizable);
    if (error.empty()) return true;
    closeWindow(out);
    return false;
}

void closeWindow(Window& window) {
    // SDL_Quit destroys the window but not its renderer, which would leak: destroy both first,
    // and the texture before the renderer it belongs to.
    if (window.picture != nullptr) SDL_DestroyTexture(window.picture);
    if (window.renderer != nullptr) SDL_DestroyRenderer(window.renderer);
    if (window.window != nullptr) SDL_DestroyWindow(window.window);
    SDL_Quit();
    window = Window{};
}

namespace {

#if LUCENTOR_WITH_XLIB
// SDL converts a title for X through the C library's locale, which the programs leave at "C":
// anything beyond ASCII would reach X garbled or not at all, and libX11 leaks on the way. The
// title is UTF-8, as the properties of this type say. False when the window is not on X.
bool setXTitle(SDL_Window* window, const std::string& title) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) == SDL_FALSE || info.subsystem != SDL_SYSWM_X11) {
        return false;
    }
    Display* display = info.info.x11.display;
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const auto* bytes = reinterpret_cast<const unsigned char*>(title.data());  // NOLINT: Xlib
    for (const char* name : {"_NET_WM_NAME", "WM_NAME"}) {
        XChangeProperty(display, info.info.x11.window, XInternAtom(display, name, False), utf8, 8,
                        PropModeReplace, bytes, int(title.size()));
    }
    XFlush(display);
    return true;
}
#endif

}  // namespace

void setWindowTitle(const Window& window, const std::string& title) {
#if LUCENTOR_WITH_XLIB
    if (setXTitle(window.window, title)) return;
#endif
    SDL_SetWindowTitle(window.window, title.c_str());
}

}  // namespace lucentor
