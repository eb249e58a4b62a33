#pragma once

// Every baseline header that the lane templates (simd/lanes_*.h, simd/lane_math.h,
// query/packet_walk.h, query/triangle_lanes.h, shading/*_lanes.h, shading/lane_queries.h,
// engine/integrator_lanes.h) include, included before a kernel's target region: what is defined
// here stays baseline x86-64 code, so that no inline function of it is ever compiled for a wider
// instruction set and then linked into baseline code. Inside the region, their #pragma once leaves
// only the templates to be read.

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>

#include "engine/camera.h"
#include "engine/image.h"
#include "engine/integrator.h"
#include "engine/render_job.h"
#include "query/closest_hit.h"
#include "query/occlusion.h"
#include "query/packet.h"
#include "query/packet_kernels.h"
#include "query/traversal.h"
#include "query/triangle.h"
#include "query/wide_walk.h"
#include "scene/packed_tree.h"
#include "scene/scene.h"
#include "shading/emitters.h"
#include "shading/light_sampling.h"
#include "shading/lighting.h"
#include "shading/materials.h"
#include "shading/random.h"
#include "shading/trace.h"
#include "simd/lanes.h"
