// Presses keys into an X window at known moments, for bench/view_latency.sh: each press is a
// KeyPress and a KeyRelease sent to the window and flushed at once, after its time (seconds
// since the epoch, the clock of `date +%s.%N`) went to standard output. Keys alternate A and D,
// a quarter to a little over two fifths of a second apart, so that presses fall at every phase
// of the window's frames. Starting a program per press, as xdotool would be, adds tens of
// milliseconds of its own. Usage: lucentor-key-presser WINDOW_ID PRESSES
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

namespace {

void sendKey(Display* display, Window window, KeySym key, int type) {
    XEvent event{};
    // NOLINTBEGIN(cppcoreguidelines-pro-type-union-access): Xlib lays events out as a union.
    event.xkey.type = type;
    event.xkey.display = display;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(display);
    event.xkey.time = CurrentTime;
    event.xkey.same_screen = True;
    event.xkey.keycode = XKeysymToKeycode(display, key);
    // NOLINTEND(cppcoreguidelines-pro-type-union-access)
    const long mask = type == KeyPress ? KeyPressMask : KeyReleaseMask;
    XSendEvent(display, window, True, mask, &event);
}

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lucentor-key-presser WINDOW_ID PRESSES\n");
        return 2;
    }
    const auto window = Window(std::strtoul(argv[1], nullptr, 0));
    const long presses = std::strtol(argv[2], nullptr, 10);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "lucentor-key-presser: cannot open the display\n");
        return 1;
    }
    std::mt19937 random(1);
    std::uniform_int_distribution<int> pauseMs(250, 420);
    for (long press = 0; press < presses; ++press) {
        const KeySym key = press % 2 == 0 ? XK_a : XK_d;
        std::printf("%.6f\n", secondsNow());
        std::fflush(stdout);
        sendKey(display, window, key, KeyPress);
        sendKey(display, window, key, KeyRelease);
        XFlush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
    }
    XCloseDisplay(display);
    return 0;
}
