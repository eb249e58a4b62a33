#include "programs/view/view_session.h"

#include <SDL.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "cli/command_line.h"
#include "engine/rendering.h"
#include "programs/render/image_file.h"
#include "programs/view/camera_controls.h"
#include "scenefile/scene_file.h"
#include "window/frame.h"
#include "window/program.h"
#include "window/shown_frames.h"
#include "window/window.h"

namespace lucentor {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often the scene file is looked at.
constexpr auto kFilePollPeriod = 250ms;
// How long a pending change waits at most for the current view's first pass: changes that
// come faster than passes (a held key, a drag, a resize) show a picture now and then.
constexpr auto kLongestHold = 250ms;
// How often the samples per second in the title are worked out, and the least time between two
// titles but for the first pass of a new view: each title costs X requests.
constexpr auto kRatePeriod = 500ms;
constexpr auto kTitlePeriod = 250ms;
// The longest the loop sleeps before it looks at events again.
constexpr std::chrono::milliseconds kEventWait{10};
// A held movement key moves kHeldStepsPerSecond steps a second once it has been held this long.
constexpr auto kHoldDelay = 300ms;
constexpr double kHeldStepsPerSecond = 10.0;

struct Movement {
    SDL_Keycode key;
    float forward;
    float right;
    float up;
};
constexpr std::array<Movement, 6> kMovements = {{{SDLK_w, 1.0f, 0.0f, 0.0f},
                                                 {SDLK_s, -1.0f, 0.0f, 0.0f},
                                                 {SDLK_a, 0.0f, -1.0f, 0.0f},
                                                 {SDLK_d, 0.0f, 1.0f, 0.0f},
                                                 {SDLK_q, 0.0f, 0.0f, -1.0f},
                                                 {SDLK_e, 0.0f, 0.0f, 1.0f}}};

// Everything the viewer's loop works on; the frames, rendering and window are the caller's.
struct Session {
    std::string path;
    std::string fileName;                  // as the title names it
    std::optional<Integrator> integrator;  // the command line's, over every reload's
    ShownFrames& frames;
    Rendering& rendering;
    Window& window;
    ViewControls controls;
    float baseStep = 1.0f;  // the scene's own step
    WatchedFile watched;
    std::vector<WatchedFile> others;  // the files the scene names, by their status
    std::string faultTitle;           // while the last edit is at fault
    std::array<std::optional<Clock::time_point>, kMovements.size()> heldSince{};
    Clock::time_point lastTick = Clock::now();
    bool viewChanged = false;
    ImageSize wantedSize{};
    Clock::time_point restartedAt = Clock::now();
    int shownPass = 0;  // of the current view; 0 while the window still shows an earlier one
    Pacing pacing{};
    Clock::time_point nextFilePoll = Clock::now() + kFilePollPeriod;
    std::string title{};
    Clock::time_point nextTitle = Clock::now();
    Clock::time_point rateSince = Clock::now();
    std::uint64_t rateSamples = 0;
    double samplesPerSecond = 0.0;
    bool quit = false;
};

std::string baseName(std::string_view path) {
    return std::string(path.substr(path.find_last_of('/') + 1));
}

bool samePose(const std::optional<CameraPose>& a, const std::optional<CameraPose>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a.has_value()) return true;
    return a->position == b->position && a->lookAt == b->lookAt && a->up == b->up &&
           a->fovDegrees == b->fovDegrees && a->mirrored == b->mirrored;
}

bool fileExists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

// Applies the wanted size and the controls' view: the pass in flight is abandoned and the
// accumulation starts again from pass 0. Throws as restartWorkers.
void restartView(Session& s, Clock::time_point now) {
    stopWorkers(s.rendering);
    // The workers are joined: nothing else reads the camera, size or frames now.
    dropReadyFrame(s.frames);
    s.rendering.size = s.wantedSize;
    *s.rendering.camera = viewCamera(s.controls, *s.rendering.scene, s.wantedSize);
    restartWorkers(s.rendering);
    startPass(s.rendering.job, 1);
    s.shownPass = 0;
    s.restartedAt = now;
    s.viewChanged = false;
}

bool isChangePending(const Session& s) {
    return s.viewChanged || !(s.wantedSize == s.rendering.size);
}

bool mayRestart(const Session& s, Clock::time_point now) {
    return s.shownPass >= 1 || now - s.restartedAt >= kLongestHold;
}

// A good new scene: the view keeps a moved camera unless the file's camera changed.
void replaceScene(Session& s, std::unique_ptr<Scene> scene) {
    const bool sameCamera = samePose(s.rendering.scene->camera, scene->camera);
    stopWorkers(s.rendering);
    delete s.rendering.scene;  // no worker reads it any more
    s.rendering.scene = scene.release();
    if (!sameCamera || !s.controls.moved) {
        const TurnMode mode = s.controls.mode;
        s.controls = makeControls(*s.rendering.scene);
        s.controls.mode = mode;
        s.baseStep = s.controls.step;
    }
    restartView(s, Clock::now());
}

std::vector<WatchedFile> watchStatuses(const std::vector<std::string>& paths) {
    std::vector<WatchedFile> watched;
    for (const std::string& path : paths) watched.push_back(watchStatus(path));
    return watched;
}

// Any file the scene reads: the scene file by its content, the others by their status. Every
// one is looked at, so that a change seen now is not seen again at the next poll.
bool sceneFilesChanged(Session& s) {
    std::string text;
    bool changed = readChangedContent(s.watched, kMaxSceneFileBytes, text);
    for (WatchedFile& other : s.others) changed = statusChanged(other) || changed;
    return changed;
}

void pollSceneFile(Session& s) {
    if (!sceneFilesChanged(s)) return;
    std::unique_ptr<Scene> scene;
    SceneReport report;
    const SceneFileStatus status =
        rereadScene(s.path, s.watched.content, s.integrator, scene, report);
    // Named now, a rows file that is still missing is watched until it comes.
    s.others = watchStatuses(report.otherFiles);
    if (status != SceneFileStatus::Read) {
        std::fprintf(stderr, "%s\n", report.problem.c_str());
        s.faultTitle = faultTitle(s.fileName, report.faultLine, report.faultFile);
        return;
    }
    for (const std::string& warning : report.warnings)
        std::fprintf(stderr, "%s\n", warning.c_str());
    s.faultTitle.clear();
    replaceScene(s, std::move(scene));
}

void savePicture(const Session& s) {
    if (s.shownPass < 1) {
        std::fputs("lucentor-view: no pass of this view is complete yet; nothing saved\n", stderr);
        return;
    }
    // The front frame is the main thread's, and holds the current view since shownPass >= 1.
    const ShownFrame& frame = s.frames.frames[std::size_t(s.frames.front)];
    const std::string name = pictureName(s.path, frame.pass, fileExists);
    OutputFile output;
    std::string reason = openOutput(output, name);
    if (reason.empty())
        reason = commitOutput(output, encodeShownPng(frame.words.data(), frame.size));
    if (!reason.empty()) {
        std::fprintf(stderr, "lucentor-view: cannot write '%s': %s\n", name.c_str(),
                     reason.c_str());
        return;
    }
    std::printf("%s: %d passes\n", name.c_str(), frame.pass);
    std::fflush(stdout);
}

void printCamera(const Session& s) {
    const std::optional<CameraPose>& own = s.rendering.scene->camera;
    if (!s.controls.moved && !own.has_value()) {
        std::fputs("# The fixed camera as near as a [camera] comes: its pixels are 1.25 % wider.\n",
                   stdout);
    }
    std::fputs(cameraText(s.controls.moved || !own ? s.controls.pose : *own).c_str(), stdout);
    std::fflush(stdout);
}

std::optional<std::size_t> movementOf(SDL_Keycode key) {
    for (std::size_t i = 0; i < kMovements.size(); ++i) {
        if (kMovements[i].key == key) return i;
    }
    return std::nullopt;
}

void move(Session& s, const Movement& movement, float steps) {
    moveBy(s.controls, movement.forward * steps, movement.right * steps, movement.up * steps);
    s.viewChanged = true;
}

void onMovementKey(Session& s, std::size_t index, bool down) {
    if (!down) {
        s.heldSince[index].reset();
        return;
    }
    if (s.heldSince[index].has_value()) return;  // a repeat: the hold moves on its own
    s.heldSince[index] = Clock::now();
    move(s, kMovements[index], 1.0f);
}

// The keys that change the view or act on it once per press (repeats included).
void onCommandKey(Session& s, SDL_Keycode key) {
    switch (key) {
        case SDLK_ESCAPE:
            s.quit = true;
            return;
        case SDLK_TAB:
            switchTurnMode(s.controls);
            return;
        // Plus zooms in, as in image viewers: a narrower field of view.
        case SDLK_PLUS:
        case SDLK_EQUALS:
        case SDLK_KP_PLUS:
            widenBy(s.controls, -1);
            break;
        case SDLK_MINUS:
        case SDLK_KP_MINUS:
            widenBy(s.controls, 1);
            break;
        case SDLK_LEFTBRACKET:
            scaleStep(s.controls, -1, s.baseStep);
            return;
        case SDLK_RIGHTBRACKET:
            scaleStep(s.controls, 1, s.baseStep);
            return;
        case SDLK_r:
            returnHome(s.controls);
            break;
        case SDLK_p:
            savePicture(s);
            return;
        case SDLK_c:
            printCamera(s);
            return;
        default:
            return;
    }
    s.viewChanged = true;
}

void onKey(Session& s, const SDL_KeyboardEvent& key) {
    if (const auto index = movementOf(key.keysym.sym)) {
        onMovementKey(s, *index, key.type == SDL_KEYDOWN);
    } else if (key.type == SDL_KEYDOWN) {
        onCommandKey(s, key.keysym.sym);
    }
}

ImageSize clampedSize(int width, int height) {
    return {std::clamp(width, kMinImageSide, kMaxImageSide),
            std::clamp(height, kMinImageSide, kMaxImageSide)};
}

void handleEvent(Session& s, const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:
            s.quit = true;
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            onKey(s, event.key);
            break;
        case SDL_MOUSEMOTION:
            if ((event.motion.state & SDL_BUTTON_LMASK) != 0) {
                turnBy(s.controls, float(event.motion.xrel), float(event.motion.yrel));
                s.viewChanged = true;
            }
            break;
        case SDL_MOUSEWHEEL: {
            const int notches =
                event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
            scaleStep(s.controls, notches, s.baseStep);
            break;
        }
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                s.wantedSize = clampedSize(event.window.data1, event.window.data2);
            }
            break;
        default:
            break;
    }
}

// Held movement keys move on smoothly, by the time since the last tick.
void moveHeldKeys(Session& s, Clock::time_point now) {
    for (std::size_t i = 0; i < kMovements.size(); ++i) {
        if (!s.heldSince[i].has_value()) continue;
        const Clock::time_point from = std::max(s.lastTick, *s.heldSince[i] + kHoldDelay);
        if (now <= from) continue;
        const double seconds = std::chrono::duration<double>(now - from).count();
        move(s, kMovements[i], float(seconds * kHeldStepsPerSecond));
    }
    s.lastTick = now;
}

void updateTitle(Session& s, Clock::time_point now) {
    if (now - s.rateSince >= kRatePeriod) {
        const std::uint64_t samples = publishedSamples(s.frames);
        const double seconds = std::chrono::duration<double>(now - s.rateSince).count();
        s.samplesPerSecond = double(samples - s.rateSamples) / seconds;
        s.rateSince = now;
        s.rateSamples = samples;
    }
    const bool firstPass = s.shownPass == 1;
    if (now < s.nextTitle && !firstPass) return;
    std::string title = s.faultTitle.empty() ? viewTitle(s.fileName, s.rendering.scene->integrator,
                                                         s.shownPass, s.samplesPerSecond)
                                             : s.faultTitle;
    if (title == s.title) return;
    s.title = std::move(title);
    setWindowTitle(s.window, s.title);
    s.nextTitle = now + kTitlePeriod;
}

void runLoop(Session& s) {
    while (!s.quit) {
        SDL_Event event;
        while (!s.quit && SDL_PollEvent(&event) != 0) handleEvent(s, event);
        if (s.quit) break;
        Clock::time_point now = Clock::now();
        moveHeldKeys(s, now);
        if (now >= s.nextFilePoll) {
            pollSceneFile(s);
            s.nextFilePoll = now + kFilePollPeriod;
        }
        if (isChangePending(s) && mayRestart(s, now)) restartView(s, now);
        if (presentNewest(s.window, s.frames, s.pacing)) {
            s.shownPass = s.frames.frames[std::size_t(s.frames.front)].pass;
        }
        updateTitle(s, Clock::now());
        waitForPresent(s.frames, s.pacing, kEventWait);
    }
}

}  // namespace

std::string viewTitle(std::string_view file, Integrator integrator, int passes,
                      double samplesPerSecond) {
    std::array<char, 32> rate{};
    std::snprintf(rate.data(), rate.size(), "%.1f", samplesPerSecond / 1.0e6);
    return "Lucentor \u2014 " + std::string(file) + " \u2014 " +
           std::string(integratorName(integrator)) + " integrator \u2014 " +
           std::to_string(passes) + " passes \u2014 " + rate.data() + " M samples/s";
}

SceneFileStatus rereadScene(const std::string& path, std::string_view text,
                            const std::optional<Integrator>& integrator,
                            std::unique_ptr<Scene>& scene, SceneReport& report) {
    auto read = std::make_unique<Scene>();
    const SceneFileStatus status =
        readSceneText(text, sceneFileName(path), sceneFolderOf(path), *read, report);
    if (status != SceneFileStatus::Read) return status;
    overrideIntegrator(*read, integrator);
    scene = std::move(read);
    return status;
}

std::string faultTitle(std::string_view file, int line, std::string_view faultFile) {
    const std::string where = faultFile.empty() ? std::string() : " of " + baseName(faultFile);
    // A glTF file's faults are located by object and index, not by line.
    const std::string at = line > 0 ? "error at line " + std::to_string(line) + where
                                    : "error in " + baseName(faultFile);
    return "Lucentor \u2014 " + std::string(file) + " \u2014 " + at + ", see the terminal";
}

std::string pictureName(std::string_view path, int passes, bool (*taken)(const std::string&)) {
    std::string stem = baseName(path);
    if (const std::size_t dot = stem.find_last_of('.'); dot != std::string::npos && dot > 0) {
        stem.resize(dot);
    }
    const std::string base = stem + "-" + std::to_string(passes) + "-passes";
    std::string name = base + ".png";
    for (int k = 2; taken(name); ++k) name = base + "-" + std::to_string(k) + ".png";
    return name;
}

int runViewSession(const std::string& path, const ViewSettings& settings,
                   std::unique_ptr<Scene> scene, WatchedFile watched,
                   const std::vector<std::string>& otherFiles) {
    const ImageSize size = settings.size;
    ShownFrames frames;  // before the rendering, whose workers write it until they are joined
    Rendering rendering;
    const ViewControls controls = makeControls(*scene);
    prepareRendering(rendering, scene.release(), size);
    Window window;
    if (std::string error; !openWindow(window, error, size, true)) {
        std::fprintf(stderr, "lucentor-view: %s\n", error.c_str());
        return kExitWindowFailed;
    }
    Session s{.path = path,
              .fileName = baseName(path),
              .integrator = settings.integrator,
              .frames = frames,
              .rendering = rendering,
              .window = window,
              .controls = controls,
              .baseStep = controls.step,
              .watched = std::move(watched),
              .others = watchStatuses(otherFiles),
              .faultTitle = {},
              .wantedSize = size,
              .pacing = pacingOf(window.window)};
    std::string problem = startShowing(rendering, frames);
    if (problem.empty()) {
        try {
            runLoop(s);
        } catch (const std::system_error& e) {
            problem = std::string("cannot restart the render workers: ") + e.what();
        } catch (const std::bad_alloc&) {
            problem = "not enough memory for a picture of " + std::to_string(s.wantedSize.width) +
                      "x" + std::to_string(s.wantedSize.height);
        }
    }
    // SDL goes first; the workers still running a pass never touch it.
    closeWindow(window);
    stopRendering(rendering);
    if (problem.empty()) return 0;
    std::fprintf(stderr, "lucentor-view: %s\n", problem.c_str());
    return 1;
}

}  // namespace lucentor
