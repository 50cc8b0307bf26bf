// Pixel codecs: the per-format reads and writes, dithering, colour keys, palettes and YUV.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "image/pixel_codec.h"
#include "test_codec_util.h"

using testutil::CodecPtr;
using testutil::Surface;

namespace {

Color WriteReadback(D3DFORMAT format, const Color& c, DWORD dither = 0) {
    Surface s(format, 1, 1);
    SurfaceDesc d = s.Desc();
    d.Dither = dither;
    CodecPtr codec(CreatePixelCodec(d));
    codec->WriteRow(0, 0, &c);
    Color out{};
    codec->ReadRow(0, 0, &out);
    return out;
}

}  // namespace

TEST(PixelCodec, FactoryRefusesFormatsWithoutCodec) {
    std::uint8_t byte = 0;
    for (D3DFORMAT f : {D3DFMT_UNKNOWN, D3DFMT_D16, D3DFMT_D24S8, D3DFMT_INDEX16, static_cast<D3DFORMAT>(12345)}) {
        SurfaceDesc d;
        d.Data = &byte;
        d.Format = f;
        d.Region = {0, 0, 1, 1, 0, 1};
        EXPECT_EQ(CreatePixelCodec(d), nullptr) << f;
    }
}

TEST(PixelCodec, ClassesAndLinearFlag) {
    Surface s(D3DFMT_A8P8, 4, 4);
    SurfaceDesc d = s.Desc();
    CodecPtr pal(CreatePixelCodec(d));
    EXPECT_EQ(pal->Class, 1);
    EXPECT_TRUE(pal->HasPalette);
    EXPECT_TRUE(pal->Linear);
    EXPECT_EQ(pal->PaletteColors[17].r, 1.0f);  // no palette given: all (1, 1, 1, 1)

    Surface v(D3DFMT_V8U8, 4, 4);
    d = v.Desc();
    CodecPtr sgn(CreatePixelCodec(d));
    EXPECT_EQ(sgn->Class, 3);

    Surface y(D3DFMT_YUY2, 4, 4);
    d = y.Desc();
    CodecPtr yuv(CreatePixelCodec(d));
    EXPECT_EQ(yuv->Class, 1);
    EXPECT_FALSE(yuv->Linear);
}

TEST(PixelCodec, RegionMovesDataToFirstPixel) {
    Surface s(D3DFMT_R5G6B5, 8, 6, 1, 6);
    s.Set16(3, 2, 0xF800);  // pure red at (3, 2)
    SurfaceDesc d = s.DescOf({3, 2, 7, 5, 0, 1});
    CodecPtr codec(CreatePixelCodec(d));
    EXPECT_EQ(codec->Width, 4u);
    EXPECT_EQ(codec->Height, 3u);
    EXPECT_EQ(codec->Region.Left, 0u);
    EXPECT_EQ(codec->Region.Right, 4u);
    Color row[4];
    codec->ReadRow(0, 0, row);
    EXPECT_EQ(row[0].r, 1.0f);
    EXPECT_EQ(row[0].g, 0.0f);
    EXPECT_EQ(row[1].r, 0.0f);
}

TEST(PixelCodec, X8R8G8B8ReadsOpaqueAndWritesZeroTopByte) {
    Surface s(D3DFMT_X8R8G8B8, 1, 1);
    s.Set32(0, 0, 0x5A102030);
    SurfaceDesc d = s.Desc();
    CodecPtr codec(CreatePixelCodec(d));
    Color c{};
    codec->ReadRow(0, 0, &c);
    EXPECT_EQ(c.a, 1.0f);
    EXPECT_EQ(c.r, 0x10 * (1.0f / 255.0f));
    codec->WriteRow(0, 0, &c);
    EXPECT_EQ(s.Get32(0, 0), 0x00102030u);
}

TEST(PixelCodec, ReadScalesAreSinglePrecisionReciprocals) {
    // 1/255 in single precision is 0x3B808081.
    const float k = 1.0f / 255.0f;
    std::uint32_t bits;
    std::memcpy(&bits, &k, 4);
    EXPECT_EQ(bits, 0x3B808081u);
    Surface s(D3DFMT_A8R8G8B8, 1, 1);
    s.Set32(0, 0, 0x01FF7F00);
    SurfaceDesc d = s.Desc();
    CodecPtr codec(CreatePixelCodec(d));
    Color c{};
    codec->ReadRow(0, 0, &c);
    EXPECT_EQ(c.a, 1.0f * k);
    EXPECT_EQ(c.r, 255.0f * k);
    EXPECT_EQ(c.g, 127.0f * k);
    EXPECT_EQ(c.b, 0.0f);
}

TEST(PixelCodec, PlainRoundingIsHalfUp) {
    // 0.5 x 255 = 127.5, + 0.5 truncated = 128.
    Surface s(D3DFMT_A8R8G8B8, 1, 1);
    SurfaceDesc d = s.Desc();
    CodecPtr codec(CreatePixelCodec(d));
    const Color half{0.5f, 0.5f, 0.5f, 0.5f};
    codec->WriteRow(0, 0, &half);
    EXPECT_EQ(s.Get32(0, 0), 0x80808080u);
    // Just below a half stays down; 5-bit fields round the same way.
    EXPECT_EQ(WriteReadback(D3DFMT_R5G6B5, {16.4f / 31.0f, 0.0f, 15.6f / 31.0f, 1.0f}).r, 16.0f * (1.0f / 31.0f));
    EXPECT_EQ(WriteReadback(D3DFMT_R5G6B5, {16.4f / 31.0f, 0.0f, 15.6f / 31.0f, 1.0f}).b, 16.0f * (1.0f / 31.0f));
}

TEST(PixelCodec, OrderedDitherFollowsRowSliceAndColumn) {
    // 0.5 x 255 = 127.5 exactly: an offset of 0.5 or more reaches 128, less stays 127.
    // Offsets (m + 0.5) / 16: row 0 is m = 15, 7, 13, 5; row 1 is 3, 11, 1, 9.
    Surface s(D3DFMT_L8, 8, 2, 2);
    SurfaceDesc d = s.Desc();
    d.Dither = 1;
    CodecPtr codec(CreatePixelCodec(d));
    Color grey[8];
    for (Color& c : grey) c = {0.5f, 0.5f, 0.5f, 1.0f};
    for (UINT z = 0; z < 2; ++z)
        for (UINT y = 0; y < 2; ++y) codec->WriteRow(y, z, grey);
    const std::uint8_t row0[8] = {128, 127, 128, 127, 128, 127, 128, 127};
    const std::uint8_t row1[8] = {127, 128, 127, 128, 127, 128, 127, 128};
    const std::uint8_t row0Slice1[8] = {127, 128, 127, 128, 127, 128, 127, 128};  // shifted one column
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(s.Row(0, 0)[x], row0[x]) << x;
        EXPECT_EQ(s.Row(1, 0)[x], row1[x]) << x;
        EXPECT_EQ(s.Row(0, 1)[x], row0Slice1[x]) << x;
    }
    EXPECT_FLOAT_EQ(kOrderedDitherTable[0][0], 0.96875f);
    EXPECT_FLOAT_EQ(kOrderedDitherTable[0][3], 0.34375f);
    EXPECT_FLOAT_EQ(kOrderedDitherTable[3][0], 0.03125f);
}

TEST(PixelCodec, DitheredHalfAtOriginGives128) {
    Surface s(D3DFMT_A8R8G8B8, 1, 1);
    SurfaceDesc d = s.Desc();
    d.Dither = 1;
    CodecPtr codec(CreatePixelCodec(d));
    const Color half{0.5f, 0.5f, 0.5f, 0.5f};
    codec->WriteRow(0, 0, &half);
    EXPECT_EQ(s.Get32(0, 0), 0x80808080u);  // 127.5 + 0.96875 truncated
}

TEST(PixelCodec, SignedPacking) {
    Surface s(D3DFMT_V8U8, 2, 1);
    SurfaceDesc d = s.Desc();
    CodecPtr codec(CreatePixelCodec(d));
    const Color in[2] = {{-1.0f, 1.0f, 0.0f, 1.0f}, {0.5f, -0.5f, 0.0f, 1.0f}};
    codec->WriteRow(0, 0, in);
    // -1 x 128 + 0.5 = -127.5 truncates to -127 (0x81); 1 x 128 + 0.5 gives 128, whose low
    // byte is -128.
    EXPECT_EQ(s.Get16(0, 0), 0x8081);
    Color out[2];
    codec->ReadRow(0, 0, out);
    EXPECT_EQ(out[0].r, -127.0f / 128.0f);
    EXPECT_EQ(out[0].g, -1.0f);
    EXPECT_EQ(out[0].b, 0.0f);
    EXPECT_EQ(out[0].a, 1.0f);
    // 0.5 x 128 + 0.5 = 64.5 -> 64; -0.5 x 128 + 0.5 = -63.5 -> -63 (0xC1).
    EXPECT_EQ(s.Get16(1, 0), 0xC140);
}

TEST(PixelCodec, SignedFormatsFieldLayouts) {
    // L6V5U5: U and V five signed bits (/16), L six unsigned bits as alpha.
    Surface a(D3DFMT_L6V5U5, 1, 1);
    a.Set16(0, 0, static_cast<std::uint16_t>((63u << 10) | (0x10u << 5) | 0x0Fu));
    SurfaceDesc d = a.Desc();
    CodecPtr c1(CreatePixelCodec(d));
    Color c{};
    c1->ReadRow(0, 0, &c);
    EXPECT_EQ(c.r, 15.0f / 16.0f);
    EXPECT_EQ(c.g, -1.0f);
    EXPECT_EQ(c.a, 1.0f);
    c1->WriteRow(0, 0, &c);
    EXPECT_EQ(a.Get16(0, 0), (63u << 10) | (0x11u << 5) | 0x0Fu);  // -1 comes back as -15

    // W11V11U10: W is stored with its lowest bit cleared.
    Surface w(D3DFMT_W11V11U10, 1, 1);
    d = w.Desc();
    CodecPtr c2(CreatePixelCodec(d));
    const Color in{100.0f / 512.0f, -3.0f / 1024.0f, 301.0f / 1024.0f, 1.0f};
    c2->WriteRow(0, 0, &in);
    const std::uint32_t v = w.Get32(0, 0);
    EXPECT_EQ(v & 0x3FF, 100u);
    EXPECT_EQ((v >> 10) & 0x7FF, 0x7FEu);  // -3 + 0.5 truncates to -2
    EXPECT_EQ(v >> 21, 300u);
    Color out{};
    c2->ReadRow(0, 0, &out);
    EXPECT_EQ(out.b, 300.0f / 1024.0f);

    // Q8W8V8U8: all four signed, Q is alpha.
    Surface q(D3DFMT_Q8W8V8U8, 1, 1);
    q.Set32(0, 0, 0x80FF017F);
    d = q.Desc();
    CodecPtr c3(CreatePixelCodec(d));
    c3->ReadRow(0, 0, &out);
    EXPECT_EQ(out.r, 127.0f / 128.0f);
    EXPECT_EQ(out.g, 1.0f / 128.0f);
    EXPECT_EQ(out.b, -1.0f / 128.0f);
    EXPECT_EQ(out.a, -1.0f);
}

TEST(PixelCodec, LuminanceWritesLuma) {
    Surface s(D3DFMT_A8L8, 3, 1);
    SurfaceDesc d = s.Desc();
    CodecPtr codec(CreatePixelCodec(d));
    const Color in[3] = {{1.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.5f}};
    codec->WriteRow(0, 0, in);
    // 0.2125 x 255 = 54.19, 0.7154 x 255 = 182.43, 0.0721 x 255 = 18.39, each + 0.5 truncated.
    EXPECT_EQ(s.Get16(0, 0), 0xFF00 | 54);
    EXPECT_EQ(s.Get16(1, 0), 0x0000 | 182);
    EXPECT_EQ(s.Get16(2, 0), 0x8000 | 18);
    Color out[3];
    codec->ReadRow(0, 0, out);
    EXPECT_EQ(out[1].r, out[1].b);
    EXPECT_EQ(out[1].g, 182.0f / 255.0f);
}

TEST(PixelCodec, A8ReadsWhiteAndWritesAlphaOnly) {
    const Color c = WriteReadback(D3DFMT_A8, {0.1f, 0.2f, 0.3f, 0.4f});
    EXPECT_EQ(c.r, 1.0f);
    EXPECT_EQ(c.g, 1.0f);
    EXPECT_EQ(c.b, 1.0f);
    EXPECT_EQ(c.a, 102.0f * (1.0f / 255.0f));
}

TEST(PixelCodec, ColorKeyReplacesExactMatchesOnly) {
    Surface s(D3DFMT_R5G6B5, 3, 1);
    s.Set16(0, 0, 0xF81F);  // magenta
    s.Set16(1, 0, 0xF81E);  // almost magenta
    s.Set16(2, 0, 0x001F);  // blue
    SurfaceDesc d = s.Desc();
    d.ColorKey = 0xFFFF00FF;
    CodecPtr codec(CreatePixelCodec(d));
    Color out[3];
    codec->ReadRow(0, 0, out);
    EXPECT_EQ(out[0].r, 0.0f);
    EXPECT_EQ(out[0].a, 0.0f);
    EXPECT_EQ(out[1].r, 1.0f);
    EXPECT_EQ(out[1].a, 1.0f);
    EXPECT_EQ(out[2].b, 1.0f);

    // Without alpha 0xFF the key cannot match an opaque format.
    d.ColorKey = 0x00FF00FF;
    CodecPtr noAlpha(CreatePixelCodec(d));
    noAlpha->ReadRow(0, 0, out);
    EXPECT_EQ(out[0].a, 1.0f);

    // Signed formats ignore the key.
    Surface v(D3DFMT_V8U8, 1, 1);
    d = v.Desc();
    d.ColorKey = 0xFF000000;
    CodecPtr sgn(CreatePixelCodec(d));
    sgn->ReadRow(0, 0, out);
    EXPECT_EQ(out[0].a, 1.0f);
}

TEST(PixelCodec, PaletteTieGoesToLowestIndex) {
    PALETTEENTRY palette[256];
    for (PALETTEENTRY& e : palette) e = {0, 0, 255, 0};
    palette[3] = {255, 0, 0, 255};
    palette[7] = {0, 255, 0, 255};
    Surface s(D3DFMT_P8, 2, 1);
    SurfaceDesc d = s.Desc();
    d.Palette = palette;
    CodecPtr codec(CreatePixelCodec(d));
    const Color in[2] = {{0.5f, 0.5f, 0.0f, 1.0f}, {0.1f, 0.9f, 0.0f, 1.0f}};
    codec->WriteRow(0, 0, in);
    EXPECT_EQ(s.Row(0)[0], 3);
    EXPECT_EQ(s.Row(0)[1], 7);
    std::swap(palette[3], palette[7]);
    CodecPtr swapped(CreatePixelCodec(d));
    swapped->WriteRow(0, 0, in);
    EXPECT_EQ(s.Row(0)[0], 3);
    EXPECT_EQ(s.Row(0)[1], 3);
    Color out[2];
    swapped->ReadRow(0, 0, out);
    EXPECT_EQ(out[0].g, 1.0f);
}

TEST(PixelCodec, A8P8MatchesColourOnlyAndStoresAlpha) {
    PALETTEENTRY palette[256] = {};
    palette[0] = {0, 0, 0, 255};
    palette[1] = {250, 250, 250, 0};
    for (int i = 2; i < 256; ++i) palette[i] = {0, 0, 255, 255};
    Surface s(D3DFMT_A8P8, 1, 1);
    SurfaceDesc d = s.Desc();
    d.Palette = palette;
    CodecPtr codec(CreatePixelCodec(d));
    // White with alpha 1 is nearer entry 1 in colour though entry 0 has the matching alpha.
    const Color white{1.0f, 1.0f, 1.0f, 0.25f};
    codec->WriteRow(0, 0, &white);
    EXPECT_EQ(s.Get16(0, 0), (64 << 8) | 1);  // 63.75 + 0.5 -> 64
    Color out{};
    codec->ReadRow(0, 0, &out);
    EXPECT_EQ(out.r, 250.0f * (1.0f / 255.0f));
    EXPECT_EQ(out.a, 64.0f * (1.0f / 255.0f));
}

TEST(PixelCodec, YuvDecodesStudioRange) {
    Surface s(D3DFMT_YUY2, 2, 1);
    const std::uint8_t bytes[4] = {16, 128, 235, 128};  // Y0 U Y1 V: black, white
    std::memcpy(s.Row(0), bytes, 4);
    SurfaceDesc d = s.Desc();
    CodecPtr codec(CreatePixelCodec(d));
    Color out[2];
    codec->ReadRow(0, 0, out);
    EXPECT_EQ(out[0].r, 0.0f);
    EXPECT_NEAR(out[1].r, 1.0f, 1e-5);
    EXPECT_NEAR(out[1].g, 1.0f, 1e-5);
    EXPECT_EQ(out[1].a, 1.0f);
}

TEST(PixelCodec, YuvPairRoundTripAndByteOrder) {
    for (D3DFORMAT f : {D3DFMT_YUY2, D3DFMT_UYVY}) {
        Surface s(f, 4, 1);
        SurfaceDesc d = s.Desc();
        {
            CodecPtr codec(CreatePixelCodec(d));
            const Color in[4] = {{1, 0, 0, 1}, {1, 0, 0, 1}, {0.25f, 0.25f, 0.25f, 1}, {0.5f, 0.5f, 0.5f, 1}};
            codec->WriteRow(0, 0, in);
            EXPECT_EQ(s.Row(0)[0], 0) << "nothing is stored before the flush";
        }
        const std::uint8_t* p = s.Row(0);
        const int y0 = f == D3DFMT_YUY2 ? p[0] : p[1];
        const int u = f == D3DFMT_YUY2 ? p[1] : p[0];
        const int v = f == D3DFMT_YUY2 ? p[3] : p[2];
        // Red: Y = 65.481 + 16, U = 128 - 37.797, V = 128 + 112 (rounded to nearest).
        EXPECT_EQ(y0, 81);
        EXPECT_EQ(u, 90);
        EXPECT_EQ(v, 240);
        const int greyY = f == D3DFMT_YUY2 ? p[4] : p[5];
        EXPECT_EQ(greyY, 71);  // 219 x 0.25 = 54.75 rounds to 55, + 16
    }
}

TEST(PixelCodec, YuvOddRegionKeepsPartnerPixel) {
    Surface s(D3DFMT_YUY2, 4, 1);
    // Pair 0: Y 60 / 200 with chroma (110, 150); pair 1: Y 100 / 150 grey.
    const std::uint8_t bytes[8] = {60, 110, 200, 150, 100, 128, 150, 128};
    std::memcpy(s.Row(0), bytes, 8);
    {
        SurfaceDesc d = s.DescOf({0, 0, 3, 1, 0, 1});  // pixel 3 outside
        CodecPtr codec(CreatePixelCodec(d));
        EXPECT_EQ(codec->Width, 3u);
        const Color grey[3] = {{0.25f, 0.25f, 0.25f, 1}, {0.25f, 0.25f, 0.25f, 1}, {0.25f, 0.25f, 0.25f, 1}};
        codec->WriteRow(0, 0, grey);
    }
    EXPECT_EQ(s.Row(0)[6], 150) << "pixel 3 keeps its luma";
    EXPECT_EQ(s.Row(0)[0], 71);
    EXPECT_EQ(s.Row(0)[4], 71);
    {
        SurfaceDesc d = s.DescOf({1, 0, 4, 1, 0, 1});  // pixel 0 outside: its chroma leads the pair
        std::memcpy(s.Row(0), bytes, 8);
        CodecPtr codec(CreatePixelCodec(d));
        Color row[3];
        codec->ReadRow(0, 0, row);
        codec->WriteRow(0, 0, row);
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(s.Row(0)[i], bytes[i], 1) << i;
    }
}

// Every unsigned format read into A8R8G8B8 and written back gives the same bits (apart
// from unused X bits, written 0).
TEST(PixelCodec, RoundTripThroughA8R8G8B8) {
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7), 255};
    std::mt19937 rng(5);
    const std::pair<D3DFORMAT, std::uint32_t> formats[] = {
        {D3DFMT_R8G8B8, 0xFFFFFF}, {D3DFMT_A8R8G8B8, 0xFFFFFFFF}, {D3DFMT_X8R8G8B8, 0xFFFFFF}, {D3DFMT_R5G6B5, 0xFFFF},
        {D3DFMT_X1R5G5B5, 0x7FFF}, {D3DFMT_A1R5G5B5, 0xFFFF}, {D3DFMT_A4R4G4B4, 0xFFFF}, {D3DFMT_X4R4G4B4, 0x0FFF},
        {D3DFMT_R3G3B2, 0xFF}, {D3DFMT_A8R3G3B2, 0xFFFF}, {D3DFMT_A8, 0xFF}, {D3DFMT_L8, 0xFF},
        {D3DFMT_A8L8, 0xFFFF}, {D3DFMT_A4L4, 0xFF}, {D3DFMT_P8, 0xFF}, {D3DFMT_A8P8, 0xFFFF}};
    for (const auto& [format, mask] : formats) {
        const UINT bytes = testutil::FactsOf(format).BlockBytes;
        Surface src(format, 256, 4);
        Surface mid(D3DFMT_A8R8G8B8, 256, 4);
        Surface back(format, 256, 4);
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 256 * bytes; ++x)
                src.Row(y)[x] = static_cast<std::uint8_t>(y == 0 && bytes == 1 ? x : rng());
        SurfaceDesc s = src.Desc(), m = mid.Desc(), b = back.Desc();
        s.Palette = palette;
        b.Palette = palette;
        ASSERT_EQ(ConvertSurface(&m, &s, FILTER_NONE), S_OK);
        ASSERT_EQ(ConvertSurface(&b, &m, FILTER_NONE), S_OK);
        for (UINT y = 0; y < 4; ++y) {
            for (UINT x = 0; x < 256; ++x) {
                std::uint32_t a = 0, c = 0;
                std::memcpy(&a, src.Row(y) + x * bytes, bytes);
                std::memcpy(&c, back.Row(y) + x * bytes, bytes);
                ASSERT_EQ(a & mask, c) << testutil::NameOf(format) << " pixel " << x << "," << y;
            }
        }
    }
}

// Signed formats convert only among themselves. A read and write back keeps every value
// that is not negative (W apart, which loses its lowest bit); a negative value comes back
// one step toward zero, since -k + 0.5 truncates to -(k - 1) (so -1.0 gives -127 in 8 bits).
TEST(PixelCodec, SignedReadWriteRoundTrip) {
    std::mt19937 rng(9);
    for (D3DFORMAT format : {D3DFMT_V8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16,
                             D3DFMT_W11V11U10}) {
        Surface s(format, 64, 1);
        const UINT bytes = testutil::FactsOf(format).BlockBytes;
        for (UINT x = 0; x < 64 * bytes; ++x) s.Row(0)[x] = static_cast<std::uint8_t>(rng());
        std::vector<std::uint8_t> before(s.Row(0), s.Row(0) + 64 * bytes);
        SurfaceDesc d = s.Desc();
        CodecPtr codec(CreatePixelCodec(d));
        Color row[64];
        codec->ReadRow(0, 0, row);
        codec->WriteRow(0, 0, row);
        Color again[64];
        codec->ReadRow(0, 0, again);
        for (int x = 0; x < 64; ++x) {
            const float* a = &row[x].r;
            const float* b = &again[x].r;
            for (int ch = 0; ch < 4; ++ch) {
                const bool lowBitCleared = format == D3DFMT_W11V11U10 && ch == 2;
                if (lowBitCleared) {
                    EXPECT_NEAR(b[ch], a[ch], 1.0f / 1024) << testutil::NameOf(format) << " channel " << ch;
                } else if (a[ch] >= 0.0f) {
                    EXPECT_EQ(b[ch], a[ch]) << testutil::NameOf(format) << " channel " << ch;
                } else {
                    EXPECT_GT(b[ch], a[ch]) << testutil::NameOf(format) << " channel " << ch;
                    EXPECT_LE(b[ch] - a[ch], 1.0f / 16) << testutil::NameOf(format) << " channel " << ch;
                }
            }
        }
    }
}

TEST(PixelCodec, YuvFlushesOnDestroyAndOnRowChange) {
    Surface s(D3DFMT_YUY2, 2, 2);
    SurfaceDesc d = s.Desc();
    PixelCodec* codec = CreatePixelCodec(d);
    const Color white[2] = {{1, 1, 1, 1}, {1, 1, 1, 1}};
    codec->WriteRow(0, 0, white);
    EXPECT_EQ(s.Row(0)[0], 0);
    codec->WriteRow(1, 0, white);
    EXPECT_EQ(s.Row(0)[0], 235);  // 219 x 1 + 16
    EXPECT_EQ(s.Row(1)[0], 0);
    codec->Destroy(true);
    EXPECT_EQ(s.Row(1)[0], 235);
}

// YUV pixels inside the RGB cube come back through A8R8G8B8 within one step of each byte.
TEST(PixelCodec, YuvRoundTripThroughA8R8G8B8) {
    std::mt19937 rng(12);
    for (D3DFORMAT f : {D3DFMT_YUY2, D3DFMT_UYVY}) {
        Surface src(f, 64, 4), mid(D3DFMT_A8R8G8B8, 64, 4), back(f, 64, 4);
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 128; x += 2) {
                // Luma 60-200 with chroma within 20 of neutral stays inside the cube.
                const std::uint8_t luma = static_cast<std::uint8_t>(60 + rng() % 141);
                const std::uint8_t chroma = static_cast<std::uint8_t>(108 + rng() % 41);
                src.Row(y)[x + (f == D3DFMT_YUY2 ? 0 : 1)] = luma;
                src.Row(y)[x + (f == D3DFMT_YUY2 ? 1 : 0)] = chroma;
            }
        SurfaceDesc s = src.Desc(), m = mid.Desc(), b = back.Desc();
        ASSERT_EQ(ConvertSurface(&m, &s, FILTER_NONE), S_OK);
        ASSERT_EQ(ConvertSurface(&b, &m, FILTER_NONE), S_OK);
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 128; ++x)
                ASSERT_NEAR(back.Row(y)[x], src.Row(y)[x], 1) << testutil::NameOf(f) << " byte " << x << " row " << y;
    }
}
