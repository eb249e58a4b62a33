#pragma once

// The sample pipeline, written once over the lane type (simd/lane_math.h): camera rays, the
// lanes' blocks of pixels and their sums, around the ray trees of shading/trace_lanes.h. Width 1
// is the scalar kernel (engine/kernel_scalar.cpp) and the one-ray forms of the camera and the
// job; the wider kernels give the same bits lane by lane. Templates only.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "engine/camera.h"
#include "engine/image.h"
#include "engine/integrator.h"
#include "engine/render_job.h"
#include "shading/light_sampling.h"
#include "shading/path_lanes.h"
#include "shading/random.h"
#include "shading/trace_lanes.h"
#include "simd/lane_math.h"

namespace lucentor {

// The camera rays through image-plane points (u, v), with unit directions and t =
// kFarDistance.
template <class L>
inline RayLanes<L> cameraRays(const Camera& camera, Floats<L> u, Floats<L> v) {
    const Vec3Lanes<L> d = ((u * lanesOf<L>(camera.horizontal) + lanesOf<L>(camera.lowerLeft)) +
                            v * lanesOf<L>(camera.vertical)) -
                           lanesOf<L>(camera.origin);
    const Floats<L> k = 1.0f / length(d);
    return {lanesOf<L>(camera.origin), d * k, kFarDistance};
}

// A jitter coordinate of each lane's pixel cell: low + a draw modulo the cell's width.
template <class L>
inline Floats<L> jitterCoordinates(const RenderJob& job, Ints<L> low, const Divisors<L>& width,
                                   Mask<L> lanes, Generators<L>& generators) {
    const Ints<L> cell = low + remainderOf(draw(generators, lanes), width);
    return job.jitterUnit * toFloats(cell);
}

// The block of pixels the lanes take at a turn, as square as the width allows (4 by 4 at 16
// lanes, 4 by 2 at 8): neighbouring rays of a block stay together deeper into the tree than a
// column's or a row's, and no draw of one pixel moves another's, so any shape gives the same
// picture.
template <class L>
inline constexpr int kPacketWidth = L::kWidth < 4 ? L::kWidth : 4;
template <class L>
inline constexpr int kPacketHeight = L::kWidth / kPacketWidth<L>;

// One packet's pixels, lane by lane (lane k at column x + k % kPacketWidth, row
// y + k / kPacketWidth), those outside the tile masked out.
template <class L>
struct PixelPacket {
    Mask<L> lanes;
    Generators<L> generators;  // each pixel sample's own stream
    Ints<L> uLow;
    Divisors<L> uWidth;
    Ints<L> vLow;
    Divisors<L> vWidth;
    Vec3* sums = nullptr;  // the sum of lane 0's pixel; lane k's is at row k / kPacketWidth below
    int rowStride = 0;     // sums between one row and the next: the picture's width
};

// The jitter cells of the lanes' pixels along one axis, pixelCell's bounds with the same float
// operations lane by lane: `first` is the packet's first column or row, `offsets` each lane's
// from it. Lanes outside `lanes` take cells of width 1, not 0; they are masked out everywhere.
template <class L>
inline void jitterCells(const RenderJob& job, float halfStep, int first, Ints<L> offsets,
                        Mask<L> lanes, Ints<L>& low, Divisors<L>& width) {
    const Floats<L> centre = (halfStep + halfStep) * toFloats(intsOf<L>(first) + offsets);
    low = truncated((centre - halfStep) * job.jitterScale);
    const Ints<L> high = truncated((centre + halfStep) * job.jitterScale);
    width = divisorsOf(select(lanes, high - low, intsOf<L>(1)));
}

// Lane k's place in the packet: its column or row offset.
template <class L>
inline Ints<L> packetOffsets(bool rows) {
    alignas(64) std::array<std::int32_t, L::kWidth> offsets{};
    for (int k = 0; k < L::kWidth; ++k) {
        offsets[std::size_t(k)] = rows ? k / kPacketWidth<L> : k % kPacketWidth<L>;
    }
    return loadInts<L>(offsets.data());
}

// Fills the packet at column x, row y of the tile but for its rows' cells (vLow, vWidth),
// which the packets of one row share. `columns` holds each lane's column offset.
template <class L>
inline void startPacket(const RenderJob& job, std::uint64_t key, const PixelRegion& tile, int x,
                        int y, Ints<L> columns, PixelPacket<L>& packet) {
    const int width = std::min(kPacketWidth<L>, tile.x + tile.width - x);
    const int height = std::min(kPacketHeight<L>, tile.y + tile.height - y);
    // Every lane's key and place, those past the tile's edges too: they are masked out.
    alignas(64) std::array<std::uint64_t, L::kWidth> states{};
    std::uint32_t lanes = 0;
    for (int k = 0; k < L::kWidth; ++k) {
        const int column = k % kPacketWidth<L>;
        const int row = k / kPacketWidth<L>;
        states[std::size_t(k)] = pixelKey(key, x + column, y + row);
        lanes |= std::uint32_t(column < width && row < height) << k;
    }
    packet.lanes = maskOf<L>(lanes);
    // pixelSeed's last step across the lanes.
    packet.generators = mixedGenerators(generatorsOf<L>(states.data()));
    jitterCells(job, job.halfPixelU, x, columns, packet.lanes, packet.uLow, packet.uWidth);
    packet.sums = job.accumulation + job.size.pixelIndex(x, y);
    packet.rowStride = job.size.width;
    // The sums are read only after the trace: fetched now, they are in the cache by then.
    for (int row = 0; row < height; ++row) {
        __builtin_prefetch(packet.sums + row * packet.rowStride, 1);
        __builtin_prefetch(packet.sums + row * packet.rowStride + width - 1, 1);
    }
}

// Each lane's sample into its pixel's sum. A channel that is not finite adds nothing
// (accumulate's rule), so one degenerate sample cannot spoil the pixel for good.
template <class L>
inline void accumulateLanes(const PixelPacket<L>& packet, const Vec3Lanes<L>& color) {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    const auto finite = [](Floats<L> c) { return select(abs(c) < kInfinity, c, 0.0f); };
    const FloatArray<L> red = arrayOf(finite(color.x));
    const FloatArray<L> green = arrayOf(finite(color.y));
    const FloatArray<L> blue = arrayOf(finite(color.z));
    for (int k = 0; k < L::kWidth; ++k) {
        if (!isSet(packet.lanes, k)) continue;
        const auto lane = std::size_t(k);
        Vec3& sum = packet.sums[k / kPacketWidth<L> * packet.rowStride + k % kPacketWidth<L>];
        sum.x += red.values[lane];
        sum.y += green.values[lane];
        sum.z += blue.values[lane];
    }
}

// The camera rays of one sample of each lane's pixel: its two jitter draws.
template <class L>
inline RayLanes<L> jitteredRays(const RenderJob& job, PixelPacket<L>& packet) {
    // Two statements: the first draw is the column's, the second the row's.
    const Floats<L> u =
        jitterCoordinates(job, packet.uLow, packet.uWidth, packet.lanes, packet.generators);
    const Floats<L> v =
        jitterCoordinates(job, packet.vLow, packet.vWidth, packet.lanes, packet.generators);
    return cameraRays(*job.camera, u, v);
}

// One sample of each lane's pixel: its two jitter draws, then its trace.
template <class L>
inline void samplePacket(const RenderJob& job, const ShadingScene& shading, PixelPacket<L>& packet,
                         RayTreeStack<L>& stack) {
    RayLanes<L> rays = jitteredRays(job, packet);
    const Vec3Lanes<L> color = traceLanes(shading, rays, packet.lanes, 0, packet.generators, stack);
    accumulateLanes(packet, color);
}

// One sample of each lane's pixel by the path integrator: its two jitter draws, then its path.
template <class L>
inline void samplePathPacket(const RenderJob& job, const ShadingScene& shading,
                             PixelPacket<L>& packet) {
    const RayLanes<L> rays = jitteredRays(job, packet);
    accumulateLanes(packet, tracePathLanes(shading, rays, packet.lanes, packet.generators));
}

// Adds one sample of pass `pass` to every pixel of `tile`, packet after packet, each sampled by
// `sample`. Returns early, between packets, once the job's stopRequested is set.
template <class L, class Sample>
inline void renderPackets(RenderJob& job, int pass, const PixelRegion& tile, const Sample& sample) {
    const std::uint64_t key = passKey(job.seed, pass);
    const Ints<L> columns = packetOffsets<L>(false);
    const Ints<L> rowOffsets = packetOffsets<L>(true);
    PixelPacket<L> packet;
    for (int y = tile.y; y < tile.y + tile.height; y += kPacketHeight<L>) {
        const int rows = std::min(kPacketHeight<L>, tile.y + tile.height - y);
        jitterCells(job, job.halfPixelV, y, rowOffsets, lanesBelow<L>(rows * kPacketWidth<L>),
                    packet.vLow, packet.vWidth);
        for (int x = tile.x; x < tile.x + tile.width; x += kPacketWidth<L>) {
            if (job.stopRequested.load()) return;  // the rest of the tile waits for no sample
            startPacket(job, key, tile, x, y, columns, packet);
            sample(packet);
        }
    }
}

// The direct integrator's tiles.
template <class L>
inline void renderTileLanes(RenderJob& job, const ShadingScene& shading, int pass,
                            const PixelRegion& tile) {
    // Each worker's scratch, zeroed once per thread: zeroing its 20 kB for every tile took 6 %
    // of a pass's instructions. Nothing is read from it that the same sample did not write.
    thread_local RayTreeStack<L> stack{};
    renderPackets<L>(job, pass, tile,
                     [&](PixelPacket<L>& packet) { samplePacket(job, shading, packet, stack); });
}

// The path integrator's tiles.
template <class L>
inline void renderPathTileLanes(RenderJob& job, const ShadingScene& shading, int pass,
                                const PixelRegion& tile) {
    renderPackets<L>(job, pass, tile,
                     [&](PixelPacket<L>& packet) { samplePathPacket(job, shading, packet); });
}

// The kernel's integer primitives on arrays, for the tests (see LanePrimitives).
template <class L>
inline LanePrimitives lanePrimitivesOfLanes() {
    const auto remainders = [](const std::int32_t* values, const std::int32_t* divisors,
                               std::int32_t* out) {
        storeInts(out, remainderOf(loadInts<L>(values), divisorsOf(loadInts<L>(divisors))));
    };
    const auto draws = [](std::uint64_t* states, std::uint32_t active, std::int32_t* out) {
        Generators<L> generators = generatorsOf<L>(states);
        storeInts(out, draw(generators, maskOf<L>(active)));
        storeGenerators(states, generators);
    };
    return {L::kWidth, remainders, draws};
}

}  // namespace lucentor
