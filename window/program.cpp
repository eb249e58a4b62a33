#include "window/program.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/startup.h"
#include "window/events.h"
#include "window/frame.h"
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

void runEventLoop(Window& window, ShownFrames& frames) {
    Pacing pacing = pacingOf(window.window);
    bool quit = false;
    while (!quit) {
        quit = handlePendingEvents();
        presentNewest(window, frames, pacing);
        // Sleeping rather than spinning leaves every core to the workers.
        if (!quit) waitForPresent(frames, pacing, kEventWait);
    }
}

std::string startShowing(Rendering& rendering, ShownFrames& frames) {
    relayPasses(rendering.job, frames);
    try {
        startWorkers(rendering, kWorkerCount, kRenderSeed);
    } catch (const std::system_error& e) {
        return std::string("cannot start a render worker: ") + e.what();
    }
    // From now on the worker completing a pass starts the next one.
    startPass(rendering.job, 1);
    return "";
}

int runProgram(int argc, char** argv, Preset preset) {
    return runProgram(argc, argv, createPresetScene(preset));
}

int runProgram(int argc, char** argv, Scene* scene) {
    ShownFrames frames;  // before the rendering, whose workers write it until they are joined
    Rendering rendering;
    prepareRendering(rendering, scene);

    Window window;
    if (std::string error; !openWindow(window, error)) {
        reportFailure(argc, argv, error);
        return kExitWindowFailed;
    }
    if (const std::string problem = startShowing(rendering, frames); !problem.empty()) {
        closeWindow(window);
        reportFailure(argc, argv, problem);
        return 1;
    }

    runEventLoop(window, frames);

    // SDL goes first; the workers still running a pass never touch it.
    closeWindow(window);
    stopRendering(rendering);
    return 0;
}

}  // namespace lucentor
