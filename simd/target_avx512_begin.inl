// Opens the region whose functions are built for AVX-512 F, DQ, BW and VL; simd/target_end.inl
// closes it. Only what is defined inside gets the wider instruction set: the headers included
// before it stay baseline code, which the functions inside may inline.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512dq,avx512bw,avx512vl"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512dq,avx512bw,avx512vl")
#endif
