#include "programs/render/headless.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string_view>
#include <system_error>
#include <thread>

#include "cli/command_line.h"
#include "cli/escape.h"
#include "cli/scene_loading.h"
#include "engine/image.h"
#include "engine/rendering.h"
#include "engine/startup.h"
#include "programs/render/exr_image.h"
#include "programs/render/image_file.h"
#include "scenefile/scene_file.h"

namespace lucentor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The signal that asked the render to stop, or 0. Written only by the handler, which may run
// on any thread: a lock-free atomic is both signal-safe and race-free.
std::atomic<int> interruptSignal = 0;
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void noteInterrupt(int signal) { interruptSignal.store(signal); }

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::string oneDecimal(double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.1f", value);
    return text.data();
}

void complain(const std::string& problem) {
    std::fprintf(stderr, "lucentor-render: %s\n", problem.c_str());
}

// Redrawn in place on a terminal at most ten times a second; nothing elsewhere.
struct Progress {
    bool shown = false;
    Clock::time_point start = Clock::now();
    Clock::time_point lastDrawn;
    int lastDone = -1;
};

void drawProgress(Progress& progress, int done, int total, double timeLimit) {
    const Clock::time_point now = Clock::now();
    if (!progress.shown || (done == progress.lastDone && now - progress.lastDrawn < 100ms)) {
        return;
    }
    progress.lastDrawn = now;
    progress.lastDone = done;
    std::fprintf(stderr, "\r%s\033[K",
                 progressLine(done, total, now - progress.start, timeLimit).c_str());
    std::fflush(stderr);
}

void clearProgress(const Progress& progress) {
    if (progress.shown) std::fputs("\r\033[K", stderr);
}

// The time left before the time limit forbids starting another pass.
Seconds timeLeft(const Progress& progress, double timeLimit) {
    return Seconds(timeLimit) - Seconds(Clock::now() - progress.start);
}

// Lets the workers go from pass to pass by themselves until `options.passes` are complete, or
// until the pass in progress when the time limit comes, leaving them idle; or until a signal
// arrives. Returns false when interrupted.
bool renderPasses(Rendering& rendering, const RenderOptions& options, Progress& progress) {
    RenderJob& job = rendering.job;
    startPasses(job, options.passes);
    bool timeUp = false;
    while (!arePassesDone(job)) {
        if (interruptSignal != 0) return false;
        // Wakes now and then for signals and the progress line, and at the limit.
        Seconds wait = 20ms;
        if (options.timeLimit > 0.0 && !timeUp) {
            const Seconds left = timeLeft(progress, options.timeLimit);
            timeUp = left <= Seconds(0);
            if (timeUp) endWithCurrentPass(job);
            wait = std::clamp(left, Seconds(0), wait);
        }
        waitForPassComplete(job, std::chrono::ceil<std::chrono::milliseconds>(wait));
        drawProgress(progress, completedPasses(job), options.passes, options.timeLimit);
    }
    return true;
}

std::vector<unsigned char> encode(const RenderOptions& options, const Rendering& rendering,
                                  int passes) {
    switch (options.format) {
        case ImageFormat::Png:
            return encodePng(rendering.accumulation, passes, rendering.size);
        case ImageFormat::Pfm:
            return encodePfm(rendering.accumulation, passes, rendering.size);
        case ImageFormat::Exr:
            return encodeExr(rendering.accumulation, passes, rendering.size, options.exrPrecision);
    }
    return {};
}

int interruptedExit() {
    complain("interrupted; nothing written");
    return 128 + interruptSignal.load();
}

// `passes` were rendered; fewer than asked for when the time limit ended the render.
void printSummary(const RenderOptions& options, int passes, SimdPath simd, Seconds elapsed) {
    const PixelRegion& region = options.region;
    const double pixels = region.width > 0 ? double(region.width) * double(region.height)
                                           : double(options.size.pixelCount());
    const double samples = double(passes) * pixels;
    std::printf("%s: %d pass%s%s, %d thread%s, %s, %.2f s, %.2f M samples/s, %s\n",
                std::string(sceneFileName(options.sceneName)).c_str(), passes,
                passes == 1 ? "" : "es", passes < options.passes ? " (time up)" : "",
                options.threads, options.threads == 1 ? "" : "s",
                std::string(pathName(simd)).c_str(), elapsed.count(),
                samples / elapsed.count() / 1.0e6, options.output.c_str());
}

// The preset as a scene file, written whole or not at all like a picture.
int exportPreset(const RenderOptions& options) {
    const std::unique_ptr<Scene> scene(createPresetScene(options.preset));
    const std::string heading = "# The " + options.sceneName + " scene of lucentor-" +
                                options.sceneName + ", written by `lucentor-render --export " +
                                options.sceneName +
                                "`:\n# it renders exactly as the preset, with any seed.\n";
    const std::string text = writeSceneText(*scene, heading);
    // A scene file is something a user edits by hand: never replaced unasked.
    if (struct stat status{}; !options.force && ::lstat(options.output.c_str(), &status) == 0) {
        complain("cannot write " + inQuotes(options.output) + ": it exists (--force replaces it)");
        return kExitWriteFailed;
    }
    OutputFile output;
    std::string reason = openOutput(output, options.output);
    if (reason.empty())
        reason = commitOutput(output, std::vector<unsigned char>(text.begin(), text.end()));
    if (!reason.empty()) {
        complain("cannot write " + inQuotes(options.output) + ": " + reason);
        return kExitWriteFailed;
    }
    std::printf("%s: written to %s\n", options.sceneName.c_str(), options.output.c_str());
    return 0;
}

}  // namespace

int loadScene(const RenderOptions& options, std::unique_ptr<Scene>& scene) {
    if (options.preset == nullptr) {
        const int status = loadSceneFileReporting(options.sceneName, "lucentor-render", scene,
                                                  [] { return interruptSignal != 0; });
        if (interruptSignal != 0) return interruptedExit();
        if (status != 0) return status;
    } else {
        scene.reset(createPresetScene(options.preset));
    }
    overrideIntegrator(*scene, options.integrator);
    return 0;
}

std::string progressLine(int done, int total, std::chrono::duration<double> elapsed,
                         double timeLimit) {
    constexpr int kBarWidth = 30;
    int filled = total > 0 ? int(std::int64_t(done) * kBarWidth / total) : 0;
    double left = done > 0 ? elapsed.count() / done * (total - done) : 0.0;
    // The limit ends the render first when it comes before the passes' estimate.
    if (timeLimit > 0.0) {
        const double share = std::clamp(elapsed.count() / timeLimit, 0.0, 1.0);
        filled = std::max(filled, int(share * kBarWidth));
        left = std::min(left > 0.0 ? left : timeLimit, std::max(timeLimit - elapsed.count(), 0.0));
    }
    std::string line(1, '[');
    line.append(std::size_t(filled), '#');
    line.append(std::size_t(kBarWidth - filled), '.');
    line += "] " + std::to_string(done) + "/" + std::to_string(total) + " passes";
    line += "  " + oneDecimal(elapsed.count()) + " s";
    if (done > 0 || timeLimit > 0.0) line += ", about " + oneDecimal(left) + " s left";
    return line;
}

int renderHeadless(const RenderOptions& options, SimdPath simd) {
    std::unique_ptr<Scene> scene;
    if (const int status = loadScene(options, scene); status != 0) return status;
    OutputFile output;
    if (const std::string reason = openOutput(output, options.output); !reason.empty()) {
        complain("cannot write '" + options.output + "': " + reason);
        return kExitWriteFailed;
    }
    Rendering rendering;
    prepareRendering(rendering, scene.release(), options.size);
    rendering.region = options.region;
    Progress progress;
    progress.shown = !options.quiet && isatty(STDERR_FILENO) == 1;
    try {
        startWorkers(rendering, options.threads, options.seed, simd);
    } catch (const std::system_error& e) {
        complain(std::string("cannot start the worker threads: ") + e.what());
        return kExitWriteFailed;
    }
    const bool finished = renderPasses(rendering, options, progress);
    const int passes = completedPasses(rendering);
    stopWorkers(rendering);
    const Seconds elapsed = Clock::now() - progress.start;
    clearProgress(progress);
    if (!finished) return interruptedExit();

    const std::vector<unsigned char> bytes = encode(options, rendering, passes);
    if (interruptSignal != 0) return interruptedExit();
    if (const std::string reason = commitOutput(output, bytes); !reason.empty()) {
        complain("cannot write '" + options.output + "': " + reason);
        return kExitWriteFailed;
    }
    printSummary(options, passes, simd, elapsed);
    return 0;
}

int runRenderTool(int argc, char** argv) {
    const auto threads = int(std::thread::hardware_concurrency());
    const RenderCommand command = parseRenderCommand(argc, argv, threads);
    if (command.kind == CommandKind::Help) {
        std::fputs(kRenderUsage, stdout);
        return 0;
    }
    if (command.kind == CommandKind::Version) {
        std::fputs(versionLine("lucentor-render").c_str(), stdout);
        return 0;
    }
    SimdPath simd = SimdPath::Scalar;
    std::string problem = command.problem;
    if (command.kind == CommandKind::Error ||
        !resolveSimdChoice(command.options.simd, detectCpuFeatures(), simd, problem)) {
        complain(problem);
        std::fputs("Try 'lucentor-render --help' for the options.\n", stderr);
        return kExitBadArguments;
    }
    if (command.kind == CommandKind::Export) return exportPreset(command.options);
    catchInterrupts();
    return renderHeadless(command.options, simd);
}

}  // namespace lucentor
