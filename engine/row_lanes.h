#pragma once

#include <span>

#include "engine/render_job.h"
#include "query/packet.h"
#include "query/simd_path.h"

namespace lucentor {

// The most rows a worker renders side by side: the lanes of the widest ray packets.
inline constexpr int kRowLanes = kMaxPacketLanes;

// How many rows a worker takes at a turn on `path`: one packet's worth on AVX-512; eight on
// the others, where eight rows side by side already keep the processor busy.
int rowLanesOf(SimdPath path);

// Adds one sample to every pixel of `rows` (at most kRowLanes rows of pass `pass`), exactly
// the sums that rendering the rows one after the other gives: each row draws from a generator
// of its own, seeded by rowSeed, in the order samplePixel draws, pixel by pixel. The rows
// advance together, one column at a time: each stage of a sample (the camera ray, the
// closest-hit query, the shading, each light's shadow ray and its occlusion query) is done
// for every row in turn before the next stage, so the processor always has the independent
// work of other rows to do while one row's chain of dependent arithmetic runs. On a SIMD path
// (the job's `simd`) the closest-hit and occlusion queries of the rows run as one ray packet,
// lane by lane the same as the scalar queries. Returns early, between columns, once the job's
// stopRequested is set.
void renderRows(RenderJob& job, int pass, std::span<const int> rows);

}  // namespace lucentor
