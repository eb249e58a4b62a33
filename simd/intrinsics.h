#pragma once

// <immintrin.h> for the kernels' target regions. g++ 12 warns inside its own AVX-512 header,
// whose intrinsics start from an undefined vector.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
