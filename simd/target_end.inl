// Closes the region that simd/target_avx2_begin.inl or simd/target_avx512_begin.inl opened.
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
