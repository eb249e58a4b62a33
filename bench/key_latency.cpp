// Measures lucentor-view's time from a key press to the first frame of the new view without
// touching its code: loaded with LD_PRELOAD, it stands in for SDL_PollEvent and
// SDL_RenderPresent. For each key pressed it notes when the program took the key from SDL and
// when the program next presented; the viewer restarts its view in the loop turn that handles
// the key, so that present is the new view's first. At exit it appends one line "SEEN
// PRESENTED" per key, in seconds since the epoch (the clock of `date +%s.%N`), to the file that
// LUCENTOR_KEY_LOG names.
#include <SDL.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::system_clock;

// Only the main thread polls and presents, so plain statics suffice.
std::optional<Clock::time_point> pendingKey;
std::vector<std::pair<Clock::time_point, Clock::time_point>> latencies;

double secondsOf(Clock::time_point time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

void writeLatencies() {
    const char* path = std::getenv("LUCENTOR_KEY_LOG");  // NOLINT(concurrency-mt-unsafe)
    if (path == nullptr) return;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) return;
    for (const auto& [seen, presented] : latencies) {
        std::fprintf(file, "%.6f %.6f\n", secondsOf(seen), secondsOf(presented));
    }
    std::fclose(file);
}

template <typename Function>
Function realFunction(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));  // NOLINT: dlsym's contract
}

}  // namespace

extern "C" int SDL_PollEvent(SDL_Event* event) {
    static const auto real = realFunction<int (*)(SDL_Event*)>("SDL_PollEvent");
    const int polled = real(event);
    if (polled != 0 && event != nullptr && event->type == SDL_KEYDOWN && event->key.repeat == 0 &&
        !pendingKey) {
        pendingKey = Clock::now();
    }
    return polled;
}

extern "C" void SDL_RenderPresent(SDL_Renderer* renderer) {
    static const auto real = realFunction<void (*)(SDL_Renderer*)>("SDL_RenderPresent");
    real(renderer);
    if (!pendingKey) return;
    if (latencies.empty()) std::atexit(writeLatencies);
    latencies.emplace_back(*pendingKey, Clock::now());
    pendingKey.reset();
}
