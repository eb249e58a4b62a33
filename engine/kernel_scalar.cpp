// The sample pipeline at width 1: the scalar path and the readable reference of the wider
// kernels, and the choice among the kernels, made once when the workers start.
#include "engine/integrator.h"
#include "engine/integrator_lanes.h"
#include "simd/lanes_scalar.h"

namespace lucentor {

namespace scalar {

SampleKernel sampleKernel() {
    return {kPacketWidth<Lanes>, kPacketHeight<Lanes>, renderTileLanes<Lanes>,
            renderPathTileLanes<Lanes>};
}

LanePrimitives lanePrimitives() { return lanePrimitivesOfLanes<Lanes>(); }

}  // namespace scalar

SampleKernel sampleKernelOf(SimdPath path) {
    switch (path) {
        case SimdPath::Avx512:
            return avx512::sampleKernel();
        case SimdPath::Avx2:
            return avx2::sampleKernel();
        case SimdPath::Scalar:
            break;
    }
    return scalar::sampleKernel();
}

LanePrimitives lanePrimitivesOf(SimdPath path) {
    switch (path) {
        case SimdPath::Avx512:
            return avx512::lanePrimitives();
        case SimdPath::Avx2:
            return avx2::lanePrimitives();
        case SimdPath::Scalar:
            break;
    }
    return scalar::lanePrimitives();
}

}  // namespace lucentor
