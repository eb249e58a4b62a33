#include "window/events.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "window/program.h"
#include "window/window.h"
#include "scene/scene.h"

namespace lucentor {
namespace {

using namespace std::chrono_literals;

// Bound on every wait: long enough for a loaded 2-core machine, short enough that a program
// which never ends fails the test instead of hanging it.
constexpr auto kWaitLimit = 60s;

std::chrono::steady_clock::time_point waitDeadline() {
    return std::chrono::steady_clock::now() + kWaitLimit;
}

bool outlived(std::chrono::steady_clock::time_point deadline) {
    return std::chrono::steady_clock::now() >= deadline;
}

SDL_Event quitEvent() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    return event;
}

SDL_Event keyEvent(SDL_EventType type, SDL_Keycode key, Uint8 repeat = 0) {
    SDL_Event event{};
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.sym = key;
    event.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    return event;
}

SDL_Event windowEvent(SDL_WindowEventID id) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = static_cast<Uint8>(id);
    return event;
}

SDL_Event mouseMotionEvent(Sint32 x, Sint32 y) {
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.x = x;
    event.motion.y = y;
    return event;
}

void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

int pendingEventCount() {
    return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
}

// Sets an environment variable for one test and restores the previous value afterwards.
// NOLINTBEGIN(concurrency-mt-unsafe): tests change the environment only while no other thread runs.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ScopedEnv(ScopedEnv&&) = delete;
    ScopedEnv& operator=(ScopedEnv&&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};
// NOLINTEND(concurrency-mt-unsafe)

// Every test here runs on SDL's dummy driver, which needs no display.
class DummyVideo : public testing::Test {
protected:
    ScopedEnv driver_{"SDL_VIDEODRIVER", "dummy"};
};

// SDL's event queue, started before each test and shut down after it.
class EventQueue : public DummyVideo {
protected:
    void SetUp() override { ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError(); }
    void TearDown() override { SDL_Quit(); }
};

TEST(EndsProgram, QuitRequest) { EXPECT_TRUE(endsProgram(quitEvent())); }

TEST(EndsProgram, EscapeKeyDown) { EXPECT_TRUE(endsProgram(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE))); }

TEST(EndsProgram, EscapeKeyDownRepeated) {
    EXPECT_TRUE(endsProgram(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE, 1)));
}

TEST(EndsProgram, EscapeKeyUpDoesNot) {
    EXPECT_FALSE(endsProgram(keyEvent(SDL_KEYUP, SDLK_ESCAPE)));
}

TEST(EndsProgram, OtherKeyDownDoesNot) {
    EXPECT_FALSE(endsProgram(keyEvent(SDL_KEYDOWN, SDLK_a)));
    EXPECT_FALSE(endsProgram(keyEvent(SDL_KEYDOWN, SDLK_q)));
    EXPECT_FALSE(endsProgram(keyEvent(SDL_KEYDOWN, SDLK_RETURN)));
}

TEST(EndsProgram, WindowEventDoesNot) {
    EXPECT_FALSE(endsProgram(windowEvent(SDL_WINDOWEVENT_EXPOSED)));
    EXPECT_FALSE(endsProgram(windowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)));
}

TEST_F(EventQueue, EmptyQueueDoesNotEnd) { EXPECT_FALSE(handlePendingEvents()); }

TEST_F(EventQueue, HarmlessEventsAreAllConsumed) {
    push(keyEvent(SDL_KEYUP, SDLK_ESCAPE));
    push(keyEvent(SDL_KEYDOWN, SDLK_a));
    EXPECT_FALSE(handlePendingEvents());
    EXPECT_EQ(pendingEventCount(), 0);
    EXPECT_FALSE(handlePendingEvents());
}

TEST_F(EventQueue, EscapeBehindBacklogEndsInOneCall) {
    constexpr int kBacklog = 500;
    for (int i = 0; i < kBacklog; ++i) {
        push(i % 2 == 0 ? mouseMotionEvent(i, i) : keyEvent(SDL_KEYDOWN, SDLK_a));
    }
    push(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE));
    EXPECT_TRUE(handlePendingEvents());
}

TEST_F(EventQueue, QuitFromAnotherThreadIsSeen) {
    std::atomic<bool> firstCallDone = false;
    std::thread pusher([&firstCallDone] {
        while (!firstCallDone) std::this_thread::sleep_for(1ms);
        SDL_Event event = quitEvent();
        SDL_PushEvent(&event);
    });
    EXPECT_FALSE(handlePendingEvents());
    firstCallDone = true;
    bool ended = false;
    const auto deadline = waitDeadline();
    while (!ended && !outlived(deadline)) {
        ended = handlePendingEvents();
        std::this_thread::sleep_for(1ms);
    }
    pusher.join();
    EXPECT_TRUE(ended);
}

// Stands in for a real preset: one sphere keeps the scene non-trivial without cost.
void tinyPreset(Scene& scene) {
    scene.addSphere({0.0f, 0.0f, -1.0f}, 0.5f, {1.0f, 1.0f, 1.0f}, 0.0f);
}

int runTinyProgram() {
    std::string name = "lucentor-test";
    std::array<char*, 2> argv = {name.data(), nullptr};
    return runProgram(1, argv.data(), tinyPreset);
}

// Plays the user from another thread: one quit request `delay` after SDL's video is up; returns
// when it was pushed. A program that has not returned `returnLimit` after it ends the whole
// test binary, naming `run`, which fails instead of hanging.
std::chrono::steady_clock::time_point requestQuitOnce(
    const std::atomic<bool>& returned, std::chrono::microseconds delay = {},
    std::chrono::steady_clock::duration returnLimit = kWaitLimit, const std::string& run = "") {
    const auto deadline = waitDeadline();
    while (!returned && SDL_WasInit(SDL_INIT_VIDEO) == 0 && !outlived(deadline)) {
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(delay);
    SDL_Event quit = quitEvent();
    SDL_PushEvent(&quit);
    const auto pushed = std::chrono::steady_clock::now();
    while (!returned) {
        if (std::chrono::steady_clock::now() - pushed > returnLimit) {
            std::fprintf(stderr, "FAIL: the program did not return after a quit request %s\n",
                         run.c_str());
            std::_Exit(1);
        }
        std::this_thread::sleep_for(1ms);
    }
    return pushed;
}

// The threads of this process now (Linux).
int threadCount() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return int(std::distance(begin(tasks), end(tasks)));
}

// True once the process is back to `count` threads: a joined thread may linger in /proc for
// a moment after its join returned, a worker left running never leaves.
bool threadsSettleAt(int count) {
    const auto deadline = waitDeadline();
    while (threadCount() != count && !outlived(deadline)) std::this_thread::sleep_for(1ms);
    return threadCount() == count;
}

// The program runs on this thread, as it would from main: SDL keeps per-thread state that it
// frees only for its own threads, which would show up as leaks under a sanitizer.
TEST_F(DummyVideo, ProgramEndsWithZeroOnQuitRequest) {
    std::atomic<bool> returned = false;
    std::thread user([&returned] { requestQuitOnce(returned); });
    const int status = runTinyProgram();
    returned = true;
    user.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(SDL_WasInit(0), 0u) << "SDL is still initialised after the program returned";
}

// Quits at random moments from a fixed seed, so a failure reproduces: before the first pass,
// while the workers render, and between passes while the main thread draws. Every run must
// return 0, leave SDL shut down and no thread behind; the sanitizer build adds its leak check
// over all the runs. The bound on each return only detects a hang: a run takes milliseconds.
TEST_F(DummyVideo, ProgramEndsCleanlyWhenQuitAtRandomMoments) {
    constexpr int kRuns = 200;
    constexpr unsigned kSeed = 2026;
    constexpr auto kReturnLimit = 10s;
    // Several passes of the tiny scene with their frames, even in the sanitizer builds.
    std::uniform_int_distribution<int> delayMicroseconds(0, 100'000);
    std::mt19937 generator(kSeed);
    const int threadsBefore = threadCount();
    auto slowest = std::chrono::steady_clock::duration::zero();
    for (int run = 0; run < kRuns; ++run) {
        // One run in four asks at once, before the program can finish a pass.
        const auto delay =
            std::chrono::microseconds(run % 4 == 0 ? 0 : delayMicroseconds(generator));
        const std::string name = "(run " + std::to_string(run) + " of seed " +
                                 std::to_string(kSeed) + ", " + std::to_string(delay.count()) +
                                 " us after start-up)";
        std::atomic<bool> returned = false;
        std::chrono::steady_clock::time_point pushed;
        std::thread user([&] { pushed = requestQuitOnce(returned, delay, kReturnLimit, name); });
        const int status = runTinyProgram();
        const auto end = std::chrono::steady_clock::now();
        returned = true;
        user.join();
        ASSERT_EQ(status, 0) << name;
        ASSERT_EQ(SDL_WasInit(0), 0u) << "SDL is still initialised " << name;
        ASSERT_TRUE(threadsSettleAt(threadsBefore))
            << threadCount() - threadsBefore << " threads left running " << name;
        slowest = std::max(slowest, end - pushed);
    }
    const auto slowestMs = std::chrono::duration_cast<std::chrono::milliseconds>(slowest);
    EXPECT_LT(slowest, kReturnLimit);
    RecordProperty("slowest_return_ms", int(slowestMs.count()));
    std::printf("slowest return after a quit request: %d ms\n", int(slowestMs.count()));
}

TEST_F(DummyVideo, ProgramFailsWithOneOnUnknownDriver) {
    ScopedEnv driver("SDL_VIDEODRIVER", "nosuchdriver");
    EXPECT_EQ(runTinyProgram(), 1);
    EXPECT_EQ(SDL_WasInit(0), 0u) << "SDL is still initialised after the program failed";
}

struct DriverCase {
    const char* chosen;     // what SDL settled on
    const char* requested;  // SDL_VIDEODRIVER, or null when unset
    bool refused;
};

TEST(IsUnrequestedInvisibleDriver, RefusesOnlyInvisibleDriversNobodyAskedFor) {
    const DriverCase cases[] = {
        {"offscreen", nullptr, true},  // SDL's own fallback without a display
        {"offscreen", "x11", true},
        {"offscreen", "", true},
        {"offscreen", "dummy", true},
        {"dummy", "dummyx", true},  // whole names only
        {"evdev", nullptr, true},
        {nullptr, "dummy", true},  // no driver at all is no display either
        {"dummy", "dummy", false},
        {"evdev", "evdev", false},
        {"DUMMY", "x11,dummy", false},  // a comma-separated list, compared case-blind
        {"dummy", "X11,DUMMY", false},
        {"offscreen", "wayland,offscreen,x11", false},
        {"x11", nullptr, false},
        {"wayland", "x11", false},
    };
    for (const DriverCase& c : cases) {
        EXPECT_EQ(isUnrequestedInvisibleDriver(c.chosen, c.requested), c.refused)
            << "chosen " << (c.chosen != nullptr ? c.chosen : "(none)") << ", requested "
            << (c.requested != nullptr ? c.requested : "(unset)");
    }
}

}  // namespace
}  // namespace lucentor
