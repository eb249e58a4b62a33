#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "query/simd_path.h"

namespace lucentor {

// For a test that loops over paths, called after the loop: reports the test as skipped,
// naming the paths of `paths` this processor lacks, as the EveryPath suites report each one.
// The paths it has were checked all the same, and a failure among them still fails the test.
inline void skipLackedPaths(std::initializer_list<SimdPath> paths) {
    std::string lacked;
    for (const SimdPath path : paths) {
        if (isAvailable(path, detectCpuFeatures())) continue;
        lacked += (lacked.empty() ? "" : " and ") + std::string(pathName(path));
    }
    if (!lacked.empty()) GTEST_SKIP() << "this processor lacks " << lacked;
}

}  // namespace lucentor
