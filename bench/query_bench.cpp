// The ray queries on the rays a render of each preset issues, and the scene build.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"

namespace lucentor {
namespace {

// Every fourth column and row: enough rays to cover the picture, few enough to stay in memory
// with the trio's glass, which doubles the rays at each bounce.
constexpr int kRayPixelStep = 4;

void closestHit(benchmark::State& state, Preset preset) {
    const std::unique_ptr<Scene> scene = makePresetScene(preset);
    const RaySet rays = recordRays(*scene, makeCamera(), kRayPixelStep);
    for (auto _ : state) {
        for (const Ray& recorded : rays.closestHit) {
            Ray ray = recorded;
            benchmark::DoNotOptimize(ray.closestHit(*scene));
            benchmark::DoNotOptimize(ray.t);
        }
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(rays.closestHit.size()));
    state.counters["rays"] = double(rays.closestHit.size());
}

void occlusion(benchmark::State& state, Preset preset) {
    const std::unique_ptr<Scene> scene = makePresetScene(preset);
    const RaySet rays = recordRays(*scene, makeCamera(), kRayPixelStep);
    for (auto _ : state) {
        for (const Ray& ray : rays.shadow) benchmark::DoNotOptimize(ray.occlusion(*scene));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(rays.shadow.size()));
    state.counters["rays"] = double(rays.shadow.size());
}

// The scene as the programs make it: the preset's objects, then the hierarchy; then released.
void buildBvh(benchmark::State& state, Preset preset) {
    for (auto _ : state) benchmark::DoNotOptimize(makePresetScene(preset));
}

BENCHMARK_CAPTURE(closestHit, box, buildBoxScene);
BENCHMARK_CAPTURE(closestHit, trio, buildTrioScene);
BENCHMARK_CAPTURE(closestHit, field, buildFieldScene);
BENCHMARK_CAPTURE(occlusion, box, buildBoxScene);
BENCHMARK_CAPTURE(occlusion, trio, buildTrioScene);
BENCHMARK_CAPTURE(occlusion, field, buildFieldScene);
BENCHMARK_CAPTURE(buildBvh, box, buildBoxScene);
BENCHMARK_CAPTURE(buildBvh, trio, buildTrioScene);
BENCHMARK_CAPTURE(buildBvh, field, buildFieldScene);

}  // namespace
}  // namespace lucentor
