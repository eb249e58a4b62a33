#include "app/program.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "app/events.h"
#include "app/startup.h"
#include "app/window.h"

namespace lucentor {

namespace {

std::string programName(int argc, char** argv) {
    if (argc < 1 || argv[0] == nullptr || argv[0][0] == '\0') return "lucentor";
    const std::string_view path = argv[0];
    return std::string(path.substr(path.find_last_of('/') + 1));
}

}  // namespace

void runEventLoop() {
    // Never waits, so the workers' passes are picked up as soon as they complete.
    bool quit = false;
    while (!quit) {
        quit = handlePendingEvents();
        // The frame step belongs here, after the events: a pass completed in the iteration
        // that brings a quit request is still shown before the loop ends.
    }
}

int runProgram(int argc, char** argv, Preset preset) {
    Scene* scene = createPresetScene(preset);

    Window window;
    if (std::string error; !openWindow(window, error)) {
        std::fprintf(stderr, "%s: %s\n", programName(argc, argv).c_str(), error.c_str());
        delete scene;
        return 1;
    }

    runEventLoop();

    closeWindow(window);
    delete scene;
    return 0;
}

}  // namespace lucentor
