#pragma once

// <immintrin.h> for the kernels' target regions. g++ 12 warns inside its own AVX-512 header,
// whose intrinsics start from an undefined vector.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#ifndef __clang__  // clang has no such warning, and warns about the unknown name instead
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#pragma GCC diagnostic pop
