#include "app/events.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "app/program.h"
#include "app/window.h"
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

// Plays the user from another thread: one quit request once SDL's video is up. A program that
// does not return after it ends the whole test binary, which fails instead of hanging.
void requestQuitOnce(const std::atomic<bool>& returned) {
    const auto deadline = waitDeadline();
    while (!returned && SDL_WasInit(SDL_INIT_VIDEO) == 0 && !outlived(deadline)) {
        std::this_thread::sleep_for(1ms);
    }
    SDL_Event quit = quitEvent();
    SDL_PushEvent(&quit);
    while (!returned) {
        if (outlived(deadline + kWaitLimit)) {
            std::fprintf(stderr, "FAIL: the program did not return after a quit request\n");
            std::_Exit(1);
        }
        std::this_thread::sleep_for(10ms);
    }
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
