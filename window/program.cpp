#include "window/program.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include "window/events.h"
#include "window/frame.h"
#include "engine/startup.h"
#include "window/window.h"

namespace lucentor {

namespace {

std::string programName(int argc, char** argv) {
    if (argc < 1 || argv[0] == nullptr || argv[0][0] == '\0') return "lucentor";
    const std::string_view path = argv[0];
    return std::string(path.substr(path.find_last_of('/') + 1));
}

void reportFailure(int argc, char** argv, const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n", programName(argc, argv).c_str(), problem.c_str());
}

// The longest the loop sleeps before it looks at the window's events again.
constexpr std::chrono::milliseconds kEventWait{10};

}  // namespace

void runEventLoop(const Window& window, Rendering& rendering) {
    bool quit = false;
    while (!quit) {
        quit = handlePendingEvents();
        runFrameStep(window, rendering);
        // While a pass runs there is nothing to draw: sleeping until it completes, rather than
        // spinning, leaves every core to the workers. Events wait at most kEventWait.
        if (!quit) waitForPassComplete(rendering.job, kEventWait);
    }
}

int runProgram(int argc, char** argv, Preset preset) {
    return runProgram(argc, argv, createPresetScene(preset));
}

int runProgram(int argc, char** argv, Scene* scene) {
    Rendering rendering;
    prepareRendering(rendering, scene);

    Window window;
    if (std::string error; !openWindow(window, error)) {
        reportFailure(argc, argv, error);
        return kExitWindowFailed;
    }
    try {
        startWorkers(rendering, kWorkerCount, kRenderSeed);
    } catch (const std::system_error& e) {
        closeWindow(window);
        reportFailure(argc, argv, std::string("cannot start a render worker: ") + e.what());
        return 1;  // the rendering joins the workers already started
    }

    runEventLoop(window, rendering);

    // SDL goes first; the workers still running a pass never touch it.
    closeWindow(window);
    stopRendering(rendering);
    return 0;
}

}  // namespace lucentor
