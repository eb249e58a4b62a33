#pragma once

// The lane types, one specialisation per instruction set, chosen by a traits type of that set's
// namespace that carries the width: scalar::Lanes (simd/lanes_scalar.h), avx2::Lanes
// (simd/lanes_avx2.h) and avx512::Lanes (simd/lanes_avx512.h), each
// `struct Lanes { static constexpr int kWidth = N; }`. Code over lanes is written once as
// templates over that type (simd/lane_math.h and the *_lanes.h headers beside their one-ray
// forms); width 1 is the scalar reference, which every wider width matches bit for bit.
//
// Each specialisation offers:
// - Floats<L> (kWidth floats, built from a float by broadcasting), Mask<L> (a set of lanes),
//   Ints<L> (kWidth 32-bit integers), Divisors<L> and Generators<L>;
// - on Floats: + - * / and unary -, the ordered comparisons < > >= == giving a Mask (false
//   where a side is NaN), select, sqrt, abs, min and max (a < b ? a : b, a > b ? a : b),
//   sameBits, store, Floats::load, gather (each lane's float at base[index], every index in
//   range) and lookup (the same from a row of kWidth floats, every index below kWidth: a
//   permutation of the row, cheaper than a gather);
// - on Masks: & | ! any, bitsOf and Mask::ofBits between a Mask and lane bits (lane k is bit k);
// - on Ints: + - ^ &, ==, select, storeInts, toFloats (rounded to nearest, as int-to-float
//   conversion does), truncated (toward zero; INT_MIN out of range and for NaN), remainderOf
//   (for 0 <= value, 0 < divisor < 2^31) by the Divisors that divisorsOf works out once for
//   many remainders, and Ints::broadcast and Ints::load;
// - Generators, each lane's RandomGenerator, with storeGenerators, draw, which advances only
//   the active lanes' generators and gives their next values, mixedGenerators, each state
//   through mixBits, and Generators::load.
// The operations are plain functions of the instruction set's namespace, which argument-dependent
// lookup reaches through the traits type, so that a float converts where a lane value is
// expected: `a * 0.5f`, `select(m, a, 1.0f)`. Each is IEEE-exact lane by lane, so every width
// computes the same bits.
//
// Only the primary templates are declared here: the wider specialisations and every template
// over them are defined inside their kernel's target region (engine/kernel_avx2.cpp,
// engine/kernel_avx512.cpp), the one translation unit that instantiates them.

namespace lucentor {

template <class L>
struct Floats;
template <class L>
struct Mask;
template <class L>
struct Ints;
template <class L>
struct Divisors;
template <class L>
struct Generators;

}  // namespace lucentor
