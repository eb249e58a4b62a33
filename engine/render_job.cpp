#include "engine/render_job.h"

#include <array>
#include <cassert>
#include <cmath>
#include <span>

#include "engine/image.h"
#include "shading/random.h"

namespace lucentor {
namespace {

// What a worker found under rowMutex: up to the kernel's rowLanes rows of the pass to render, or
// none.
struct RowTake {
    std::array<int, kMaxRowLanes> rows{};
    int count = 0;
    int pass = 0;  // passNumber as read before nextRow, at the first row
};

RowTake takeRows(RenderJob& job) {
    const int lanes = job.kernel.rowLanes;
    const std::lock_guard lock(job.rowMutex);
    RowTake take;
    take.pass = job.passNumber.load();
    // The pass cannot change while this worker holds rows of it: the next pass starts only
    // after every worker has reported this one.
    while (take.count < lanes) {
        const int row = job.nextRow.load();
        if (row < 0) break;
        job.nextRow.store(row - 1);
        take.rows[std::size_t(take.count++)] = row;
    }
    return take;
}

void reportPassFinished(RenderJob& job, int pass) {
    int reports = 0;
    {
        const std::lock_guard lock(job.finishMutex);
        reports = job.finishedWorkers.fetch_add(1) + 1;
    }
    assert(reports <= job.workerCount);
    if (reports != job.workerCount) return;
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

// Each worker reports a pass exactly once, after its last row of that pass:
// - It reports pass P only when, under rowMutex, it read passNumber == P and then found
//   nextRow negative. The main thread stores nextRow = 479 before passNumber = P, so that
//   negative value comes after the hand-out of P began: every row of P is taken, none more
//   will be, and the rows this worker took are rendered, since it renders them in turn.
// - It remembers P and reports again only for a later pass, so once per pass, also when it
//   took no row at all; and pass P + 1 starts only after its report for P, so every row it
//   takes belongs to the pass after the one it last reported.
// - Reports of P come after the reset of finishedWorkers for P, which precedes both stores.
// So finishedWorkers reaches workerCount exactly when all rows of the pass are in the buffer.
// The additions are published by the report (under finishMutex, then a sequentially
// consistent increment) and acquired by the main thread's read of finishedWorkers.
void renderWorker(RenderJob* job) {
    int reportedPass = 0;
    while (!job->stopRequested.load()) {
        const RowTake take = takeRows(*job);
        assert(take.pass == reportedPass || take.pass == reportedPass + 1);
        if (take.count > 0) {
            job->kernel.renderRows(*job, job->shading, reportedPass + 1,
                                   std::span(take.rows.data(), std::size_t(take.count)));
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
}

void prepareSampling(RenderJob& job) {
    job.kernel = sampleKernelOf(job.simd);
    job.shading = makeShadingScene(*job.scene);
}

bool isPassComplete(const RenderJob& job) { return job.finishedWorkers.load() == job.workerCount; }

void startPass(RenderJob& job, int pass) {
    assert(isPassComplete(job) && pass == job.passNumber.load() + 1);
    {
        const std::lock_guard lock(job.finishMutex);
        job.finishedWorkers.store(0);
    }
    // This order is what lets a worker tell a finished hand-out from a stale one (see above).
    job.nextRow.store(job.size.height - 1);
    {
        const std::lock_guard lock(job.finishMutex);
        job.passNumber.store(pass);
    }
    job.passStarted.notify_all();
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

std::uint64_t rowSeed(std::uint64_t seed, int pass, int row, int rows) {
    const auto key = std::uint64_t(pass) * std::uint64_t(rows) + std::uint64_t(row);
    return mixBits(mixBits(seed) ^ key);
}

void accumulate(Vec3& sum, const Vec3& sample) {
    sum.x += finiteOrZero(sample.x);
    sum.y += finiteOrZero(sample.y);
    sum.z += finiteOrZero(sample.z);
}

}  // namespace lucentor
