#include "engine/render_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/image.h"
#include "engine/rendering.h"
#include "presets/box.h"
#include "shading/trace.h"
#include "tests/support/every_path.h"

namespace lucentor {
namespace {

using namespace std::chrono_literals;

// Fills the whole view with one light seen from outside (a ray starting inside a sphere
// never reports it), so every sample is exactly kLightHitColor: a pixel sampled twice or not
// at all shows in the sums.
void fillViewWithLight(Scene& scene) { scene.addLight({0, 0, -50}, 40.0f, {1, 1, 1}, 1.0f); }

// The first pixel whose sum is not `passes` float additions of kLightHitColor, or -1.
int firstWrongPixel(const Vec3* sums, int passes) {
    Vec3 expected;
    for (int i = 0; i < passes; ++i) expected = expected + kLightHitColor;
    const Vec3* wrong =
        std::find_if(sums, sums + kPixelCount, [&](const Vec3& sum) { return !(sum == expected); });
    return wrong == sums + kPixelCount ? -1 : int(wrong - sums);
}

// The main thread's loop: starts passes until `passes` are complete, never one more, and
// calls show() at each completion but the last. Gives up, failing, once more workers have
// reported than there are, as the pass could then never complete.
template <typename Show>
void renderPasses(Rendering& rendering, int passes, Show&& show) {
    while (completedPasses(rendering) < passes) {
        ASSERT_LE(rendering.job.finishedWorkers.load(), rendering.job.workerCount)
            << "in pass " << rendering.job.passNumber.load();
        if (rendering.job.passNumber.load() == passes || !stepFrame(rendering, show)) {
            std::this_thread::yield();
        }
    }
}

struct RenderedBuffers {
    std::vector<Vec3> firstPass;
    std::vector<Vec3> final;
};

RenderedBuffers renderBox(int workers, int passes) {
    Rendering rendering;
    prepareRendering(rendering, buildBoxScene);
    startWorkers(rendering, workers, kRenderSeed);
    RenderedBuffers buffers;
    renderPasses(rendering, passes, [&] {
        if (rendering.job.passNumber.load() == 1) {
            buffers.firstPass.assign(rendering.accumulation, rendering.accumulation + kPixelCount);
        }
    });
    buffers.final.assign(rendering.accumulation, rendering.accumulation + kPixelCount);
    return buffers;
}

TEST(RenderPasses, BufferDoesNotDependOnTheWorkerCount) {
    const RenderedBuffers one = renderBox(1, 2);
    const RenderedBuffers three = renderBox(3, 2);
    ASSERT_EQ(three.final.size(), std::size_t(kPixelCount));
    // Bit for bit, signed zeros included, is the point.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    EXPECT_EQ(std::memcmp(one.final.data(), three.final.data(), sizeof(Vec3) * kPixelCount), 0);
    EXPECT_TRUE(std::any_of(one.final.begin(), one.final.end(),
                            [](const Vec3& sum) { return sum.x > 0.0f; }));
    // Seeds that ignored the pass would make the second pass repeat the first exactly.
    std::vector<Vec3> doubled = one.firstPass;
    for (Vec3& sum : doubled) sum = sum + sum;
    EXPECT_NE(doubled, one.final);
}

// The box after two passes on `workers` threads and `simd`, handed out in tiles of the given
// shape over `region` (width 0: the whole picture).
std::vector<Vec3> renderBoxTiles(SimdPath simd, int workers, int tileWidth, int tileHeight,
                                 PixelRegion region = {}) {
    Rendering rendering;
    prepareRendering(rendering, buildBoxScene);
    rendering.region = region;
    rendering.job.tileWidth = tileWidth;
    rendering.job.tileHeight = tileHeight;
    startWorkers(rendering, workers, kRenderSeed, simd);
    renderPasses(rendering, 2, [] {});
    return {rendering.accumulation, rendering.accumulation + kPixelCount};
}

// The whole box at width 1 on one thread, in the default tiles: what every other path, thread
// count, tile shape and region must give bit for bit.
const std::vector<Vec3>& boxReference() {
    static const std::vector<Vec3> reference =
        renderBoxTiles(SimdPath::Scalar, 1, kTileWidth, kTileHeight);
    return reference;
}

// The first pixel of `region` whose sum differs from the reference in any bit, or outside it
// is not zero; -1 when there is none.
int firstDifferentPixel(const std::vector<Vec3>& sums, PixelRegion region) {
    for (int y = 0; y < kImageHeight; ++y) {
        for (int x = 0; x < kImageWidth; ++x) {
            const bool inside = x >= region.x && x < region.x + region.width && y >= region.y &&
                                y < region.y + region.height;
            const auto i = std::size_t(pixelIndex(x, y));
            const Vec3 expected = inside ? boxReference()[i] : Vec3{};
            // Bit for bit, signed zeros included.
            // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
            if (std::memcmp(&sums[i], &expected, sizeof(Vec3)) != 0) return int(i);
        }
    }
    return -1;
}

class TiledRender : public testing::EveryPath {};

// Tiles of any shape, taken by any number of workers in whatever order they come, sample every
// pixel from its own stream: the picture cannot change.
TEST_P(TiledRender, AnyTileShapeAndWorkerCountGiveTheSamePicture) {
    const struct {
        int tileWidth, tileHeight, workers;
    } kCases[] = {{1, 1, 2}, {5, 3, 3}, {640, 1, 1}, {1, 480, 2}, {640, 480, 1}, {16, 16, 4}};
    for (const auto& c : kCases) {
        const std::vector<Vec3> sums =
            renderBoxTiles(GetParam(), c.workers, c.tileWidth, c.tileHeight);
        EXPECT_EQ(firstDifferentPixel(sums, {0, 0, kImageWidth, kImageHeight}), -1)
            << c.tileWidth << "x" << c.tileHeight << " tiles, " << c.workers << " workers";
    }
}

// A region's pixels are those of the whole picture; the rest of the buffer stays zero.
TEST_P(TiledRender, ARegionGivesTheWholePicturesPixels) {
    const struct {
        PixelRegion region;
        int workers;
    } kCases[] = {{{0, 0, 1, 1}, 1},
                  {{637, 477, 3, 3}, 2},
                  {{101, 50, 37, 21}, 3},
                  {{0, 200, 640, 17}, 2},
                  {{320, 0, 9, 480}, 1}};
    for (const auto& c : kCases) {
        const std::vector<Vec3> sums =
            renderBoxTiles(GetParam(), c.workers, kTileWidth, kTileHeight, c.region);
        EXPECT_EQ(firstDifferentPixel(sums, c.region), -1)
            << "region " << c.region.x << "," << c.region.y << "," << c.region.width << ","
            << c.region.height << ", " << c.workers << " workers";
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, TiledRender, testing::everyPath(), testing::pathCaseName);

// Passes of the stress test below, split between its worker counts: enough for the test suite
// under ThreadSanitizer, where a pass costs over 0.1 s. LUCENTOR_STRESS_PASSES asks for others.
int stressPasses() {
    constexpr int kDefaultStressPasses = 120;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read before any thread of this test starts.
    const char* asked = std::getenv("LUCENTOR_STRESS_PASSES");
    return asked != nullptr ? std::max(2, std::atoi(asked)) : kDefaultStressPasses;
}

// Every pass boundary is a chance for a report to come early, twice or never, so this checks
// the buffer whenever the main thread sees every report in, over many passes: the reports must
// not complete a pass before all its tiles are in the buffer. With more workers than processors
// a worker is routinely preempted between taking a tile and reporting.
TEST(RenderStress, EachPixelIsSampledOncePerPassBeforeThePassCompletes) {
    const int totalPasses = stressPasses();
    for (const int workers : {kWorkerCount, 8}) {
        const int passes =
            workers == kWorkerCount ? totalPasses / 2 : totalPasses - totalPasses / 2;
        Rendering rendering;
        prepareRendering(rendering, fillViewWithLight);
        startWorkers(rendering, workers, kRenderSeed);
        int wrongPass = 0;
        int wrongPixel = -1;
        renderPasses(rendering, passes, [&] {
            const int pixel =
                firstWrongPixel(rendering.accumulation, rendering.job.passNumber.load());
            if (pixel >= 0 && wrongPass == 0) {
                wrongPass = rendering.job.passNumber.load();
                wrongPixel = pixel;
            }
        });
        EXPECT_EQ(wrongPass, 0) << workers << " workers: pixel " << wrongPixel
                                << " wrong after pass " << wrongPass << " of " << passes;
        EXPECT_EQ(completedPasses(rendering), passes) << workers << " workers";
        EXPECT_EQ(firstWrongPixel(rendering.accumulation, passes), -1) << workers << " workers";
    }
}

// Sleeps until the passes of startPasses are done, failing after a minute.
void awaitPassesDone(RenderJob& job) {
    const auto giveUp = std::chrono::steady_clock::now() + 60s;
    while (!arePassesDone(job) && std::chrono::steady_clock::now() < giveUp) {
        waitForPassComplete(job, 20ms);
    }
    ASSERT_TRUE(arePassesDone(job)) << "passes still running after a minute";
}

// Workers that go on by themselves stop exactly at the last pass, or at the pass in progress
// when told to end, each pass's samples complete: more workers than processors make a worker's
// report land at any moment against the main thread's ending.
TEST(SelfStartedPasses, EndWithCompletePasses) {
    for (const int workers : {1, kWorkerCount, 8}) {
        Rendering rendering;
        prepareRendering(rendering, fillViewWithLight);
        startWorkers(rendering, workers, kRenderSeed);
        RenderJob& job = rendering.job;
        startPasses(job, 5);
        awaitPassesDone(job);
        EXPECT_EQ(completedPasses(job), 5) << workers << " workers";
        EXPECT_EQ(firstWrongPixel(rendering.accumulation, 5), -1) << workers << " workers";

        stopWorkers(rendering);
        restartWorkers(rendering);
        startPasses(job, std::numeric_limits<int>::max());
        while (completedPasses(job) < 2) std::this_thread::yield();
        endWithCurrentPass(job);
        awaitPassesDone(job);
        const int passes = completedPasses(job);
        EXPECT_GE(passes, 2) << workers << " workers";
        EXPECT_EQ(firstWrongPixel(rendering.accumulation, passes), -1) << workers << " workers";
        std::this_thread::sleep_for(5ms);
        EXPECT_EQ(completedPasses(job), passes) << workers << " workers: a pass after the end";
    }
}

// Holding tileMutex keeps the worker from taking another tile, so the tiles left when the stop
// is requested stay unrendered, however the threads are scheduled. Should the main thread
// first look only after every tile was taken, the next pass gives it another chance.
TEST(RenderStop, StopMidPassLeavesTheRestOfThePass) {
    Rendering rendering;
    prepareRendering(rendering, buildBoxScene);
    startWorkers(rendering, 1, kRenderSeed);
    RenderJob& job = rendering.job;
    const int firstTile = tileCount(job) - 1;
    int tilesLeft = -1;
    for (int attempt = 0; attempt < 5 && tilesLeft < 0; ++attempt) {
        while (!stepFrame(rendering, [] {})) std::this_thread::yield();
        tilesLeft = firstTile;
        while (tilesLeft == firstTile) {
            const std::lock_guard lock(job.tileMutex);
            tilesLeft = job.nextTile.load();
            if (tilesLeft >= 0 && tilesLeft < firstTile) requestStop(job);
        }
    }
    ASSERT_GE(tilesLeft, 0) << "every pass was handed out before the main thread looked";
    rendering.workers[0].join();
    EXPECT_EQ(job.finishedWorkers.load(), 0);
    EXPECT_EQ(completedPasses(rendering), rendering.job.passNumber.load() - 1);
    EXPECT_GE(job.nextTile.load(), tilesLeft - 1) << "tiles taken after the stop";
}

TEST(RenderStop, StopWhileIdleEndsEveryWorker) {
    for (const int passes : {0, 1}) {
        Rendering rendering;
        prepareRendering(rendering, fillViewWithLight);
        startWorkers(rendering, 3, kRenderSeed);
        renderPasses(rendering, passes, [] {});
        requestStop(rendering.job);
        for (int i = 0; i < 3; ++i) rendering.workers[i].join();
        EXPECT_EQ(firstWrongPixel(rendering.accumulation, passes), -1) << passes << " passes";
    }
}

// One job driven by hand, with the protocol's states set directly.
struct RenderJobTest : ::testing::Test {
    RenderJobTest() {
        fillViewWithLight(scene_);
        job_.accumulation = buffer_.data();
        job_.camera = &camera_;
        job_.scene = &scene_;
        job_.workerCount = 1;
        prepareSampling(job_);
    }
    ~RenderJobTest() override {
        requestStop(job_);
        if (worker_.joinable()) worker_.join();
    }
    RenderJobTest(const RenderJobTest&) = delete;
    RenderJobTest& operator=(const RenderJobTest&) = delete;
    RenderJobTest(RenderJobTest&&) = delete;
    RenderJobTest& operator=(RenderJobTest&&) = delete;

    void startWorker(int worker = 0) { worker_ = std::thread(renderWorker, &job_, worker); }

    void waitForReports() const {
        while (!isPassComplete(job_)) std::this_thread::yield();
    }

    Scene scene_;
    Camera camera_ = makeCamera();
    std::vector<Vec3> buffer_ = std::vector<Vec3>(kPixelCount);
    RenderJob job_;
    std::thread worker_;
};

TEST_F(RenderJobTest, WorkerStartedBeforeAnyPassWaitsForOne) {
    job_.finishedWorkers.store(1);
    startWorker();
    // Ample time to take a tile or report, neither of which it may do.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(job_.nextTile.load(), -1);
    EXPECT_EQ(firstWrongPixel(buffer_.data(), 0), -1);
    ASSERT_EQ(job_.finishedWorkers.load(), 1);
    startPass(job_, 1);
    waitForReports();
    EXPECT_EQ(firstWrongPixel(buffer_.data(), 1), -1);
}

// The state a slow worker finds when the others took every tile of the pass: it must report
// all the same, and only once.
TEST_F(RenderJobTest, WorkerReportsOnceAPassWhoseRowsItNeverGot) {
    job_.finishedWorkers.store(0);
    job_.passNumber.store(1);
    startWorker();
    waitForReports();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(job_.finishedWorkers.load(), 1);
    EXPECT_EQ(firstWrongPixel(buffer_.data(), 0), -1);
}

// lucentor-render's main thread sleeps through the pass; a lost wake-up would hang it here
// until the test's time-out. It must also wake for the pass completed before it waited.
TEST_F(RenderJobTest, WaitForPassCompleteWakesWhenTheLastWorkerReports) {
    job_.finishedWorkers.store(1);
    startWorker();
    EXPECT_TRUE(waitForPassComplete(job_, std::chrono::hours(1)));
    startPass(job_, 1);
    EXPECT_TRUE(waitForPassComplete(job_, std::chrono::hours(1)));
    EXPECT_EQ(firstWrongPixel(buffer_.data(), 1), -1);
    startPass(job_, 2);
    EXPECT_TRUE(waitForPassComplete(job_, std::chrono::hours(1)));
    EXPECT_EQ(firstWrongPixel(buffer_.data(), 2), -1);
}

// Each worker starts on a share of its own; one whose fellows never come must render their
// shares too, every tile once, from whichever share it takes them.
TEST_F(RenderJobTest, LoneWorkerTakesEveryOtherWorkersShare) {
    for (const int workers : {2, 3, 7}) {
        std::fill(buffer_.begin(), buffer_.end(), Vec3{});
        job_.workerCount = workers;
        job_.finishedWorkers.store(workers);
        job_.passNumber.store(0);
        startWorker(workers - 1);
        startPass(job_, 1);
        while (job_.finishedWorkers.load() == 0) std::this_thread::yield();
        requestStop(job_);
        worker_.join();
        job_.stopRequested.store(false);
        EXPECT_EQ(job_.finishedWorkers.load(), 1) << workers << " workers";
        EXPECT_EQ(firstWrongPixel(buffer_.data(), 1), -1) << workers << " workers";
    }
}

// Pixel samples sharing a generator state would repeat each other's jitter and light samples:
// every pixel of a 640 by 480 picture, of every pass and seed, starts its own.
TEST(PixelSeed, DistinctForEveryPixelOfEveryPassAndSeed) {
    std::vector<std::uint64_t> seeds;
    for (const std::uint64_t seed : {kRenderSeed, kRenderSeed + 1}) {
        for (int pass = 1; pass <= 3; ++pass) {
            for (int y = 0; y < kImageHeight; ++y) {
                for (int x = 0; x < kImageWidth; ++x) seeds.push_back(pixelSeed(seed, pass, x, y));
            }
        }
    }
    std::sort(seeds.begin(), seeds.end());
    EXPECT_EQ(std::adjacent_find(seeds.begin(), seeds.end()), seeds.end());
}

TEST(Accumulate, NonFiniteChannelAddsNothing) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    const struct {
        Vec3 sample;
        Vec3 expected;
    } kCases[] = {
        {{kNaN, 0.5f, 0.25f}, {1.0f, 2.5f, 3.25f}},
        {{0.5f, kInf, -0.25f}, {1.5f, 2.0f, 2.75f}},
        {{-kInf, 0.5f, kNaN}, {1.0f, 2.5f, 3.0f}},
    };
    for (const auto& c : kCases) {
        Vec3 sum{1.0f, 2.0f, 3.0f};
        accumulate(sum, c.sample);
        EXPECT_EQ(sum, c.expected) << c.sample.x << " " << c.sample.y << " " << c.sample.z;
    }
}

// What the worker completing a pass relays: the sums after pass kRelayedPass, once per start.
struct Relay {
    static constexpr int kRelayedPass = 3;
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::vector<Vec3>> pictures;
    std::vector<int> passes;  // every pass relayed, in order
};

void relayPass(void* context, const RenderJob& job, int pass) {
    auto& relay = *static_cast<Relay*>(context);
    const std::lock_guard lock(relay.mutex);
    relay.passes.push_back(pass);
    if (pass != Relay::kRelayedPass) return;
    relay.pictures.emplace_back(job.accumulation, job.accumulation + job.size.pixelCount());
    relay.done.notify_all();
}

void awaitPictures(Relay& relay, std::size_t count) {
    std::unique_lock lock(relay.mutex);
    ASSERT_TRUE(relay.done.wait_for(lock, 120s, [&] { return relay.pictures.size() >= count; }));
}

// The workers go from pass to pass by themselves, each pass relayed once in order; stopped in
// the middle of any pass and restarted, they render from pass 1 again exactly as at first.
TEST(RelayedPasses, RestartRendersTheSamePassesAsTheFirstStart) {
    Relay relay;
    Rendering rendering;
    prepareRendering(rendering, buildBoxScene, ImageSize{64, 48});
    rendering.job.passCompleted = relayPass;
    rendering.job.passContext = &relay;
    startWorkers(rendering, 3, kRenderSeed);
    startPass(rendering.job, 1);
    awaitPictures(relay, 1);
    for (int restart = 0; restart < 3; ++restart) {
        stopWorkers(rendering);
        restartWorkers(rendering);
        startPass(rendering.job, 1);
        awaitPictures(relay, std::size_t(restart) + 2);
    }
    stopWorkers(rendering);
    for (std::size_t i = 1; i < relay.pictures.size(); ++i) {
        EXPECT_EQ(std::memcmp(relay.pictures[i].data(), relay.pictures[0].data(),
                              relay.pictures[0].size() * sizeof(Vec3)),
                  0)
            << "start " << i;
    }
    // Each start counts 1, 2, 3, ... without a gap or a repeat.
    int expected = 1;
    for (const int pass : relay.passes) {
        if (pass == 1) expected = 1;
        EXPECT_EQ(pass, expected);
        expected = pass + 1;
    }
}

}  // namespace
}  // namespace lucentor
