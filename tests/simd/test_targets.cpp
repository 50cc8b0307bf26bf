// The choice of vector target: a list's names, and the dispatch slot Highway itself picks.
#include <gtest/gtest.h>
#include <hwy/highway.h>

#include <string>

#include "simd/targets.h"

using namespace tolvane::simd;

TEST(SimdTargets, ListNamesTargetsInAnyCaseAndReportsTheUnknown) {
    std::string unknown;
    EXPECT_EQ(ParseTargets("avx2, SSE4", &unknown), HWY_AVX2 | HWY_SSE4);
    EXPECT_EQ(unknown, "");
    EXPECT_EQ(ParseTargets("ssse3,nosuch,avx9", &unknown), HWY_SSSE3);
    EXPECT_EQ(unknown, "nosuch");
    EXPECT_EQ(ParseTargets("", &unknown), 0);
    EXPECT_STREQ(TargetName(HWY_AVX2), "AVX2");
    EXPECT_STREQ(TargetName(0), "none");
}

// With every target allowed, the slot is the one Highway's own dispatch takes; with none, or
// only targets not compiled, the portable fallback's; a file of one target has one slot.
TEST(SimdTargets, DispatchSlotAgreesWithHighway) {
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
    EXPECT_EQ(DispatchIndex(-1, HWY_TARGETS), hwy::GetChosenTarget().GetIndex());
    const std::int64_t best = ChooseTarget(-1, HWY_TARGETS);
    EXPECT_NE(best & hwy::SupportedTargets() & HWY_TARGETS, 0);
    EXPECT_EQ(ChooseTarget(best, HWY_TARGETS), best);
    const std::int64_t fallback = HWY_TARGETS & (HWY_EMU128 | HWY_SCALAR);
    if (fallback != 0) {
        EXPECT_EQ(ChooseTarget(0, HWY_TARGETS), fallback & -fallback);
        EXPECT_EQ(DispatchIndex(0, HWY_TARGETS), DispatchIndex(~HWY_TARGETS, HWY_TARGETS));
        EXPECT_EQ(DispatchIndex(0, HWY_TARGETS), static_cast<std::size_t>(HWY_MAX_DYNAMIC_TARGETS + 1));
    }
    EXPECT_EQ(DispatchIndex(-1, HWY_AVX2), 0u);
}
