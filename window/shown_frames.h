#pragma once

#include <SDL.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/image.h"
#include "engine/render_job.h"

namespace lucentor {

// One completed pass as the window shows it: shownWords of its mean, row after row.
struct ShownFrame {
    std::vector<std::uint32_t> words;
    ImageSize size;
    int pass = 0;  // the passes in the mean; 0: no picture yet
};

using PresentClock = std::chrono::steady_clock;

// The newest completed passes on their way from the worker that completes a pass to the main
// thread: three frames whose roles change under `mutex`, so that neither side waits for the
// other beyond swapping two indices. The back frame is written only by the worker completing
// a pass, one at a time since passes follow each other; the front frame only by the main
// thread.
struct ShownFrames {
    std::mutex mutex;
    std::condition_variable published;  // a frame became ready
    std::array<ShownFrame, 3> frames;
    int back = 0;
    int ready = 1;  // the newest published frame while `fresh`
    int front = 2;
    bool fresh = false;
    std::uint64_t samples = 0;  // samples of every pass completed so far, shown or not
    // When the main thread presents next, in PresentClock ticks: it stores it after each
    // present, and workers only read it to choose which passes are worth converting.
    std::atomic<PresentClock::rep> presentDue{0};
    // When the newest pass completed. Only the worker completing a pass touches it, and passes
    // complete one after another (a pass starts after the previous completion), or after the
    // workers were joined.
    PresentClock::time_point lastCompletion{};
};

// Whether a completed pass should be converted and published: the first pass of a view
// always, any other unless the next pass is expected to complete before the present falls
// due, since a present shows only the newest pass. `passTime` is the time since the previous
// completion, the estimate of the next pass's time.
bool isWorthShowing(int pass, PresentClock::duration passTime, PresentClock::time_point now,
                    PresentClock::time_point due);

// Makes the job's workers publish the completed passes worth showing into `frames` and go on
// with the next one by themselves. Before the workers start.
void relayPasses(RenderJob& job, ShownFrames& frames);

// Forgets a published frame not yet taken: after the workers were stopped, before a restart.
void dropReadyFrame(ShownFrames& frames);

// Makes the newest published frame the front one; false when none came since the last call.
bool takeReadyFrame(ShownFrames& frames);

// Sleeps until a frame is published or `timeout` has passed.
void waitForFrame(ShownFrames& frames, std::chrono::milliseconds timeout);

// Tells the workers when the main thread presents next.
void announcePresent(ShownFrames& frames, PresentClock::time_point due);

// The samples of every pass completed so far.
std::uint64_t publishedSamples(ShownFrames& frames);

}  // namespace lucentor
