// ConvertSurface over random formats, sizes, regions and filters: every access stays
// inside the surfaces (guard bytes here; the asan preset checks reads too), the source is
// never written, and the destination changes only inside its region (widened to whole
// pairs for YUV and whole blocks for DXT).
#include <gtest/gtest.h>

#include <random>

#include "test_codec_util.h"

using testutil::Surface;

namespace {

const D3DFORMAT kFormats[] = {
    D3DFMT_R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
    D3DFMT_A4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8, D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4, D3DFMT_A8P8, D3DFMT_P8,
    D3DFMT_L8, D3DFMT_A8L8, D3DFMT_A4L4, D3DFMT_V8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8,
    D3DFMT_V16U16, D3DFMT_W11V11U10, D3DFMT_UYVY, D3DFMT_YUY2, D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3,
    D3DFMT_DXT4, D3DFMT_DXT5};

bool IsSigned(D3DFORMAT f) { return f >= D3DFMT_V8U8 && f <= D3DFMT_W11V11U10; }

D3DBOX RandomRegion(std::mt19937& rng, UINT w, UINT h, UINT d) {
    auto span = [&](UINT n, UINT& lo, UINT& hi) {
        lo = rng() % n;
        hi = lo + 1 + rng() % (n - lo);
        if (rng() % 4 == 0) {
            lo = 0;
            hi = n;
        }
    };
    D3DBOX b;
    span(w, b.Left, b.Right);
    span(h, b.Top, b.Bottom);
    span(d, b.Front, b.Back);
    return b;
}

// True when the byte at (offset within slice data) may change: inside the region, widened
// to the format's unit.
bool MayChange(const Surface& s, const D3DBOX& r, std::size_t offset) {
    const std::size_t slice = offset / s.slicePitch;
    const std::size_t inSlice = offset % s.slicePitch;
    const std::size_t row = inSlice / s.rowPitch;
    const std::size_t col = inSlice % s.rowPitch;
    if (slice < r.Front || slice >= r.Back) return false;
    if (testutil::IsDxt(s.format)) {
        const std::size_t blockBytes = testutil::FactsOf(s.format).BlockBytes;
        const std::size_t bx = col / blockBytes;
        return row >= r.Top / 4 && row < (r.Bottom + 3) / 4 && bx >= r.Left / 4 && bx < (r.Right + 3) / 4;
    }
    if (row < r.Top || row >= r.Bottom) return false;
    if (testutil::FactsOf(s.format).Kind == tolvane::pixels::CodecKind::Yuv) {
        const std::size_t pair = col / 4;
        return pair >= r.Left / 2 && pair < (r.Right + 1) / 2;
    }
    const std::size_t bytes = testutil::FactsOf(s.format).BlockBytes;
    return col / bytes >= r.Left && col / bytes < r.Right;
}

}  // namespace

TEST(ConvertSurfaceRandom, StaysInsideRegions) {
    std::mt19937 rng(20261209);
    PALETTEENTRY palette[256];
    for (PALETTEENTRY& e : palette) e = {static_cast<BYTE>(rng()), static_cast<BYTE>(rng()), static_cast<BYTE>(rng()), static_cast<BYTE>(rng())};
    int converted = 0;
    for (int n = 0; n < 4000; ++n) {
        const D3DFORMAT sf = kFormats[rng() % std::size(kFormats)];
        const D3DFORMAT df = kFormats[rng() % std::size(kFormats)];
        const bool volume = rng() % 6 == 0;
        const UINT sw = 1 + rng() % 13, sh = 1 + rng() % 13, sd = volume ? 1 + rng() % 4 : 1;
        const UINT dw = 1 + rng() % 13, dh = 1 + rng() % 13, dd = volume ? 1 + rng() % 4 : 1;
        Surface src(sf, sw, sh, sd, rng() % 5), dst(df, dw, dh, dd, rng() % 5);
        for (std::size_t i = 0; i < static_cast<std::size_t>(src.slicePitch) * sd; ++i) src.Data()[i] = static_cast<std::uint8_t>(rng());
        for (std::size_t i = 0; i < static_cast<std::size_t>(dst.slicePitch) * dd; ++i) dst.Data()[i] = static_cast<std::uint8_t>(rng());
        const std::vector<std::uint8_t> srcBefore = src.bytes, dstBefore = dst.bytes;
        SurfaceDesc s = src.DescOf(RandomRegion(rng, sw, sh, sd));
        SurfaceDesc d = dst.DescOf(RandomRegion(rng, dw, dh, dd));
        if (sd > 1) s.SlicePitch = src.slicePitch;
        if (dd > 1) d.SlicePitch = dst.slicePitch;
        if (rng() % 2) s.Whole = {};  // callers need not describe the source's whole surface
        if (rng() % 3 == 0) s.Palette = palette;
        if (rng() % 3 == 0) d.Palette = palette;
        if (rng() % 4 == 0) s.ColorKey = 0xFF000000u | (rng() & 0xFFFFFFu);
        DWORD filter = 1 + rng() % 5;
        if (rng() % 2) filter |= FILTER_DITHER;
        filter |= (rng() % 8) << 16;
        const HRESULT hr = ConvertSurface(&d, &s, filter);
        const std::string what = "case " + std::to_string(n) + ": " + std::to_string(sf) + " " + std::to_string(sw) + "x" +
                                 std::to_string(sh) + "x" + std::to_string(sd) + " -> " + std::to_string(df) + " " +
                                 std::to_string(dw) + "x" + std::to_string(dh) + "x" + std::to_string(dd) +
                                 " filter " + std::to_string(filter);
        if (hr == S_OK) {
            ++converted;
        } else {
            ASSERT_EQ(hr, E_FAIL) << what;
            // Only a class mismatch or a resampling filter on signed formats may fail.
            ASSERT_TRUE(IsSigned(sf) != IsSigned(df) || IsSigned(sf)) << what;
        }
        ASSERT_TRUE(src.GuardsIntact()) << what;
        ASSERT_TRUE(dst.GuardsIntact()) << what;
        ASSERT_EQ(src.bytes, srcBefore) << what << ": the source was written";
        for (std::size_t i = 0; i < static_cast<std::size_t>(dst.slicePitch) * dd; ++i) {
            if (dst.Data()[i] != dstBefore[testutil::kGuardBytes + i]) {
                ASSERT_TRUE(MayChange(dst, d.Region, i)) << what << ": byte " << i << " outside the region changed";
            }
        }
    }
    EXPECT_GT(converted, 2500);
}
