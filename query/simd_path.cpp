#include "query/simd_path.h"

#include <array>

namespace lucentor {
namespace {

struct NamedChoice {
    std::string_view name;
    SimdChoice choice;
};

constexpr std::array<NamedChoice, 4> kChoices = {{{"auto", SimdChoice::Auto},
                                                  {"avx512", SimdChoice::Avx512},
                                                  {"avx2", SimdChoice::Avx2},
                                                  {"scalar", SimdChoice::Scalar}}};

CpuFeatures readCpuFeatures() {
    __builtin_cpu_init();
    CpuFeatures features;
    // The builtin gives an int in g++ and a bool in clang.
    features.avx2 = bool(__builtin_cpu_supports("avx2"));
    features.avx512 =
        bool(__builtin_cpu_supports("avx512f")) && bool(__builtin_cpu_supports("avx512dq")) &&
        bool(__builtin_cpu_supports("avx512bw")) && bool(__builtin_cpu_supports("avx512vl"));
    return features;
}

}  // namespace

CpuFeatures detectCpuFeatures() {
    static const CpuFeatures features = readCpuFeatures();
    return features;
}

bool isAvailable(SimdPath path, const CpuFeatures& features) {
    switch (path) {
        case SimdPath::Scalar:
            return true;
        case SimdPath::Avx2:
            return features.avx2;
        case SimdPath::Avx512:
            return features.avx512;
    }
    return false;
}

SimdPath bestPath(const CpuFeatures& features) {
    if (features.avx512) return SimdPath::Avx512;
    return features.avx2 ? SimdPath::Avx2 : SimdPath::Scalar;
}

SimdPath bestAvailablePath() { return bestPath(detectCpuFeatures()); }

int packetWidth(SimdPath path) {
    switch (path) {
        case SimdPath::Scalar:
            return 1;
        case SimdPath::Avx2:
            return 8;
        case SimdPath::Avx512:
            return 16;
    }
    return 1;
}

std::string_view pathName(SimdPath path) {
    switch (path) {
        case SimdPath::Scalar:
            return "scalar";
        case SimdPath::Avx2:
            return "avx2";
        case SimdPath::Avx512:
            return "avx512";
    }
    return "scalar";
}

bool parseSimdChoice(std::string_view text, SimdChoice& choice) {
    for (const NamedChoice& entry : kChoices) {
        if (entry.name == text) {
            choice = entry.choice;
            return true;
        }
    }
    return false;
}

bool resolveSimdChoice(SimdChoice choice, const CpuFeatures& features, SimdPath& path,
                       std::string& problem) {
    if (choice == SimdChoice::Auto) {
        path = bestPath(features);
        return true;
    }
    const SimdPath asked = choice == SimdChoice::Avx512 ? SimdPath::Avx512
                           : choice == SimdChoice::Avx2 ? SimdPath::Avx2
                                                        : SimdPath::Scalar;
    if (!isAvailable(asked, features)) {
        problem = "--simd: this processor has no " + std::string(pathName(asked)) +
                  (asked == SimdPath::Avx512 ? " (F, DQ, BW and VL)" : "");
        return false;
    }
    path = asked;
    return true;
}

}  // namespace lucentor
