#include "window/shown_frames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "engine/display.h"
#include "engine/rendering.h"
#include "presets/box.h"

namespace lucentor {
namespace {

using std::chrono::milliseconds;

struct WorthCase {
    int pass;
    int passMs;
    int dueInMs;  // from now
    bool shown;
};

// A pass is converted unless the next one, a quarter slower than this one, still completes
// before the present falls due.
TEST(ShownFrames, ConvertsOnlyThePassesAPresentCanShow) {
    const WorthCase cases[] = {
        {1, 3, 1000, true},   // a view's first pass goes out at once
        {2, 3, 1000, false},  // many more passes complete before the present
        {2, 3, 4, false},     // the next pass (3.75 ms) still comes first
        {2, 4, 5, true},      // the next pass comes right at the due time
        {2, 4, 4, true},      // the next pass would come too late
        {2, 3, 0, true},      // due now
        {7, 3, -20, true},    // overdue: the main thread waits for a frame
        {2, 1000, 16, true},  // passes slower than frames
    };
    const PresentClock::time_point now = PresentClock::now();
    for (const WorthCase& c : cases) {
        EXPECT_EQ(
            isWorthShowing(c.pass, milliseconds(c.passMs), now, now + milliseconds(c.dueInMs)),
            c.shown)
            << "pass " << c.pass << ", " << c.passMs << " ms a pass, due in " << c.dueInMs << " ms";
    }
}

// The hook the completing worker calls: every pass counts for the rate, only the passes worth
// showing become the ready frame, and that frame is the pass's shown picture.
TEST(ShownFrames, PublishesThePassesWorthShowingAndCountsEveryPass) {
    const ImageSize size{5, 3};
    std::vector<Vec3> sums(std::size_t(size.pixelCount()));
    for (std::size_t i = 0; i < sums.size(); ++i) sums[i] = {float(i), 0.5f * float(i), 2.0f};
    RenderJob job;
    job.size = size;
    job.accumulation = sums.data();
    ShownFrames frames;
    relayPasses(job, frames);
    announcePresent(frames, PresentClock::now() + std::chrono::hours(1));

    job.passCompleted(job.passContext, job, 1);
    ASSERT_TRUE(takeReadyFrame(frames));
    EXPECT_EQ(frames.frames[std::size_t(frames.front)].pass, 1);

    job.passCompleted(job.passContext, job, 2);  // moments after pass 1, an hour before the due
    EXPECT_FALSE(takeReadyFrame(frames));

    announcePresent(frames, PresentClock::now());
    job.passCompleted(job.passContext, job, 3);
    ASSERT_TRUE(takeReadyFrame(frames));
    const ShownFrame& shown = frames.frames[std::size_t(frames.front)];
    EXPECT_EQ(shown.pass, 3);
    EXPECT_EQ(shown.size, size);
    std::vector<std::uint32_t> expected(sums.size());
    shownPicture(sums.data(), 3, expected.data(), size.width * 4, size);
    EXPECT_EQ(shown.words, expected);

    EXPECT_EQ(publishedSamples(frames), 3u * std::uint64_t(size.pixelCount()));
}

// Workers publish while the main thread announces presents and takes frames, as a window does:
// every frame taken is a whole pass, newer than the one taken before. ./test.sh also runs this
// under ThreadSanitizer, for the frames' hand-over and the completion times.
TEST(ShownFrames, WorkersPublishWhileTheMainThreadTakes) {
    constexpr ImageSize kSize{64, 48};
    constexpr int kPasses = 200;
    ShownFrames frames;  // before the rendering, whose workers write it until they are joined
    Rendering rendering;
    prepareRendering(rendering, buildBoxScene, kSize);
    relayPasses(rendering.job, frames);
    startWorkers(rendering, kWorkerCount, kRenderSeed);
    startPass(rendering.job, 1);
    int lastPass = 0;
    const PresentClock::time_point giveUp = PresentClock::now() + std::chrono::minutes(2);
    while (lastPass < kPasses && PresentClock::now() < giveUp) {
        // Due at once, so that workers publish often and the take meets them.
        announcePresent(frames, PresentClock::now());
        if (!takeReadyFrame(frames)) {
            std::this_thread::yield();
            continue;
        }
        const ShownFrame& frame = frames.frames[std::size_t(frames.front)];
        EXPECT_GT(frame.pass, lastPass);
        EXPECT_EQ(frame.size, kSize);
        EXPECT_EQ(frame.words.size(), std::size_t(kSize.pixelCount()));
        lastPass = frame.pass;
    }
    stopWorkers(rendering);
    EXPECT_GE(lastPass, kPasses);
    EXPECT_GE(publishedSamples(frames),
              std::uint64_t(lastPass) * std::uint64_t(kSize.pixelCount()));
}

}  // namespace
}  // namespace lucentor
