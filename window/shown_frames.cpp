#include "window/shown_frames.h"

#include <utility>

#include "engine/display.h"

namespace lucentor {
namespace {

void countPass(ShownFrames& frames, const RenderJob& job) {
    const std::lock_guard lock(frames.mutex);
    frames.samples += std::uint64_t(job.size.pixelCount());
}

PresentClock::time_point dueTime(const ShownFrames& frames) {
    return PresentClock::time_point(
        PresentClock::duration(frames.presentDue.load(std::memory_order_relaxed)));
}

// A worker that completed `pass`; the other workers wait for the next pass meanwhile, so
// converting passes nobody will see would only hold them up (a tenth of a small pass).
void publishPass(void* context, const RenderJob& job, int pass) {
    auto& frames = *static_cast<ShownFrames*>(context);
    const PresentClock::time_point now = PresentClock::now();
    const PresentClock::duration passTime = now - frames.lastCompletion;
    frames.lastCompletion = now;
    if (!isWorthShowing(pass, passTime, now, dueTime(frames))) {
        countPass(frames, job);
        return;
    }
    // The back frame is this worker's alone: the previous publisher swapped it out under the
    // mutex, which this worker takes below before anyone else can see it.
    ShownFrame& back = frames.frames[std::size_t(frames.back)];
    back.size = job.size;
    back.pass = pass;
    back.words.resize(std::size_t(job.size.pixelCount()));
    shownPicture(job.accumulation, pass, back.words.data(), job.size.width * 4, job.size);
    {
        const std::lock_guard lock(frames.mutex);
        std::swap(frames.back, frames.ready);
        frames.fresh = true;
        frames.samples += std::uint64_t(job.size.pixelCount());
    }
    frames.published.notify_one();
}

}  // namespace

bool isWorthShowing(int pass, PresentClock::duration passTime, PresentClock::time_point now,
                    PresentClock::time_point due) {
    // A quarter more than the last pass's time, as passes vary a little: were the next pass
    // late, the present would have nothing new and wait for it instead of showing this one.
    return pass <= 1 || now + passTime + passTime / 4 >= due;
}

void relayPasses(RenderJob& job, ShownFrames& frames) {
    job.passCompleted = publishPass;
    job.passContext = &frames;
}

void dropReadyFrame(ShownFrames& frames) {
    const std::lock_guard lock(frames.mutex);
    frames.fresh = false;
}

bool takeReadyFrame(ShownFrames& frames) {
    const std::lock_guard lock(frames.mutex);
    if (!frames.fresh) return false;
    std::swap(frames.front, frames.ready);
    frames.fresh = false;
    return true;
}

void waitForFrame(ShownFrames& frames, std::chrono::milliseconds timeout) {
    std::unique_lock lock(frames.mutex);
    frames.published.wait_for(lock, timeout, [&frames] { return frames.fresh; });
}

void announcePresent(ShownFrames& frames, PresentClock::time_point due) {
    frames.presentDue.store(due.time_since_epoch().count(), std::memory_order_relaxed);
}

std::uint64_t publishedSamples(ShownFrames& frames) {
    const std::lock_guard lock(frames.mutex);
    return frames.samples;
}

}  // namespace lucentor
