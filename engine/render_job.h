#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "engine/camera.h"
#include "engine/image.h"
#include "engine/integrator.h"
#include "query/simd_path.h"
#include "scene/scene.h"
#include "shading/light_sampling.h"
#include "shading/random.h"

namespace lucentor {

// Worker threads of the window programs.
inline constexpr int kWorkerCount = 3;

// The seed of the window programs' jitter and light samples, so every run shows the same
// sequence of pictures.
inline constexpr std::uint64_t kRenderSeed = 112;

// The tiles a pass is handed out in: 512 samples a turn keep the hand-out's lock rare, and 600
// tiles to a 640 by 480 pass keep the workers' last turns short. Wide and low rather than
// square: a tile's rows of sums are then long runs that the processor fetches ahead, which
// measured 5 % faster than 16 by 16 (the packets in the lanes are square all the same).
inline constexpr int kTileWidth = 128;
inline constexpr int kTileHeight = 4;

// The bounds of a pixel's jitter cell on the image plane, in units of jitterUnit: a sample
// takes u from [uLow, uHigh) and v from [vLow, vHigh).
struct PixelCell {
    int uLow = 0;
    int uHigh = 0;
    int vLow = 0;
    int vHigh = 0;
};

// The most worker threads a rendering runs.
inline constexpr int kMaxWorkers = 256;

// The tiles of a pass that one worker takes first, [next, end), before it helps the others.
struct TileShare {
    int next = 0;
    int end = 0;
};

// Everything the main thread and the render workers share. A pass hands out the tiles of
// `region` one at a time, each to one worker, which adds one sample per pixel of it into
// `accumulation`; each worker then reports once in finishedWorkers and sleeps on passStarted
// until the next pass or a stop. Worker i takes the tiles of shares[i] from the front, then the
// back of the fullest other share: each worker gets mostly the same tiles pass after pass, so
// their sums stay in its core's cache (handing the tiles out in one sequence, so that a tile's
// sums moved between cores from pass to pass, two workers on two cores rendered the box 1.8
// times as fast as one; with shares, 1.95). nextTile counts the tiles left less one. tileMutex
// guards nextTile and shares; finishMutex guards finishedWorkers, which passFinished announces,
// and the changes of passNumber and stopRequested, which passStarted announces; no thread ever
// holds both. The atomics are also read outside their mutexes: the main thread polls
// finishedWorkers without a lock, and workers read stopRequested before every packet of pixels.
struct RenderJob {
    std::atomic<bool> stopRequested{false};
    Vec3* accumulation = nullptr;   // size.pixelCount() sums, row-major; not owned
    std::atomic<int> nextTile{-1};  // negative once every tile of the pass is handed out
    std::mutex tileMutex;
    // workerCount of them; the tiles left in all of them: nextTile + 1.
    std::array<TileShare, kMaxWorkers> shares;
    std::atomic<int> finishedWorkers{kWorkerCount};
    std::mutex finishMutex;
    ImageSize size;  // set through setPictureSize, with the three below
    PixelRegion region{0, 0, kImageWidth, kImageHeight};  // the pixels a pass samples
    float halfPixelU = 1.0f / 1278.0f;  // half the step between columns: 1278 = 2 * 639
    float halfPixelV = 1.0f / 958.0f;   // half the step between rows: 958 = 2 * 479
    float jitterScale = 1.0e7f;
    float jitterUnit = 1.0e-7f;
    const Camera* camera = nullptr;
    const Scene* scene = nullptr;
    int workerCount = kWorkerCount;  // how many reports complete a pass
    int tileWidth = kTileWidth;      // the tiles' shape; those at the region's edges are cut
    int tileHeight = kTileHeight;
    std::uint64_t seed = kRenderSeed;
    SimdPath simd = SimdPath::Scalar;  // the kernels' instruction set; the processor must have it
    // Set by prepareSampling from `scene` and `simd` before the workers start, read-only after.
    SampleKernel kernel;
    TileRenderer tileRenderer = nullptr;  // the kernel's, of the scene's integrator
    ShadingScene shading;
    // The pass being handed out, counted from 1; 0 before the first. Stored after nextTile
    // when a pass starts, so a worker that reads it first and then finds nextTile negative
    // knows that this pass is handed out completely.
    std::atomic<int> passNumber{0};
    // Idle workers sleep here instead of spinning: on a machine with fewer cores than
    // threads, spinning workers take the processor from the main thread while it draws.
    std::condition_variable passStarted;
    // Announces that the last worker has reported the current pass, for a main thread with
    // nothing to do meanwhile; polling instead cost lucentor-render 7 % of a processor.
    std::condition_variable passFinished;
    // When set before the workers start, the worker whose report completes pass P calls
    // passCompleted(passContext, *this, P) while no worker writes the buffer, then starts pass
    // P + 1 itself, so the main thread never holds the workers up; the main thread then starts
    // only pass 1.
    void (*passCompleted)(void* context, const RenderJob& job, int pass) = nullptr;
    void* passContext = nullptr;
    // Without passCompleted: when positive, the worker whose report completes a pass before
    // lastPass starts the next one itself, and the main thread, which starts only pass 1, waits
    // for the passes to reach it (see startPasses). Guarded by finishMutex: a worker decides to
    // go on and resets finishedWorkers in one hold of it, so a main thread that sees a pass
    // complete under the mutex knows that no later pass will start.
    int lastPass = 0;

    // The jitter cell of pixel column x (0 to 639), row y (0 to 479).
    PixelCell pixelCell(int x, int y) const;

    // The camera ray through a random point of the pixel's cell: two draws from `generator`.
    Ray jitteredRay(int x, int y, RandomGenerator& generator) const;

    // One sample of the pixel: its jittered ray, traced by the scene's integrator. The two
    // draws of the ray, then those of the trace. One lane of the sample kernels; needs
    // prepareSampling.
    Vec3 samplePixel(int x, int y, RandomGenerator& generator) const;
};

// The picture's size, and the pixel steps on the image plane that follow from it (u and v
// run from 0 at the first pixel's centre to 1 at the last one's); the region becomes the whole
// picture.
void setPictureSize(RenderJob& job, ImageSize size);

// How many tiles of the job's shape cover its region.
int tileCount(const RenderJob& job);

// Tile `index` (0 to tileCount - 1) of the job's region, row after row of tiles, cut at the
// region's edges.
PixelRegion tileOf(const RenderJob& job, int index);

// Chooses the job's kernel by `simd`, and its tile renderer by the scene's integrator, and works
// out what its shading reads besides the scene: once, before the workers start.
void prepareSampling(RenderJob& job);

// The kernel's tile renderer of the integrator the job's scene asks for.
TileRenderer tileRendererOf(const RenderJob& job);

// The thread function of render worker `worker` (0 to workerCount - 1); returns once it sees
// stopRequested.
void renderWorker(RenderJob* job, int worker);

// Asks every worker to return: those rendering stop before their next packet, idle ones wake.
void requestStop(RenderJob& job);

// True when every worker has reported the current pass, so the buffer holds complete passes
// and no worker writes it. Main thread only.
bool isPassComplete(const RenderJob& job);

// Sleeps until every worker has reported the current pass or `timeout` has passed; true when
// the pass is complete. Main thread only.
bool waitForPassComplete(RenderJob& job, std::chrono::milliseconds timeout);

// Starts pass `pass` (counted from 1) once the previous one is complete. Main thread only.
void startPass(RenderJob& job, int pass);

// Starts pass 1 of a job without passCompleted; the workers then go on from pass to pass by
// themselves until `lastPass` (>= 1) is complete, sparing each pass the main thread's two
// wake-ups. Main thread only.
void startPasses(RenderJob& job, int lastPass);

// Lets the workers of startPasses end with the pass they are rendering: that pass completes,
// no other starts. Main thread only.
void endWithCurrentPass(RenderJob& job);

// Whether the passes of startPasses have ended with a complete pass, so that no worker writes
// the buffer. Main thread only.
bool arePassesDone(RenderJob& job);

// Passes whose samples are all in the buffer: a lower bound while the workers go on by
// themselves, exact when they wait. Main thread only.
int completedPasses(const RenderJob& job);

// Adds one sample into a pixel's sum. A channel that is not finite adds nothing, so one
// degenerate sample cannot turn the pixel's sum into NaN or infinity for good.
void accumulate(Vec3& sum, const Vec3& sample);

}  // namespace lucentor
