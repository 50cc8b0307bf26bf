// The fast filter kernels on every vector target against their plain twins: the same bits
// for every width.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/filter_kernels.h"
#include "test_codec_util.h"

using namespace tolvane::pixels;

namespace {

std::vector<std::int64_t> KernelTargets() {
    std::vector<std::int64_t> targets;
    for (std::int64_t left = FilterKernelTargets(); left != 0; left &= left - 1) targets.push_back(left & -left);
    return targets;
}

class FilterKernels : public testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override {
        if ((hwy::SupportedTargets() & GetParam()) == 0)
            GTEST_SKIP() << hwy::TargetName(GetParam()) << ": this processor lacks it";
    }
};

}  // namespace

TEST_P(FilterKernels, BoxHalveIntegerMatchesReference) {
    std::mt19937 rng(4);
    const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                                 D3DFMT_A4R4G4B4, D3DFMT_R3G3B2,   D3DFMT_A8,     D3DFMT_L8,       D3DFMT_A8R3G3B2,
                                 D3DFMT_X4R4G4B4, D3DFMT_A8L8,     D3DFMT_A4L4};
    for (D3DFORMAT f : formats) {
        ASSERT_TRUE(BoxHalveIntegerSupported(f));
        for (std::size_t width : {1u, 3u, 4u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 33u, 100u}) {
            std::vector<std::uint8_t> r0(width * 8), r1(width * 8), fast(width * 4 + 8, 0x5A), ref(width * 4 + 8, 0x5A);
            for (auto& b : r0) b = static_cast<std::uint8_t>(rng());
            for (auto& b : r1) b = static_cast<std::uint8_t>(rng());
            BoxHalveIntegerRow(f, r0.data(), r1.data(), fast.data(), width, GetParam());
            BoxHalveIntegerRowRef(f, r0.data(), r1.data(), ref.data(), width);
            ASSERT_EQ(fast, ref) << testutil::NameOf(f) << " width " << width;
        }
    }
    // Every combination of the bytes at the ends of the range, where sums and parities meet
    // the limits of byte arithmetic, in each byte of the pixel.
    const std::uint8_t ends[8] = {0, 1, 2, 127, 128, 253, 254, 255};
    std::vector<std::uint8_t> r0(8 * 1024), r1(8 * 1024), fast(4 * 1024), ref(4 * 1024);
    for (std::size_t k = 0; k < 4096; ++k) {
        const std::size_t x = k / 4, c = k % 4;
        r0[8 * x + c] = ends[k & 7];
        r0[8 * x + 4 + c] = ends[(k >> 3) & 7];
        r1[8 * x + c] = ends[(k >> 6) & 7];
        r1[8 * x + 4 + c] = ends[(k >> 9) & 7];
    }
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) {
        BoxHalveIntegerRow(f, r0.data(), r1.data(), fast.data(), 1024, GetParam());
        BoxHalveIntegerRowRef(f, r0.data(), r1.data(), ref.data(), 1024);
        ASSERT_EQ(fast, ref) << testutil::NameOf(f);
    }
    EXPECT_FALSE(BoxHalveIntegerSupported(D3DFMT_R8G8B8));
    EXPECT_FALSE(BoxHalveIntegerSupported(D3DFMT_P8));
}

TEST(FilterKernelSums, BoxHalveIntegerFieldSums) {
    // Per byte (a + b + c + d + 2) / 4: 255, 255, 255, 254 -> 255; 0, 0, 1, 1 -> 1; 0, 0, 0, 1 -> 0.
    const std::uint32_t row0[16] = {0xFF000000u, 0xFF000000u, 0x00FF0100u, 0x00FF0000u};
    const std::uint32_t row1[16] = {0xFF000001u, 0xFE000001u, 0x00FF0100u, 0x00FF0000u};
    std::uint32_t out[8] = {};
    BoxHalveIntegerRow(D3DFMT_A8R8G8B8, reinterpret_cast<const std::uint8_t*>(row0),
                       reinterpret_cast<const std::uint8_t*>(row1), reinterpret_cast<std::uint8_t*>(out), 8);
    EXPECT_EQ(out[0], 0xFF000001u);
    EXPECT_EQ(out[1], 0x00FF0100u);
}

TEST_P(FilterKernels, FloatKernelsMatchReference) {
    std::mt19937 rng(6);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (std::size_t width : {1u, 2u, 5u, 64u}) {
        std::vector<Color> s0(2 * width), s1(2 * width), fast(width), ref(width);
        for (Color& c : s0) c = {u(rng), u(rng), u(rng), u(rng)};
        for (Color& c : s1) c = {u(rng), u(rng), u(rng), u(rng)};
        for (unsigned second : {0u, 1u}) {
            BoxAverageRow(s0.data(), s1.data(), second, fast.data(), width, GetParam());
            BoxAverageRowRef(s0.data(), s1.data(), second, ref.data(), width);
            ASSERT_EQ(std::memcmp(fast.data(), ref.data(), width * sizeof(Color)), 0);
        }
        std::vector<ColumnTap> taps;
        for (std::uint32_t x = 0; x < 2 * width; ++x) {
            taps.push_back({x, x / 2, u(rng)});
            taps.push_back({x, static_cast<std::uint32_t>((x / 2 + 1) % width), u(rng)});
        }
        std::vector<Color> a(width, Color{0.1f, 0.2f, 0.3f, 0.4f}), b = a;
        ScatterRow(s0.data(), taps.data(), taps.size(), 0.37f, a.data(), GetParam());
        ScatterRowRef(s0.data(), taps.data(), taps.size(), 0.37f, b.data());
        ASSERT_EQ(std::memcmp(a.data(), b.data(), width * sizeof(Color)), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Compiled, FilterKernels, testing::ValuesIn(KernelTargets()),
                         [](const testing::TestParamInfo<std::int64_t>& info) { return hwy::TargetName(info.param); });
