#include "query/simd_path.h"

#include <gtest/gtest.h>

namespace lucentor {
namespace {

constexpr CpuFeatures kBaseline{false, false};
constexpr CpuFeatures kAvx2Only{true, false};
constexpr CpuFeatures kEverything{true, true};

TEST(SimdPath, AutoTakesTheWidestPathTheProcessorHas) {
    SimdPath path = SimdPath::Avx512;
    std::string problem;
    ASSERT_TRUE(resolveSimdChoice(SimdChoice::Auto, kBaseline, path, problem));
    EXPECT_EQ(path, SimdPath::Scalar);
    ASSERT_TRUE(resolveSimdChoice(SimdChoice::Auto, kAvx2Only, path, problem));
    EXPECT_EQ(path, SimdPath::Avx2);
    ASSERT_TRUE(resolveSimdChoice(SimdChoice::Auto, kEverything, path, problem));
    EXPECT_EQ(path, SimdPath::Avx512);
    EXPECT_TRUE(problem.empty());
}

TEST(SimdPath, APathTheProcessorLacksIsRefusedWithOneLine) {
    SimdPath path = SimdPath::Scalar;
    std::string problem;
    EXPECT_FALSE(resolveSimdChoice(SimdChoice::Avx512, kAvx2Only, path, problem));
    EXPECT_EQ(problem, "--simd: this processor has no avx512 (F, DQ, BW and VL)");
    EXPECT_FALSE(resolveSimdChoice(SimdChoice::Avx2, kBaseline, path, problem));
    EXPECT_EQ(problem, "--simd: this processor has no avx2");
    EXPECT_EQ(path, SimdPath::Scalar) << "a refusal leaves the path alone";
}

TEST(SimdPath, AForcedPathTheProcessorHasIsTaken) {
    SimdPath path = SimdPath::Scalar;
    std::string problem;
    ASSERT_TRUE(resolveSimdChoice(SimdChoice::Avx2, kEverything, path, problem));
    EXPECT_EQ(path, SimdPath::Avx2);
    ASSERT_TRUE(resolveSimdChoice(SimdChoice::Scalar, kEverything, path, problem));
    EXPECT_EQ(path, SimdPath::Scalar);
}

TEST(SimdPath, ChoicesAreReadByTheirExactNames) {
    SimdChoice choice = SimdChoice::Auto;
    ASSERT_TRUE(parseSimdChoice("avx512", choice));
    EXPECT_EQ(choice, SimdChoice::Avx512);
    ASSERT_TRUE(parseSimdChoice("scalar", choice));
    EXPECT_EQ(choice, SimdChoice::Scalar);
    for (const char* bad : {"", "AVX2", "avx", "avx2 ", "sse"}) {
        EXPECT_FALSE(parseSimdChoice(bad, choice)) << "'" << bad << "'";
    }
    EXPECT_EQ(choice, SimdChoice::Scalar);
}

TEST(SimdPath, PacketWidthsAndTheRunningProcessorAgree) {
    EXPECT_EQ(packetWidth(SimdPath::Scalar), 1);
    EXPECT_EQ(packetWidth(SimdPath::Avx2), 8);
    EXPECT_EQ(packetWidth(SimdPath::Avx512), 16);
    EXPECT_TRUE(isAvailable(bestAvailablePath(), detectCpuFeatures()));
    EXPECT_EQ(bestAvailablePath(), bestPath(detectCpuFeatures()));
}

}  // namespace
}  // namespace lucentor
