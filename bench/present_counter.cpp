// Counts the passes a window program completes without touching its code: loaded with
// LD_PRELOAD, it stands in for SDL_RenderPresent, which the frame step calls once per completed
// pass, and at exit appends "PRESENTS SECONDS" (presents after the first, and the time from the
// first present to the last) to the file that LUCENTOR_PRESENT_LOG names.
#include <SDL.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;
using PresentFunction = void (*)(SDL_Renderer*);

// Only the main thread presents, so plain statics suffice.
long presents = 0;
Clock::time_point firstPresent;
Clock::time_point lastPresent;

void writeCount() {
    const char* path = std::getenv("LUCENTOR_PRESENT_LOG");  // NOLINT(concurrency-mt-unsafe)
    if (path == nullptr || presents < 2) return;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) return;
    const std::chrono::duration<double> span = lastPresent - firstPresent;
    std::fprintf(file, "%ld %.6f\n", presents - 1, span.count());
    std::fclose(file);
}

PresentFunction realPresent() {
    static const auto real = reinterpret_cast<PresentFunction>(  // NOLINT: dlsym's contract
        dlsym(RTLD_NEXT, "SDL_RenderPresent"));
    return real;
}

}  // namespace

extern "C" void SDL_RenderPresent(SDL_Renderer* renderer) {
    realPresent()(renderer);
    lastPresent = Clock::now();
    if (presents++ == 0) {
        firstPresent = lastPresent;
        std::atexit(writeCount);
    }
}
