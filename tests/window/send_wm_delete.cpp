// Asks an X window to close the way a window manager's close button does: an ICCCM
// WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. Without a window manager (as under
// Xvfb) nothing else sends it, and destroying the window instead would test another path.
// Usage: send_wm_delete WINDOW_ID (decimal, or hexadecimal with 0x).
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool sawXError = false;

int recordXError(Display* /*display*/, XErrorEvent* /*error*/) {
    sawXError = true;
    return 0;
}

bool parseWindowId(const char* text, Window& id) {
    char* end = nullptr;
    id = std::strtoul(text, &end, 0);
    return end != text && *end == '\0' && id != 0;
}

bool sendDeleteRequest(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    // NOLINTBEGIN(cppcoreguidelines-pro-type-union-access): Xlib lays client data out as a union.
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    // NOLINTEND(cppcoreguidelines-pro-type-union-access)
    XSetErrorHandler(recordXError);
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);  // a bad window id is reported only once the request is processed
    return sent != 0 && !sawXError;
}

}  // namespace

int main(int argc, char** argv) {
    Window window = 0;
    if (argc != 2 || !parseWindowId(argv[1], window)) {
        std::fprintf(stderr, "send_wm_delete: usage: send_wm_delete WINDOW_ID\n");
        return 1;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "send_wm_delete: cannot open the X display\n");
        return 1;
    }
    const bool sent = sendDeleteRequest(display, window);
    XCloseDisplay(display);
    if (!sent) {
        std::fprintf(stderr, "send_wm_delete: cannot send the request to window %s\n", argv[1]);
        return 1;
    }
    return 0;
}
