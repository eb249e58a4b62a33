#include "window/shown_frames.h"

#include <utility>

#include "engine/display.h"

namespace lucentor {
namespace {

// A worker that completed `pass`; the other workers wait for the next pass meanwhile.
void publishPass(void* context, const RenderJob& job, int pass) {
    auto& frames = *static_cast<ShownFrames*>(context);
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

std::uint64_t publishedSamples(ShownFrames& frames) {
    const std::lock_guard lock(frames.mutex);
    return frames.samples;
}

}  // namespace lucentor
