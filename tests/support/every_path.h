#pragma once

#include <gtest/gtest.h>

#include <string>

#include "query/simd_path.h"
#include "tests/support/lacked_paths.h"

namespace lucentor::testing {

// A test suite parameterised over the kernels: one case per path, named after it. A path the
// processor lacks is skipped, never passed.
class EveryPath : public ::testing::TestWithParam<SimdPath> {
protected:
    void SetUp() override {
        if (!isAvailable(GetParam(), detectCpuFeatures())) {
            GTEST_SKIP() << "this processor lacks " << pathName(GetParam());
        }
    }
};

inline std::string pathCaseName(const ::testing::TestParamInfo<SimdPath>& path) {
    return std::string(pathName(path.param));
}

inline auto everyPath() {
    return ::testing::Values(SimdPath::Scalar, SimdPath::Avx2, SimdPath::Avx512);
}

}  // namespace lucentor::testing
