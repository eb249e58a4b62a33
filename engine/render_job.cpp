#include "engine/render_job.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "engine/image.h"
#include "engine/integrator_lanes.h"
#include "shading/path.h"
#include "shading/random.h"
#include "simd/one_lane.h"

namespace lucentor {
namespace {

// What a worker found under tileMutex: a tile of the pass to render, or none (count 0).
struct TileTake {
    int tile = 0;
    int count = 0;
    int pass = 0;  // passNumber as read before nextTile
};

// Under tileMutex, with a tile left: the next of the worker's own share, otherwise the last of
// the fullest share, which its owner would reach last.
int takeFromShares(RenderJob& job, int worker) {
    TileShare& own = job.shares[std::size_t(worker)];
    if (own.next < own.end) return own.next++;
    const auto left = [](const TileShare& share) { return share.end - share.next; };
    TileShare* fullest = &job.shares[0];
    for (int i = 1; i < job.workerCount; ++i) {
        TileShare& share = job.shares[std::size_t(i)];
        if (left(share) > left(*fullest)) fullest = &share;
    }
    assert(left(*fullest) > 0);
    return --fullest->end;
}

TileTake takeTile(RenderJob& job, int worker) {
    const std::lock_guard lock(job.tileMutex);
    TileTake take;
    take.pass = job.passNumber.load();
    // The pass cannot change while this worker holds a tile of it: the next pass starts only
    // after every worker has reported this one.
    const int left = job.nextTile.load();
    if (left >= 0) {
        job.nextTile.store(left - 1);
        take.tile = takeFromShares(job, worker);
        take.count = 1;
    }
    return take;
}

// The tiles of a pass in workerCount runs of nearly equal length, the first to worker 0.
void shareOutTiles(RenderJob& job) {
    const int tiles = tileCount(job);
    for (int i = 0; i < job.workerCount; ++i) {
        job.shares[std::size_t(i)] = {i * tiles / job.workerCount,
                                      (i + 1) * tiles / job.workerCount};
    }
}

// Hands out the tiles of pass `pass`, whose finishedWorkers is already reset, and wakes the
// workers for it.
void handOutPass(RenderJob& job, int pass) {
    // This order is what lets a worker tell a finished hand-out from a stale one (see
    // renderWorker).
    {
        const std::lock_guard lock(job.tileMutex);
        shareOutTiles(job);
        job.nextTile.store(tileCount(job) - 1);
    }
    {
        const std::lock_guard lock(job.finishMutex);
        job.passNumber.store(pass);
    }
    job.passStarted.notify_all();
}

void reportPassFinished(RenderJob& job, int pass) {
    int reports = 0;
    bool goesOn = false;
    {
        const std::lock_guard lock(job.finishMutex);
        reports = job.finishedWorkers.fetch_add(1) + 1;
        goesOn = reports == job.workerCount && job.passCompleted == nullptr && pass < job.lastPass;
        if (goesOn) job.finishedWorkers.store(0);
    }
    assert(reports <= job.workerCount);
    if (reports != job.workerCount) return;
    if (goesOn) {
        handOutPass(job, pass + 1);
        return;
    }
    if (job.passCompleted == nullptr) {
        job.passFinished.notify_all();
        return;
    }
    // Every other worker has reported and waits for the next pass: the buffer is this
    // worker's alone until it starts that pass.
    job.passCompleted(job.passContext, job, pass);
    startPass(job, pass + 1);
}

// Idle between passes until the pass after `reportedPass` starts or a stop is requested. Both
// change under finishMutex, which the predicate is checked under, so no wake-up is lost.
void waitForNextPass(RenderJob& job, int reportedPass) {
    std::unique_lock lock(job.finishMutex);
    job.passStarted.wait(lock, [&job, reportedPass] {
        return job.stopRequested.load() || job.passNumber.load() != reportedPass;
    });
}

float finiteOrZero(float channel) { return std::isfinite(channel) ? channel : 0.0f; }

}  // namespace

// Each worker reports a pass exactly once, after its last tile of that pass:
// - It reports pass P only when, under tileMutex, it read passNumber == P and then found
//   nextTile negative. The main thread stores nextTile = tileCount - 1 before passNumber = P, so
//   that negative value comes after the hand-out of P began: every tile of P is taken, none more
//   will be, and the tiles this worker took are rendered, since it renders them in turn.
// - It remembers P and reports again only for a later pass, so once per pass, also when it
//   took no tile at all; and pass P + 1 starts only after its report for P, so every tile it
//   takes belongs to the pass after the one it last reported.
// - Reports of P come after the reset of finishedWorkers for P, which precedes both stores.
// So finishedWorkers reaches workerCount exactly when all tiles of the pass are in the buffer.
// The additions are published by the report (under finishMutex, then a sequentially
// consistent increment) and acquired by the main thread's read of finishedWorkers.
void renderWorker(RenderJob* job, int worker) {
    int reportedPass = 0;
    while (!job->stopRequested.load()) {
        const TileTake take = takeTile(*job, worker);
        assert(take.pass == reportedPass || take.pass == reportedPass + 1);
        if (take.count > 0) {
            job->tileRenderer(*job, job->shading, reportedPass + 1, tileOf(*job, take.tile));
        } else if (take.pass > reportedPass) {
            reportPassFinished(*job, take.pass);
            reportedPass = take.pass;
        } else {
            waitForNextPass(*job, reportedPass);
        }
    }
}

void setPictureSize(RenderJob& job, ImageSize size) {
    job.size = size;
    // 1278 and 958 for the window's 640 by 480.
    job.halfPixelU = 1.0f / float(2 * (size.width - 1));
    job.halfPixelV = 1.0f / float(2 * (size.height - 1));
    job.region = {0, 0, size.width, size.height};
}

namespace {

int tilesAcross(const RenderJob& job) {
    return (job.region.width + job.tileWidth - 1) / job.tileWidth;
}

}  // namespace

int tileCount(const RenderJob& job) {
    return tilesAcross(job) * ((job.region.height + job.tileHeight - 1) / job.tileHeight);
}

PixelRegion tileOf(const RenderJob& job, int index) {
    assert(index >= 0 && index < tileCount(job));
    const int x = job.region.x + index % tilesAcross(job) * job.tileWidth;
    const int y = job.region.y + index / tilesAcross(job) * job.tileHeight;
    return {x, y, std::min(job.tileWidth, job.region.x + job.region.width - x),
            std::min(job.tileHeight, job.region.y + job.region.height - y)};
}

void prepareSampling(RenderJob& job) {
    job.kernel = sampleKernelOf(job.simd);
    job.tileRenderer = tileRendererOf(job);
    job.shading = makeShadingScene(*job.scene);
}

TileRenderer tileRendererOf(const RenderJob& job) {
    return job.scene->integrator == Integrator::Path ? job.kernel.renderPathTile
                                                     : job.kernel.renderTile;
}

bool isPassComplete(const RenderJob& job) { return job.finishedWorkers.load() == job.workerCount; }

void startPass(RenderJob& job, int pass) {
    assert(isPassComplete(job) && pass == job.passNumber.load() + 1);
    {
        const std::lock_guard lock(job.finishMutex);
        job.finishedWorkers.store(0);
    }
    handOutPass(job, pass);
}

void startPasses(RenderJob& job, int lastPass) {
    assert(job.passCompleted == nullptr && lastPass >= 1);
    {
        const std::lock_guard lock(job.finishMutex);
        job.lastPass = lastPass;
    }
    startPass(job, 1);
}

void endWithCurrentPass(RenderJob& job) {
    const std::lock_guard lock(job.finishMutex);
    // A worker that has decided to go on past passNumber has already reset finishedWorkers: it
    // renders one more pass, which then ends the run.
    job.lastPass = std::min(job.lastPass, job.passNumber.load());
}

bool arePassesDone(RenderJob& job) {
    const std::lock_guard lock(job.finishMutex);
    return isPassComplete(job) && job.passNumber.load() >= job.lastPass;
}

int completedPasses(const RenderJob& job) {
    // passNumber first: finishedWorkers was reset for that pass before it was stored, so a full
    // count then means that pass is complete; otherwise the one before it is.
    const int pass = job.passNumber.load();
    return isPassComplete(job) ? pass : pass - 1;
}

bool waitForPassComplete(RenderJob& job, std::chrono::milliseconds timeout) {
    std::unique_lock lock(job.finishMutex);
    return job.passFinished.wait_for(lock, timeout, [&job] { return isPassComplete(job); });
}

void requestStop(RenderJob& job) {
    {
        const std::lock_guard lock(job.finishMutex);
        job.stopRequested.store(true);
    }
    job.passStarted.notify_all();
}

void accumulate(Vec3& sum, const Vec3& sample) {
    sum.x += finiteOrZero(sample.x);
    sum.y += finiteOrZero(sample.y);
    sum.z += finiteOrZero(sample.z);
}

Ray RenderJob::jitteredRay(int x, int y, RandomGenerator& generator) const {
    using L = scalar::Lanes;
    const PixelCell cell = pixelCell(x, y);
    assert(cell.uHigh > cell.uLow && cell.vHigh > cell.vLow);
    scalar::OneLane one{generator};
    // Two statements: the first draw is the column's, the second the row's.
    const auto width = [](int low, int high) { return divisorsOf(intsOf<L>(high - low)); };
    const scalar::Floats u = jitterCoordinates(
        *this, intsOf<L>(cell.uLow), width(cell.uLow, cell.uHigh), scalar::kOneLane, one.lane);
    const scalar::Floats v = jitterCoordinates(
        *this, intsOf<L>(cell.vLow), width(cell.vLow, cell.vHigh), scalar::kOneLane, one.lane);
    return rayOf(cameraRays(*camera, u, v));
}

Vec3 RenderJob::samplePixel(int x, int y, RandomGenerator& generator) const {
    assert(shading.scene == scene);
    Ray ray = jitteredRay(x, y, generator);
    if (scene->integrator == Integrator::Path) return tracePath(shading, ray, generator);
    scalar::OneLane one{generator};
    scalar::RayLanes rays = scalar::rayLanesOf(ray);
    RayTreeStack<scalar::Lanes> stack{};
    return scalar::vec3Of(traceLanes(shading, rays, scalar::kOneLane, 0, one.lane, stack));
}

}  // namespace lucentor
