// ConvertSurface: the filter word, the failure codes and each strategy's defined results.
#include <gtest/gtest.h>

#include <cmath>

#include "image/convert.h"
#include "image/filter_weights.h"
#include "test_codec_util.h"

using testutil::Surface;
using tolvane::pixels::BuildLinearWeights;
using tolvane::pixels::FilterWeights;
using tolvane::pixels::LinearWeight;
using tolvane::pixels::WeightPair;

namespace {

std::vector<std::pair<int, float>> Entry(const FilterWeights::Cursor& c) {
    std::vector<std::pair<int, float>> v;
    for (UINT k = 0; k < c.Count(); ++k) v.emplace_back(c.Pairs()[k].Index, c.Pairs()[k].Weight);
    return v;
}

using Pairs = std::vector<std::pair<int, float>>;

}  // namespace

TEST(ConvertSurface, FilterWordIsChecked) {
    Surface a(D3DFMT_A8R8G8B8, 2, 2), b(D3DFMT_A8R8G8B8, 2, 2);
    for (DWORD bad : {0u, 6u, 0x100005u, 0x105u, 0x80000000u | FILTER_BOX, 0xFFu}) {
        SurfaceDesc d = a.Desc(), s = b.Desc();
        EXPECT_EQ(ConvertSurface(&d, &s, bad), D3DERR_INVALIDCALL) << std::hex << bad;
    }
    for (DWORD good : {FILTER_NONE, FILTER_BOX | FILTER_MIRROR | FILTER_DITHER, FILTER_TRIANGLE | 0x0000FF00u}) {
        SurfaceDesc d = a.Desc(), s = b.Desc();
        // Bits 8-15 belong to the low word, which must be 1 to 5 as a whole.
        const HRESULT expected = (good & 0xFF00u) != 0 ? D3DERR_INVALIDCALL : S_OK;
        EXPECT_EQ(ConvertSurface(&d, &s, good), expected) << std::hex << good;
    }
}

TEST(ConvertSurface, DitherFlagReachesDestination) {
    Surface a(D3DFMT_A8R8G8B8, 2, 2), b(D3DFMT_A8R8G8B8, 2, 2);
    SurfaceDesc d = a.Desc(), s = b.Desc();
    d.Dither = 7;
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_POINT), S_OK);
    EXPECT_EQ(d.Dither, 0u);
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_POINT | FILTER_DITHER), S_OK);
    EXPECT_EQ(d.Dither, FILTER_DITHER);
}

TEST(ConvertSurface, ClassMismatchAndMissingCodecFail) {
    Surface v(D3DFMT_V8U8, 4, 4), x(D3DFMT_X8R8G8B8, 4, 4), z(D3DFMT_D16, 4, 4);
    SurfaceDesc d = x.Desc(), s = v.Desc();
    EXPECT_EQ(ConvertSurface(&d, &s, FILTER_NONE), E_FAIL);
    SurfaceDesc dz = z.Desc();
    EXPECT_EQ(ConvertSurface(&dz, &d, FILTER_NONE), E_FAIL);
    // Signed formats do convert among themselves, but only by strategies 1 to 4.
    Surface q(D3DFMT_Q8W8V8U8, 2, 2);
    SurfaceDesc dq = q.Desc();
    EXPECT_EQ(ConvertSurface(&dq, &s, FILTER_POINT), S_OK);
    EXPECT_EQ(ConvertSurface(&dq, &s, FILTER_BOX), E_FAIL);
    EXPECT_EQ(ConvertSurface(&dq, &s, FILTER_TRIANGLE), E_FAIL);
}

TEST(ConvertSurface, RegionOutsideWholeIsRefusedUntouched) {
    Surface dst(D3DFMT_A8R8G8B8, 4, 4), src(D3DFMT_A8R8G8B8, 4, 4);
    src.Set32(0, 0, 0xFFFFFFFF);
    SurfaceDesc s = src.Desc();
    for (D3DBOX bad : {D3DBOX{0, 0, 5, 4, 0, 1}, D3DBOX{2, 0, 1, 4, 0, 1}, D3DBOX{0, 3, 4, 2, 0, 1},
                       D3DBOX{0, 0, 4, 4, 0, 2}, D3DBOX{0, 0, 4, 4, 1, 0}}) {
        SurfaceDesc d = dst.DescOf(bad);
        d.Dither = 5;
        EXPECT_EQ(ConvertSurface(&d, &s, FILTER_POINT), D3DERR_INVALIDCALL);
        EXPECT_EQ(d.Dither, 5u);
        EXPECT_EQ(dst.Get32(0, 0), 0u);
    }
    // A source region that is not ordered is refused even without a whole box.
    SurfaceDesc d = dst.Desc();
    s.Whole = {};
    s.Region = {3, 0, 1, 4, 0, 1};
    EXPECT_EQ(ConvertSurface(&d, &s, FILTER_TRIANGLE), D3DERR_INVALIDCALL);
    // Coordinates near 2^32 would wrap when widened to whole pairs or blocks.
    for (D3DFORMAT f : {D3DFMT_YUY2, D3DFMT_DXT1, D3DFMT_A8R8G8B8}) {
        SurfaceDesc far = s;
        far.Format = f;
        far.Region = {0xFFFFFFF0u, 0, 0xFFFFFFFDu, 4, 0, 1};
        EXPECT_EQ(ConvertSurface(&d, &far, FILTER_POINT), D3DERR_INVALIDCALL) << f;
    }
    // Resampling an empty source into a non-empty destination has no result.
    s.Region = {1, 0, 1, 4, 0, 1};
    EXPECT_EQ(ConvertSurface(&d, &s, FILTER_POINT), D3DERR_INVALIDCALL);
    EXPECT_EQ(ConvertSurface(&d, &s, FILTER_NONE), S_OK);  // clears
}

TEST(ConvertSurface, RawCopyMovesBytesSameSizeConverts) {
    Surface src(D3DFMT_X8R8G8B8, 3, 2), dst(D3DFMT_X8R8G8B8, 3, 2);
    src.Set32(1, 1, 0xAB123456);  // the X byte survives only a raw copy
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_TRIANGLE), S_OK);
    EXPECT_EQ(dst.Get32(1, 1), 0xAB123456u);
    // A colour key rules the raw copy out: the row goes through Color.
    s.ColorKey = 0xFF000000;
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_TRIANGLE), S_OK);
    EXPECT_EQ(dst.Get32(1, 1), 0x00123456u);
    EXPECT_TRUE(dst.GuardsIntact());
}

TEST(ConvertSurface, PaletteRawCopyNeedsEqualPalettes) {
    PALETTEENTRY p1[256] = {}, p2[256] = {};
    for (int i = 0; i < 256; ++i) {
        p1[i] = {static_cast<BYTE>(i), 0, 0, 255};
        p2[i] = {static_cast<BYTE>(255 - i), 0, 0, 255};
    }
    Surface src(D3DFMT_P8, 2, 1), dst(D3DFMT_P8, 2, 1);
    src.Row(0)[0] = 10;
    src.Row(0)[1] = 200;
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    s.Palette = p1;
    d.Palette = p1;
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_NONE), S_OK);
    EXPECT_EQ(dst.Row(0)[0], 10);
    d.Palette = p2;  // the colour is kept, so the index changes
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_NONE), S_OK);
    EXPECT_EQ(dst.Row(0)[0], 245);
    EXPECT_EQ(dst.Row(0)[1], 55);
}

TEST(ConvertSurface, BoxIntegerPathRoundsEachField) {
    Surface src(D3DFMT_X8R8G8B8, 256, 256), dst(D3DFMT_X8R8G8B8, 128, 128);
    src.Set32(1, 0, 0x00000001);
    src.Set32(0, 1, 0x00000001);
    src.Set32(1, 1, 0x00000001);
    src.Set32(2, 0, 0xFF0000FF);  // X byte of the source is ignored
    src.Set32(3, 0, 0x00010203);
    src.Set32(2, 1, 0x00010203);
    src.Set32(3, 1, 0x00010203);
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_BOX), S_OK);
    EXPECT_EQ(dst.Get32(0, 0), 0x00000001u);  // (0 + 1 + 1 + 1 + 2) / 4 = 1
    // Blue (255 + 3 x 3 + 2) / 4 = 66; green (3 x 2 + 2) / 4 = 2; red (3 + 2) / 4 = 1.
    EXPECT_EQ(dst.Get32(1, 0), 0x00010242u);

    // With the dither flag the same pixels go through floats: 0.75 + the dither offset
    // truncates to 1 where the offset is at least 0.25 and to 0 where it is 0.03125.
    SurfaceDesc dd = dst.Desc();
    ASSERT_EQ(ConvertSurface(&dd, &s, FILTER_BOX | FILTER_DITHER), S_OK);
    EXPECT_EQ(dst.Get32(0, 0), 0x00000001u);  // offset 0.96875
    src.Set32(0, 6, 0);
    src.Set32(1, 6, 1);
    src.Set32(0, 7, 1);
    src.Set32(1, 7, 1);
    ASSERT_EQ(ConvertSurface(&dd, &s, FILTER_BOX | FILTER_DITHER), S_OK);
    EXPECT_EQ(dst.Get32(0, 3), 0x00000000u);  // row 3, offset 0.03125
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_BOX), S_OK);
    EXPECT_EQ(dst.Get32(0, 3), 0x00000001u);
}

TEST(ConvertSurface, BoxIntegerPathPackedFields) {
    // R5G6B5: fields averaged apart, no carries between them.
    Surface src(D3DFMT_R5G6B5, 2, 2), dst(D3DFMT_R5G6B5, 1, 1);
    src.Set16(0, 0, 0xFFFF);
    src.Set16(1, 0, 0xFFFF);
    src.Set16(0, 1, 0x0000);
    src.Set16(1, 1, 0x0821);  // 1 in each field
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_BOX), S_OK);
    // red (31 + 31 + 0 + 1 + 2) / 4 = 16, green (63 + 63 + 1 + 2) / 4 = 32, blue 16.
    EXPECT_EQ(dst.Get16(0, 0), (16 << 11) | (32 << 5) | 16);

    // A4L4 with both nibbles.
    Surface a(D3DFMT_A4L4, 2, 2), b(D3DFMT_A4L4, 1, 1);
    a.Row(0)[0] = 0xF1;
    a.Row(0)[1] = 0xF2;
    a.Row(1)[0] = 0x03;
    a.Row(1)[1] = 0x04;
    SurfaceDesc da = b.Desc(), sa = a.Desc();
    ASSERT_EQ(ConvertSurface(&da, &sa, FILTER_BOX), S_OK);
    EXPECT_EQ(b.Row(0)[0], (8 << 4) | 3);  // alpha (30 + 2) / 4, luminance (10 + 2) / 4
}

TEST(ConvertSurface, BoxThreeByThreeToOneUsesTopLeftQuad) {
    Surface src(D3DFMT_X8R8G8B8, 3, 3), dst(D3DFMT_X8R8G8B8, 1, 1);
    for (UINT y = 0; y < 3; ++y)
        for (UINT x = 0; x < 3; ++x) src.Set32(x, y, 0x00FAFAFA);
    src.Set32(0, 0, 10);
    src.Set32(1, 0, 20);
    src.Set32(0, 1, 30);
    src.Set32(1, 1, 40);
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_BOX), S_OK);
    EXPECT_EQ(dst.Get32(0, 0), 25u);  // only blue varies: (10 + 20 + 30 + 40) / 4
}

TEST(ConvertSurface, BoxOnNonHalvingSizesFallsToTriangle) {
    Surface src(D3DFMT_A8R8G8B8, 3, 5), box(D3DFMT_A8R8G8B8, 2, 2), tri(D3DFMT_A8R8G8B8, 2, 2);
    for (UINT y = 0; y < 5; ++y)
        for (UINT x = 0; x < 3; ++x) src.Set32(x, y, 0x10203040u * (x + 3 * y + 1));
    SurfaceDesc s = src.Desc(), db = box.Desc(), dt = tri.Desc();
    ASSERT_EQ(ConvertSurface(&db, &s, FILTER_BOX), S_OK);
    ASSERT_EQ(ConvertSurface(&dt, &s, FILTER_TRIANGLE), S_OK);
    EXPECT_EQ(std::memcmp(box.Data(), tri.Data(), 16), 0);
}

TEST(ConvertSurface, FilterNoneCopiesOverlapAndClears) {
    Surface src(D3DFMT_A8R8G8B8, 2, 2), dst(D3DFMT_A8R8G8B8, 4, 4);
    for (UINT y = 0; y < 2; ++y)
        for (UINT x = 0; x < 2; ++x) src.Set32(x, y, 0x80402010u + x + 2 * y);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x) dst.Set32(x, y, 0xDEADBEEF);
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_NONE), S_OK);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x)
            EXPECT_EQ(dst.Get32(x, y), x < 2 && y < 2 ? 0x80402010u + x + 2 * y : 0u) << x << "," << y;
}

TEST(ConvertSurface, PointStepsAreFixedPoint) {
    Surface src(D3DFMT_L8, 3, 1), dst(D3DFMT_L8, 2, 1);
    src.Row(0)[0] = 10;
    src.Row(0)[1] = 20;
    src.Row(0)[2] = 30;
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_POINT), S_OK);  // step 98304: columns 0 and 1
    EXPECT_EQ(dst.Row(0)[0], 10);
    EXPECT_EQ(dst.Row(0)[1], 20);
    // 2 to 5: step 26214, columns floor(x x 26214 / 65536) = 0, 0, 0, 1, 1.
    Surface up(D3DFMT_L8, 5, 3);
    SurfaceDesc du = up.Desc();
    s.Region = {0, 0, 2, 1, 0, 1};
    ASSERT_EQ(ConvertSurface(&du, &s, FILTER_POINT), S_OK);
    const std::uint8_t expected[5] = {10, 10, 10, 20, 20};
    for (UINT y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(up.Row(y)[x], expected[x]) << x;
}

TEST(ConvertSurface, PointStepsDoNotOverflowOnWideRows) {
    // 70000 x 65536 does not fit 32 bits.
    Surface src(D3DFMT_L8, 70000, 1), dst(D3DFMT_L8, 3, 1);
    src.Row(0)[0] = 1;
    src.Row(0)[23333] = 2;
    src.Row(0)[46666] = 3;
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_POINT), S_OK);
    EXPECT_EQ(dst.Row(0)[0], 1);
    EXPECT_EQ(dst.Row(0)[1], 2);
    EXPECT_EQ(dst.Row(0)[2], 3);
}

TEST(FilterWeights, TriangleFourToTwoMirrored) {
    FilterWeights w;
    ASSERT_TRUE(w.Build(4, 2, true));
    FilterWeights::Cursor c = w.First();
    EXPECT_EQ(Entry(c), (Pairs{{0, 0.5f}}));
    c.Next();
    EXPECT_EQ(Entry(c), (Pairs{{0, 0.4375f}, {1, 0.0625f}}));
    c.Next();
    EXPECT_EQ(Entry(c), (Pairs{{0, 0.0625f}, {1, 0.4375f}}));
    c.Next();
    EXPECT_EQ(Entry(c), (Pairs{{1, 0.5f}}));
}

TEST(FilterWeights, TriangleFourToTwoWrapped) {
    FilterWeights w;
    ASSERT_TRUE(w.Build(4, 2, false));
    FilterWeights::Cursor c = w.First();
    EXPECT_EQ(Entry(c), (Pairs{{1, 0.0625f}, {0, 0.4375f}}));
    c.Next();
    EXPECT_EQ(Entry(c), (Pairs{{0, 0.4375f}, {1, 0.0625f}}));
    c.Next();
    EXPECT_EQ(Entry(c), (Pairs{{0, 0.0625f}, {1, 0.4375f}}));
    c.Next();
    EXPECT_EQ(Entry(c), (Pairs{{1, 0.4375f}, {0, 0.0625f}}));
    // The block: total length, then per entry its length and 8 bytes per pair.
    EXPECT_EQ(w.TotalBytes(), 4u + 4 * 4 + 8 * 8);
}

TEST(FilterWeights, EveryDestinationSumsToOne) {
    for (bool mirror : {false, true}) {
        for (UINT n : {1u, 2u, 3u, 5u, 7u, 16u, 100u}) {
            for (UINT m : {1u, 2u, 3u, 4u, 9u, 33u, 64u}) {
                FilterWeights w;
                ASSERT_TRUE(w.Build(n, m, mirror));
                std::vector<double> sum(m, 0.0);
                FilterWeights::Cursor c = w.First();
                for (UINT j = 0; j < n; ++j, c.Next())
                    for (const auto& [i, weight] : Entry(c)) {
                        ASSERT_GE(i, 0);
                        ASSERT_LT(i, static_cast<int>(m));
                        sum[static_cast<std::size_t>(i)] += weight;
                    }
                for (UINT i = 0; i < m; ++i) EXPECT_NEAR(sum[i], 1.0, 1e-4) << n << "->" << m << " mirror " << mirror;
            }
        }
    }
}

TEST(FilterWeights, LinearFourToTwo) {
    LinearWeight w[2];
    BuildLinearWeights(4, 2, false, w);
    // Destination 0 sits at source 0.5: halfway between sample 0 and the wrapped sample 3.
    EXPECT_EQ(w[0].Index0, 3u);
    EXPECT_EQ(w[0].Index1, 0u);
    EXPECT_EQ(w[0].Weight0, 0.5f);
    EXPECT_EQ(w[0].Weight1, 0.5f);
    EXPECT_EQ(w[1].Index0, 1u);
    EXPECT_EQ(w[1].Index1, 2u);
    BuildLinearWeights(4, 2, true, w);
    EXPECT_EQ(w[0].Index0, 0u);
    EXPECT_EQ(w[0].Index1, 0u);
    // Upsampling 2 to 8 with wrap: the last destination reaches past the end to sample 0.
    LinearWeight u[8];
    BuildLinearWeights(2, 8, false, u);
    EXPECT_EQ(u[7].Index0, 1u);
    EXPECT_EQ(u[7].Index1, 0u);
    EXPECT_EQ(u[7].Weight0, 0.75f);  // x = 7 x 0.25 - 0.5 = 1.25
    EXPECT_EQ(u[7].Weight1, 0.25f);
}

TEST(ConvertSurface, LinearFilterBlendsWithWrapOrMirror) {
    Surface src(D3DFMT_L8, 4, 1), dst(D3DFMT_L8, 2, 1);
    const std::uint8_t v[4] = {100, 0, 0, 200};
    std::memcpy(src.Row(0), v, 4);
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_LINEAR), S_OK);
    EXPECT_EQ(dst.Row(0)[0], 150);  // half of 200 (wrapped) and half of 100
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_LINEAR | FILTER_MIRROR_U), S_OK);
    EXPECT_EQ(dst.Row(0)[0], 100);
    EXPECT_EQ(dst.Row(0)[1], 0);
}

TEST(ConvertSurface, TriangleKeepsFlatColourAndAveragesRows) {
    Surface src(D3DFMT_A8R8G8B8, 8, 8), dst(D3DFMT_A8R8G8B8, 3, 5);
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x) src.Set32(x, y, 0x80604020);
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_TRIANGLE | FILTER_MIRROR), S_OK);
    for (UINT y = 0; y < 5; ++y)
        for (UINT x = 0; x < 3; ++x) EXPECT_EQ(dst.Get32(x, y), 0x80604020u) << x << "," << y;
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_TRIANGLE), S_OK);
    for (UINT y = 0; y < 5; ++y)
        for (UINT x = 0; x < 3; ++x) EXPECT_EQ(dst.Get32(x, y), 0x80604020u) << x << "," << y;
    // Four rows to two, mirrored: destination 0 = 0.5 x row 0 + 0.4375 x row 1 + 0.0625 x row 2.
    Surface col(D3DFMT_L8, 1, 4), out(D3DFMT_L8, 1, 2);
    const std::uint8_t v[4] = {0, 160, 32, 255};
    for (UINT y = 0; y < 4; ++y) col.Row(y)[0] = v[y];
    SurfaceDesc dc = out.Desc(), sc = col.Desc();
    ASSERT_EQ(ConvertSurface(&dc, &sc, FILTER_TRIANGLE | FILTER_MIRROR), S_OK);
    EXPECT_EQ(out.Row(0)[0], 72);   // 70 + 2 = 72, + 0.5 truncated
    EXPECT_EQ(out.Row(1)[0], 151);  // 10 + 14 + 127.5 = 151.5, + 0.5 -> 152 minus float error
}

TEST(ConvertSurface, VolumeFilters) {
    Surface src(D3DFMT_A8R8G8B8, 4, 4, 4), dst(D3DFMT_A8R8G8B8, 2, 2, 2);
    for (UINT z = 0; z < 4; ++z)
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x) src.Set32(x, y, z < 2 ? 0x40404040u : 0x80808080u, z);
    SurfaceDesc d = dst.Desc(), s = src.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_BOX), S_OK);
    EXPECT_EQ(dst.Get32(1, 1, 0), 0x40404040u);
    EXPECT_EQ(dst.Get32(1, 1, 1), 0x80808080u);
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_TRIANGLE | FILTER_MIRROR), S_OK);
    EXPECT_EQ(dst.Get32(0, 0, 0), 0x44444444u);  // 0.9375 x 64 + 0.0625 x 128
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_LINEAR | FILTER_MIRROR), S_OK);
    EXPECT_EQ(dst.Get32(0, 0, 0), 0x40404040u);  // slice 0 twice (mirrored edge)
    EXPECT_EQ(dst.Get32(0, 0, 1), 0x60606060u);  // slices 1 and 2 at a half each
    EXPECT_TRUE(dst.GuardsIntact());
}

// CheckConversion answers what ConvertSurface does, by the same tests, over pairs of
// formats of every class, every filter type (and a bad one), halving, equal, odd and empty
// regions; it writes nothing.
TEST(ConvertSurface, CheckConversionAgreesWithTheConversion) {
    const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_L8, D3DFMT_P8, D3DFMT_V8U8, D3DFMT_DXT1, D3DFMT_YUY2};
    const D3DBOX sources[] = {{0, 0, 8, 8, 0, 1}, {0, 0, 0, 0, 0, 1}, {2, 2, 5, 4, 0, 1}};
    const D3DBOX destinations[] = {{0, 0, 8, 8, 0, 1}, {0, 0, 4, 4, 0, 1}, {0, 0, 6, 2, 0, 1}, {0, 0, 0, 8, 0, 1}};
    int refusals = 0;
    for (D3DFORMAT from : formats) {
        for (D3DFORMAT to : formats) {
            for (DWORD filter = FILTER_NONE; filter <= FILTER_BOX + 1; ++filter) {
                for (const D3DBOX& s : sources) {
                    for (const D3DBOX& d : destinations) {
                        Surface source(from, 8, 8), destination(to, 8, 8);
                        SurfaceDesc sd = source.DescOf(s), dd = destination.DescOf(d);
                        const std::vector<std::uint8_t> before = destination.bytes;
                        const HRESULT checked = CheckConversion(&dd, &sd, filter);
                        ASSERT_EQ(destination.bytes, before);
                        const HRESULT converted = ConvertSurface(&dd, &sd, filter);
                        ASSERT_EQ(checked, converted) << from << " to " << to << ", filter " << filter << ", "
                                                      << s.Right - s.Left << "x" << s.Bottom - s.Top << " to "
                                                      << d.Right - d.Left << "x" << d.Bottom - d.Top;
                        refusals += FAILED(checked);
                    }
                }
            }
        }
    }
    EXPECT_GT(refusals, 0);
}
