#pragma once

#include <string>
#include <string_view>

namespace lucentor {

// Which kernels the ray queries of the renderer run on. Every path gives the same pictures bit
// for bit; they differ only in how many rays one instruction serves.
enum class SimdPath {
    Scalar,  // one ray at a time, baseline x86-64
    Avx2,    // packets of 8 rays
    Avx512,  // packets of 16 rays (F, DQ, BW, VL)
};

// What the processor offers, as far as the kernels care. Passed in rather than read inside, so
// that refusing a path the processor lacks can be tested on any processor.
struct CpuFeatures {
    bool avx2 = false;
    bool avx512 = false;  // F, DQ, BW and VL together
};

// The running processor's features, read once.
CpuFeatures detectCpuFeatures();

bool isAvailable(SimdPath path, const CpuFeatures& features);

// The widest path the features allow.
SimdPath bestPath(const CpuFeatures& features);

// bestPath of the running processor: what the window programs always use.
SimdPath bestAvailablePath();

// How many rays one packet of the path holds: 1 for Scalar.
int packetWidth(SimdPath path);

// "scalar", "avx2" or "avx512".
std::string_view pathName(SimdPath path);

// What a user may ask for: a path, or the best one available.
enum class SimdChoice { Auto, Scalar, Avx2, Avx512 };

// "auto", "avx512", "avx2" or "scalar"; false for anything else.
bool parseSimdChoice(std::string_view text, SimdChoice& choice);

// The path a choice names on a processor with `features`, or false with a one-line reason in
// `problem` when the processor lacks it.
bool resolveSimdChoice(SimdChoice choice, const CpuFeatures& features, SimdPath& path,
                       std::string& problem);

}  // namespace lucentor
