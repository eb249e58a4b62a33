#include "engine/row_lanes.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "engine/image.h"
#include "shading/lighting.h"
#include "shading/random.h"
#include "shading/trace.h"

namespace lucentor {
namespace {

// One row's sample of the current column, stage by stage.
struct Lane {
    RandomGenerator generator;  // the row's own draws, carried from column to column
    Vec3* sums = nullptr;       // the row's pixel sums
    int row = 0;
    Ray ray;
    HitShading shading;
    Vec3 shadowFrom;  // where the shadow rays of a diffuse hit start
    Vec3 light;       // the direct light summed so far, light by light
    ShadowRay shadow;
    float blocked = 0.0f;
};

// Runs `step` on each lane with the lane's generator as the thread's, so that every draw of a
// row comes from its own sequence, in that row's order.
template <class Step>
void withOwnDraws(std::span<Lane> lanes, const Step& step) {
    for (Lane& lane : lanes) {
        threadGenerator = lane.generator;
        step(lane);
        lane.generator = threadGenerator;
    }
}

bool wantsLight(const Lane& lane) { return lane.shading.need == HitNeed::DirectLight; }

// The lane bits of the lanes for which `wanted` holds.
template <class Wanted>
std::uint32_t lanesWhere(std::span<const Lane> lanes, const Wanted& wanted) {
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < lanes.size(); ++k) {
        if (wanted(lanes[k])) bits |= std::uint32_t{1} << k;
    }
    return bits;
}

// Each lane's closest hit and what it asks of the shading.
void findHits(const RenderJob& job, std::span<Lane> lanes) {
    const Scene& scene = *job.scene;
    if (job.simd == SimdPath::Scalar) {
        for (Lane& lane : lanes) {
            const HitRecord hit = lane.ray.closestHit(scene);
            lane.shading = shadingOf(lane.ray, hit, 0.0f, scene);
        }
        return;
    }
    RayPacket packet;
    for (std::size_t k = 0; k < lanes.size(); ++k) packet.set(int(k), lanes[k].ray);
    std::array<HitRecord, kMaxPacketLanes> hits;
    closestHits(job.simd, scene, packet, lanesWhere(lanes, [](const Lane&) { return true; }), hits);
    for (std::size_t k = 0; k < lanes.size(); ++k) {
        Lane& lane = lanes[k];
        lane.ray.t = packet.t[k];
        lane.shading = shadingOf(lane.ray, hits[k], 0.0f, scene);
    }
}

// The occlusion of each lit lane's shadow ray.
void findBlocking(const RenderJob& job, std::span<Lane> lanes) {
    const Scene& scene = *job.scene;
    if (job.simd == SimdPath::Scalar) {
        for (Lane& lane : lanes) {
            if (wantsLight(lane)) lane.blocked = lane.shadow.ray.occlusion(scene);
        }
        return;
    }
    RayPacket packet;
    for (std::size_t k = 0; k < lanes.size(); ++k) packet.set(int(k), lanes[k].shadow.ray);
    std::array<float, kMaxPacketLanes> blocked{};
    occlusions(job.simd, scene, packet, lanesWhere(lanes, wantsLight), blocked);
    for (std::size_t k = 0; k < lanes.size(); ++k) lanes[k].blocked = blocked[k];
}

// The stages of one column's samples in all lanes, ending in the samples' colours.
void sampleColumn(const RenderJob& job, int x, std::span<Lane> lanes) {
    const Scene& scene = *job.scene;
    withOwnDraws(lanes, [&job, x](Lane& lane) { lane.ray = job.jitteredRay(x, lane.row); });
    findHits(job, lanes);
    withOwnDraws(lanes, [&scene](Lane& lane) {
        const Surface& s = lane.shading.surface;
        if (lane.shading.need == HitNeed::SecondaryRays) {
            lane.shading.color = shadeSecondary(lane.ray, s, 0.0f, scene);
        } else if (wantsLight(lane)) {
            lane.shadowFrom = shadowStart(s.point, s.normal);
            lane.light = {};
        }
    });
    for (int i = 0; i < scene.lightCount; ++i) {
        const Light& light = *scene.lights[i];
        withOwnDraws(lanes, [&light](Lane& lane) {
            if (wantsLight(lane)) lane.shadow = shadowRayTo(light, lane.shadowFrom);
        });
        findBlocking(job, lanes);
        for (Lane& lane : lanes) {
            if (!wantsLight(lane)) continue;
            lane.light = withLight(lane.light, light, lane.shadow, lane.blocked,
                                   lane.shading.surface.normal);
        }
    }
    for (Lane& lane : lanes) {
        if (wantsLight(lane)) lane.shading.color = lane.shading.surface.color * lane.light;
    }
}

}  // namespace

int rowLanesOf(SimdPath path) { return path == SimdPath::Avx512 ? kRowLanes : 8; }

void renderRows(RenderJob& job, int pass, std::span<const int> rows) {
    assert(rows.size() <= std::size_t(kRowLanes));
    std::array<Lane, kRowLanes> storage;
    const std::span<Lane> lanes(storage.data(), rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        Lane& lane = lanes[k];
        lane.row = rows[k];
        lane.generator.state = rowSeed(job.seed, pass, lane.row);
        lane.sums = job.accumulation + pixelIndex(0, lane.row);
    }
    for (int x = 0; x < kImageWidth; ++x) {
        if (job.stopRequested.load()) return;  // the rest of the rows wait for no sample
        sampleColumn(job, x, lanes);
        for (Lane& lane : lanes) accumulate(lane.sums[x], lane.shading.color);
    }
}

}  // namespace lucentor
