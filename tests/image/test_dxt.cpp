// DXT block coding: the defined block cases, the codec's cache and fill, photographs
// within a stated PSNR, and our decoder against libsquish.
#include <gtest/gtest.h>

#include <squish.h>
#include <hwy/targets.h>

#include <cstdio>
#include <random>
#include <string>

#include "image/dxt.h"
#include "test_codec_util.h"
#include "test_dxt_util.h"

using testutil::Surface;

namespace {

struct ColorBlock {
    unsigned color0, color1;
    std::uint32_t indices;
};

ColorBlock Parse(const std::uint8_t* b) {
    return {static_cast<unsigned>(b[0] | (b[1] << 8)), static_cast<unsigned>(b[2] | (b[3] << 8)),
            static_cast<std::uint32_t>(b[4] | (b[5] << 8) | (b[6] << 16)) | (static_cast<std::uint32_t>(b[7]) << 24)};
}

std::uint32_t Opaque(std::uint32_t rgb) { return 0xFF000000u | rgb; }

// Encodes a picture into a DXT surface and decodes it back, both through ConvertSurface.
std::vector<std::uint32_t> RoundTrip(const testutil::Picture& pic, D3DFORMAT format, std::vector<std::uint8_t>* blocks = nullptr) {
    Surface src(D3DFMT_A8R8G8B8, pic.width, pic.height), dxt(format, pic.width, pic.height),
        back(D3DFMT_A8R8G8B8, pic.width, pic.height);
    for (unsigned y = 0; y < pic.height; ++y)
        std::memcpy(src.Row(y), &pic.argb[static_cast<std::size_t>(y) * pic.width], pic.width * 4u);
    SurfaceDesc s = src.Desc(), d = dxt.Desc(), b = back.Desc();
    EXPECT_EQ(ConvertSurface(&d, &s, FILTER_NONE), S_OK);
    EXPECT_EQ(ConvertSurface(&b, &d, FILTER_NONE), S_OK);
    if (blocks != nullptr) blocks->assign(dxt.Data(), dxt.Data() + dxt.slicePitch);
    std::vector<std::uint32_t> out(pic.argb.size());
    for (unsigned y = 0; y < pic.height; ++y)
        std::memcpy(&out[static_cast<std::size_t>(y) * pic.width], back.Row(y), pic.width * 4u);
    return out;
}

}  // namespace

TEST(DxtEncode, AllTransparentDxt1Block) {
    std::uint32_t px[16];
    for (int i = 0; i < 16; ++i) px[i] = 0x7F123456u + static_cast<std::uint32_t>(i);
    std::uint8_t out[8];
    EncodeDxt1Block(px, out);
    const ColorBlock b = Parse(out);
    EXPECT_EQ(b.color0, 0x0000u);
    EXPECT_EQ(b.color1, 0xFFFFu);
    EXPECT_EQ(b.indices, 0xFFFFFFFFu);
}

TEST(DxtEncode, KeyColourAvoidsEveryOpaqueColour) {
    // Opaque black only: the key is 0x000001, so every black pixel stays included.
    std::uint32_t px[16];
    for (int i = 0; i < 16; ++i) px[i] = i % 3 == 0 ? 0x00FFFFFFu : Opaque(0);
    std::uint8_t out[8];
    EncodeDxt1Block(px, out);
    ColorBlock b = Parse(out);
    EXPECT_EQ(b.color0, 0u);
    EXPECT_EQ(b.color1, 0u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ((b.indices >> (2 * i)) & 3u, i % 3 == 0 ? 3u : 0u) << i;
    // Opaque 0x000000 and 0x000001 present: the key must move on to 0x000002, or the
    // 0x000001 pixels would turn transparent.
    px[1] = Opaque(1);
    px[2] = Opaque(1);
    EncodeDxt1Block(px, out);
    std::uint32_t decoded[16];
    DecodeDxtColorBlock(out, decoded);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(decoded[i] >> 24, i % 3 == 0 ? 0u : 255u) << i;
}

TEST(DxtEncode, SingleColourBlock) {
    std::uint32_t px[16];
    for (std::uint32_t& p : px) p = Opaque(0x8A4F3C);
    std::uint8_t out[8];
    EncodeDxtColorBlock(px, out, 0xFFFFFF, 0);
    ColorBlock b = Parse(out);
    // R5G6B5 by truncation: 0x8A >> 3 = 17, 0x4F >> 2 = 19, 0x3C >> 3 = 7.
    EXPECT_EQ(b.color0, (17u << 11) | (19u << 5) | 7u);
    EXPECT_EQ(b.color1, b.color0);
    EXPECT_EQ(b.indices, 0u);
    std::uint32_t decoded[16];
    DecodeDxtColorBlock(out, decoded);
    // Back by bit replication: 17 -> 140, 19 -> 77, 7 -> 57.
    for (std::uint32_t d : decoded) EXPECT_EQ(d, 0xFF8C4D39u);
}

TEST(DxtEncode, EndpointOrderFollowsMode) {
    std::mt19937 rng(11);
    int fourColour = 0, threeColour = 0;
    for (int n = 0; n < 3000; ++n) {
        std::uint32_t px[16];
        const std::uint32_t base = rng() & 0xFFFFFFu;
        for (std::uint32_t& p : px) {
            const std::uint32_t alpha = n % 2 == 0 ? 0xFFu : (rng() % 4 == 0 ? 0x10u : 0xF0u);
            p = (alpha << 24) | (rng() % 3 == 0 ? rng() & 0xFFFFFFu : base ^ (rng() & 0x0F0F0Fu));
        }
        bool opaque = true;
        for (std::uint32_t p : px) opaque = opaque && (p >> 24) >= 128;
        std::uint8_t out[8];
        EncodeDxt1Block(px, out);
        const ColorBlock b = Parse(out);
        if (opaque) {
            ++fourColour;
            EXPECT_TRUE(b.color0 > b.color1 || (b.color0 == b.color1 && b.indices == 0)) << n;
        } else {
            ++threeColour;
            EXPECT_LE(b.color0, b.color1) << n;
            // Exactly the transparent pixels carry index 3.
            for (int i = 0; i < 16; ++i)
                EXPECT_EQ(((b.indices >> (2 * i)) & 3u) == 3u, (px[i] >> 24) < 128) << n << " pixel " << i;
        }
    }
    EXPECT_GT(fourColour, 1000);
    EXPECT_GT(threeColour, 1000);
}

TEST(DxtEncode, IndicesCutTheSegmentIntoEqualBins) {
    // Eight black and eight white pixels: the line runs from black to white and the ends are
    // exact, so each pixel takes an end's index (white is color0 in four-colour mode).
    std::uint32_t px[16];
    for (int i = 0; i < 16; ++i) px[i] = Opaque(i < 8 ? 0 : 0xFFFFFF);
    std::uint8_t out[8];
    EncodeDxtColorBlock(px, out, 0xFFFFFF, 0);
    const ColorBlock b = Parse(out);
    EXPECT_EQ(b.color0, 0xFFFFu);
    EXPECT_EQ(b.color1, 0x0000u);
    EXPECT_EQ(b.indices, 0x00005555u);  // black pixels 0-7 take index 1, white ones 0
    // A mid grey at t = 0.5 falls in bin 2 of 4 (t x 4 = 2), palette entry 3: nearer black,
    // though 127 lies exactly between the thirds 85 and 170; that is the bin rule.
    px[0] = Opaque(0x7F7F7F);
    EncodeDxtColorBlock(px, out, 0xFFFFFF, 0);
    EXPECT_EQ(Parse(out).indices & 3u, 3u);
}

TEST(DxtEncode, ExplicitAlphaTruncatesNibbles) {
    std::uint32_t px[16];
    for (int i = 0; i < 16; ++i) px[i] = (static_cast<std::uint32_t>(i * 17) << 24) | 0x336699;
    px[0] = 0x1F336699;
    std::uint8_t out[16];
    EncodeDxtAlphaExplicit(px, out);
    EXPECT_EQ(out[0] & 0xF, 1) << "0x1F stores nibble 1, not 2";
    EXPECT_EQ(out[0] >> 4, 1);
    EXPECT_EQ(out[7] >> 4, 15);
    std::uint32_t decoded[16];
    DecodeDxtAlphaExplicit(out, decoded);
    EXPECT_EQ(decoded[0] >> 24, 17u);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(decoded[i] >> 24, static_cast<std::uint32_t>(i * 17)) << i;
}

TEST(DxtEncode, InterpolatedAlphaModes) {
    std::uint32_t px[16];
    std::uint8_t out[16];
    std::uint32_t decoded[16];
    // Only 0 and 255: eight-value mode with 255 and 0 as the ends.
    for (int i = 0; i < 16; ++i) px[i] = (i % 2 ? 0xFFu : 0u) << 24;
    EncodeDxtAlphaInterpolated(px, out);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 0);
    DecodeDxtAlphaInterpolated(out, decoded);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(decoded[i] >> 24, i % 2 ? 255u : 0u);

    // 0, 40, 90 and 255: six-value mode, 40 and 90 as the ends, codes 6 and 7 for 0 and 255.
    const std::uint32_t alphas[4] = {0, 40, 90, 255};
    for (int i = 0; i < 16; ++i) px[i] = alphas[i % 4] << 24;
    EncodeDxtAlphaInterpolated(px, out);
    EXPECT_EQ(out[0], 40);
    EXPECT_EQ(out[1], 90);
    std::uint64_t codes = 0;
    for (int i = 0; i < 6; ++i) codes |= static_cast<std::uint64_t>(out[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) {
        const unsigned expected[4] = {6, 0, 1, 7};
        EXPECT_EQ((codes >> (3 * i)) & 7u, expected[i % 4]) << i;
    }
    DecodeDxtAlphaInterpolated(out, decoded);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(decoded[i] >> 24, alphas[i % 4]);

    // A ramp in eight-value mode decodes within half a step of 255 / 7.
    for (int i = 0; i < 16; ++i) px[i] = static_cast<std::uint32_t>(i * 16) << 24;
    EncodeDxtAlphaInterpolated(px, out);
    EXPECT_EQ(out[0], 240);
    EXPECT_EQ(out[1], 0);
    DecodeDxtAlphaInterpolated(out, decoded);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(static_cast<int>(decoded[i] >> 24), i * 16, 18) << i;

    // One value throughout: all codes 0.
    for (std::uint32_t& p : px) p = 0x80000000u;
    EncodeDxtAlphaInterpolated(px, out);
    EXPECT_EQ(out[0], 0x80);
    EXPECT_EQ(out[1], 0x80);
    for (int i = 2; i < 8; ++i) EXPECT_EQ(out[i], 0);
}

TEST(DxtDecode, ColourModesAndNullBlock) {
    std::uint32_t out[16];
    DecodeDxtColorBlock(nullptr, out);
    for (std::uint32_t p : out) EXPECT_EQ(p, 0u);
    // color0 > color1: thirds with rounding, (2 x 255 + 0 + 1) / 3 = 170.
    const std::uint8_t four[8] = {0xFF, 0xFF, 0x00, 0x00, 0xE4, 0, 0, 0};  // indices 0, 1, 2, 3
    DecodeDxtColorBlock(four, out);
    EXPECT_EQ(out[0], 0xFFFFFFFFu);
    EXPECT_EQ(out[1], 0xFF000000u);
    EXPECT_EQ(out[2], 0xFFAAAAAAu);
    EXPECT_EQ(out[3], 0xFF555555u);
    // Inside a DXT3 block color0 <= color1 still means three colours: index 3 is black, alpha 0.
    std::uint8_t dxt3[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xE4, 0, 0, 0};
    DecodeDxtAlphaExplicit(dxt3, out);
    EXPECT_EQ(out[2], 0xFF7F7F7Fu);  // (0 + 255) / 2
    EXPECT_EQ(out[3] & 0xFFFFFFu, 0u);
    EXPECT_EQ(out[3] >> 24, 255u) << "alpha comes from the explicit half";
}

TEST(DxtCodec, TwoByTwoSurfaceRepeatsItsPixels) {
    Surface src(D3DFMT_A8R8G8B8, 2, 2), dxt(D3DFMT_DXT1, 2, 2);
    src.Set32(0, 0, 0xFFFF0000);
    src.Set32(1, 0, 0xFF00FF00);
    src.Set32(0, 1, 0xFF0000FF);
    src.Set32(1, 1, 0xFFFFFFFF);
    SurfaceDesc s = src.Desc(), d = dxt.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_NONE), S_OK);
    std::uint32_t decoded[16];
    DecodeDxtColorBlock(dxt.Data(), decoded);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(decoded[i], decoded[((i / 4) & 1) * 4 + (i & 1)]) << i;
    // The block encodes exactly the 16 repeated pixels.
    std::uint32_t repeated[16];
    for (int i = 0; i < 16; ++i) repeated[i] = src.Get32(i & 1, (i / 4) & 1);
    std::uint8_t expected[8];
    EncodeDxt1Block(repeated, expected);
    EXPECT_EQ(std::memcmp(dxt.Data(), expected, 8), 0);
}

TEST(DxtCodec, FlushesOnDestroy) {
    Surface dxt(D3DFMT_DXT5, 4, 8);
    SurfaceDesc d = dxt.Desc();
    PixelCodec* codec = CreatePixelCodec(d);
    ASSERT_NE(codec, nullptr);
    Color row[4];
    for (Color& c : row) c = {1.0f, 1.0f, 1.0f, 1.0f};
    for (UINT y = 0; y < 4; ++y) codec->WriteRow(y, 0, row);
    EXPECT_EQ(dxt.Data()[0], 0) << "block row 0 still cached";
    codec->WriteRow(4, 0, row);
    EXPECT_EQ(dxt.Data()[0], 255) << "moving to block row 1 flushed block row 0";
    EXPECT_EQ(dxt.Data()[16], 0);
    codec->Destroy(true);
    EXPECT_EQ(dxt.Data()[16], 255);
}

TEST(DxtCodec, UnalignedCopyReencodesAlignedCopyIsRaw) {
    // A block no encoder of ours makes: a flat colour stored as index 2 of a white-black line.
    Surface src(D3DFMT_DXT1, 8, 4), dst(D3DFMT_DXT1, 8, 4);
    const std::uint8_t odd[8] = {0xFF, 0xFF, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0xAA};
    std::memcpy(src.Data(), odd, 8);
    std::memcpy(src.Data() + 8, odd, 8);
    SurfaceDesc s = src.Desc(), d = dst.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_NONE), S_OK);
    EXPECT_EQ(std::memcmp(dst.Data(), odd, 8), 0);
    s.Region = {2, 0, 8, 4, 0, 1};
    d.Region = {2, 0, 8, 4, 0, 1};
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_NONE), S_OK);
    const ColorBlock b = Parse(dst.Data() + 8);
    EXPECT_EQ(b.color0, b.color1) << "decoded and encoded again as a single colour";
    EXPECT_EQ(b.indices, 0u);
    std::uint32_t decoded[16];
    DecodeDxtColorBlock(dst.Data() + 8, decoded);
    EXPECT_NEAR(static_cast<int>(decoded[0] & 0xFF), 0xAA, 8);
}

TEST(DxtCodec, PremultipliedAlphaFormats) {
    for (D3DFORMAT f : {D3DFMT_DXT2, D3DFMT_DXT4}) {
        Surface dxt(f, 4, 4);
        SurfaceDesc d = dxt.Desc();
        {
            PixelCodec* codec = CreatePixelCodec(d);
            Color row[4];
            for (Color& c : row) c = {1.0f, 0.5f, 0.0f, 0.5f};
            for (UINT y = 0; y < 4; ++y) codec->WriteRow(y, 0, row);
            codec->Destroy(true);
        }
        std::uint32_t decoded[16];
        if (f == D3DFMT_DXT2) DecodeDxtAlphaExplicit(dxt.Data(), decoded);
        else DecodeDxtAlphaInterpolated(dxt.Data(), decoded);
        // Stored premultiplied: red 0.5 x 255 + 0.5 = 128, green 64 (to 5 and 6 bits).
        EXPECT_NEAR(static_cast<int>((decoded[0] >> 16) & 0xFF), 128, 4) << f;
        EXPECT_NEAR(static_cast<int>((decoded[0] >> 8) & 0xFF), 64, 2) << f;
        PixelCodec* codec = CreatePixelCodec(d);
        Color row[4];
        codec->ReadRow(0, 0, row);
        codec->Destroy(true);
        EXPECT_NEAR(row[0].r, 1.0f, 0.04f) << "un-premultiplied on reading";
        EXPECT_NEAR(row[0].g, 0.5f, 0.03f);
        EXPECT_NEAR(row[0].a, 0.5f, 0.04f);
    }
}

TEST(DxtCodec, Dxt1ReadsTransparentAsZero) {
    Surface dxt(D3DFMT_DXT1, 4, 4);
    const std::uint8_t block[8] = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::memcpy(dxt.Data(), block, 8);
    SurfaceDesc d = dxt.Desc();
    PixelCodec* codec = CreatePixelCodec(d);
    Color row[4];
    codec->ReadRow(2, 0, row);
    codec->Destroy(true);
    for (const Color& c : row) {
        EXPECT_EQ(c.r, 0.0f);
        EXPECT_EQ(c.a, 0.0f);
    }
}

// Photographs keep a stated quality through each format.
TEST(DxtPhotos, RoundTripPsnr) {
    for (const char* name : {"flower.jpg", "iptc.jpg"}) {
        testutil::Picture pic;
        ASSERT_TRUE(testutil::LoadCorpusJpeg(std::string("jpeg/pillow/") + name, pic));
        // Alpha from a smooth ramp so the alpha halves are exercised too.
        for (unsigned y = 0; y < pic.height; ++y)
            for (unsigned x = 0; x < pic.width; ++x) {
                std::uint32_t& p = pic.argb[static_cast<std::size_t>(y) * pic.width + x];
                p = (p & 0xFFFFFFu) | (((x * 255u) / pic.width) << 24);
            }
        std::vector<std::uint32_t> opaque = pic.argb;
        testutil::Picture solid = pic;
        for (std::uint32_t& p : solid.argb) p |= 0xFF000000u;
        const double dxt1 = testutil::Psnr(solid.argb, RoundTrip(solid, D3DFMT_DXT1), 0xFFFFFF);
        const double dxt3 = testutil::Psnr(pic.argb, RoundTrip(pic, D3DFMT_DXT3), 0xFFFFFF);
        const double dxt5 = testutil::Psnr(pic.argb, RoundTrip(pic, D3DFMT_DXT5), 0xFFFFFF);
        const double alpha3 = testutil::Psnr(pic.argb, RoundTrip(pic, D3DFMT_DXT3), 0xFF000000u);
        const double alpha5 = testutil::Psnr(pic.argb, RoundTrip(pic, D3DFMT_DXT5), 0xFF000000u);
        std::printf("%s: colour PSNR DXT1 %.2f DXT3 %.2f DXT5 %.2f dB, alpha DXT3 %.2f DXT5 %.2f dB\n", name, dxt1,
                    dxt3, dxt5, alpha3, alpha5);
        EXPECT_GT(dxt1, 30.0) << name;
        EXPECT_GT(dxt3, 30.0) << name;
        EXPECT_GT(dxt5, 30.0) << name;
        EXPECT_GT(alpha3, 30.0) << name;  // 4-bit alpha: about 34 dB on a ramp
        EXPECT_GT(alpha5, 40.0) << name;
    }
}

// Our colour encoder against libsquish's range fit on the same photograph, error measured in
// plain RGB. Ours fits in a luminance-weighted space and cuts the segment into equal bins
// instead of taking the nearest palette colour, which costs some plain-RGB error by design;
// a wrong axis, clip or endpoint order would cost far more.
TEST(DxtPhotos, ColourQualityAgainstSquishRangeFit) {
    testutil::Picture pic;
    ASSERT_TRUE(testutil::LoadCorpusJpeg("jpeg/pillow/flower.jpg", pic));
    const unsigned w = pic.width & ~3u, h = pic.height & ~3u;
    double ours = 0, squishRange = 0;
    for (unsigned by = 0; by < h; by += 4)
        for (unsigned bx = 0; bx < w; bx += 4) {
            std::uint32_t px[16];
            squish::u8 rgba[64];
            for (int i = 0; i < 16; ++i) {
                px[i] = pic.argb[(by + i / 4) * pic.width + bx + (i & 3)];
                rgba[4 * i] = static_cast<squish::u8>(px[i] >> 16);
                rgba[4 * i + 1] = static_cast<squish::u8>(px[i] >> 8);
                rgba[4 * i + 2] = static_cast<squish::u8>(px[i]);
                rgba[4 * i + 3] = 255;
            }
            std::uint8_t a[8], b[8];
            EncodeDxt1Block(px, a);
            squish::Compress(rgba, b, squish::kDxt1 | squish::kColourRangeFit);
            std::uint32_t da[16], db[16];
            DecodeDxtColorBlock(a, da);
            DecodeDxtColorBlock(b, db);
            for (int i = 0; i < 16; ++i)
                for (int c = 0; c < 3; ++c) {
                    const double e1 = double((da[i] >> (8 * c)) & 0xFF) - double((px[i] >> (8 * c)) & 0xFF);
                    const double e2 = double((db[i] >> (8 * c)) & 0xFF) - double((px[i] >> (8 * c)) & 0xFF);
                    ours += e1 * e1;
                    squishRange += e2 * e2;
                }
        }
    EXPECT_LT(ours, squishRange * 1.6) << "squared error ours " << ours << " vs squish range fit " << squishRange;
}

namespace {

// Compares our decoding of a block with libsquish's. libsquish rounds the thirds of the
// four-colour mode down where we add 1 first, so those colours may differ by 1; and it
// reads the colour half of DXT3 and DXT5 blocks always in four-colour mode, so there only
// the two end colours are compared when color0 <= color1.
void ExpectSameAsSquish(const std::uint8_t* block, D3DFORMAT format) {
    std::uint32_t ours[16];
    squish::u8 theirs[64];
    int flags = squish::kDxt1;
    const std::uint8_t* colour = block;
    if (format == D3DFMT_DXT1) {
        DecodeDxtColorBlock(block, ours);
    } else if (format == D3DFMT_DXT3) {
        DecodeDxtAlphaExplicit(block, ours);
        flags = squish::kDxt3;
        colour = block + 8;
    } else {
        DecodeDxtAlphaInterpolated(block, ours);
        flags = squish::kDxt5;
        colour = block + 8;
    }
    squish::Decompress(theirs, block, flags);
    const ColorBlock cb = Parse(colour);
    for (int i = 0; i < 16; ++i) {
        const unsigned index = (cb.indices >> (2 * i)) & 3u;
        const bool comparable = format == D3DFMT_DXT1 || cb.color0 > cb.color1 || index < 2;
        EXPECT_EQ(ours[i] >> 24, theirs[4 * i + 3]) << "alpha of pixel " << i;
        if (!comparable) continue;
        const int tolerance = index >= 2 && cb.color0 > cb.color1 ? 1 : 0;
        EXPECT_NEAR(static_cast<int>((ours[i] >> 16) & 0xFF), theirs[4 * i], tolerance) << "pixel " << i;
        EXPECT_NEAR(static_cast<int>((ours[i] >> 8) & 0xFF), theirs[4 * i + 1], tolerance) << "pixel " << i;
        EXPECT_NEAR(static_cast<int>(ours[i] & 0xFF), theirs[4 * i + 2], tolerance) << "pixel " << i;
    }
}

}  // namespace

TEST(DxtDecode, AgreesWithSquishOnRandomBlocks) {
    std::mt19937 rng(77);
    for (int n = 0; n < 2000; ++n) {
        std::uint8_t block[16];
        for (std::uint8_t& b : block) b = static_cast<std::uint8_t>(rng());
        ExpectSameAsSquish(block, D3DFMT_DXT1);
        ExpectSameAsSquish(block, D3DFMT_DXT3);
        ExpectSameAsSquish(block, D3DFMT_DXT5);
        if (HasFailure()) break;
    }
}

TEST(DxtDecode, AgreesWithSquishOnOurBlocks) {
    testutil::Picture pic;
    ASSERT_TRUE(testutil::LoadCorpusJpeg("jpeg/pillow/iptc.jpg", pic));
    std::mt19937 rng(3);
    for (std::uint32_t& p : pic.argb) p = (p & 0xFFFFFFu) | ((rng() % 4 == 0 ? rng() & 0x7Fu : 0xFFu) << 24);
    for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
        std::vector<std::uint8_t> blocks;
        RoundTrip(pic, f, &blocks);
        const std::size_t size = f == D3DFMT_DXT1 ? 8 : 16;
        for (std::size_t i = 0; i + size <= blocks.size(); i += size * 7) {
            ExpectSameAsSquish(&blocks[i], f);
            if (HasFailure()) return;
        }
    }
}

// The compiled vector targets of the batched encoder, each a test; the portable fallback
// among them.
std::vector<std::int64_t> DxtTargets() {
    std::vector<std::int64_t> targets;
    for (std::int64_t left = DxtCompiledTargets(); left != 0; left &= left - 1) targets.push_back(left & -left);
    return targets;
}

class DxtTargetsTest : public testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override {
        if ((hwy::SupportedTargets() & GetParam()) == 0)
            GTEST_SKIP() << hwy::TargetName(GetParam()) << ": this processor lacks it";
    }
};

// The batched encoder on each target gives the single-block encoder's bits, block for block:
// photographs (opaque, some pixels transparent, smooth alpha, flat), random blocks, and the
// special blocks (no pixel in the fit, one pixel, one colour with transparent pixels, ends
// that collapse in either mode), in a count no vector width divides.
TEST_P(DxtTargetsTest, BatchMatchesSingleBlockReference) {
    testutil::Picture pic;
    ASSERT_TRUE(testutil::LoadCorpusJpeg("jpeg/pillow/flower.jpg", pic));
    std::mt19937 rng(8);
    std::vector<std::uint32_t> pixels;
    for (unsigned by = 0; by + 4 <= pic.height; by += 4)
        for (unsigned bx = 0; bx + 4 <= pic.width; bx += 4)
            for (int i = 0; i < 16; ++i) {
                std::uint32_t p = pic.argb[(by + i / 4) * pic.width + bx + (i & 3)];
                const unsigned kind = (bx / 4) % 4;  // opaque, some transparent, smooth alpha, flat
                if (kind == 1 && rng() % 5 == 0) p &= 0x00FFFFFFu;
                if (kind == 2) p = (p & 0xFFFFFFu) | (((bx + (i & 3)) * 7u & 0xFFu) << 24);
                if (kind == 3) p = pic.argb[by * pic.width + bx];
                pixels.push_back(p);
            }
    for (int n = 0; n < 501; ++n)
        for (int i = 0; i < 16; ++i)
            pixels.push_back(static_cast<std::uint32_t>(rng()) & (n % 2 ? 0xFF0F0F0Fu : 0xFFFFFFFFu));
    for (int n = 0; n < 4; ++n)
        for (int i = 0; i < 16; ++i) {
            const std::uint32_t rgb = n == 3 ? (i & 1 ? 0x102030u : 0x112131u) : 0x405060u + (n == 1 ? i : 0);
            const bool opaque = n == 0 ? false : n == 1 ? i == 5 : n == 2 ? i % 3 != 0 : i != 7;
            pixels.push_back(rgb | (opaque ? 0xFF000000u : 0x40000000u));
        }
    const std::size_t count = pixels.size() / 16;
    for (DxtBlockKind kind : {DxtBlockKind::Dxt1, DxtBlockKind::ExplicitAlpha, DxtBlockKind::InterpolatedAlpha}) {
        const std::size_t size = kind == DxtBlockKind::Dxt1 ? 8 : 16;
        std::vector<std::uint8_t> fast(count * size, 0xCD), ref(count * size, 0x11);
        EncodeDxtBlocks(kind, pixels.data(), count, fast.data(), GetParam());
        EncodeDxtBlocksRef(kind, pixels.data(), count, ref.data());
        for (std::size_t b = 0; b < count; ++b)
            ASSERT_EQ(std::memcmp(&fast[b * size], &ref[b * size], size), 0) << "block " << b << " kind " << int(kind);
    }
}

INSTANTIATE_TEST_SUITE_P(Compiled, DxtTargetsTest, testing::ValuesIn(DxtTargets()),
                         [](const testing::TestParamInfo<std::int64_t>& info) { return hwy::TargetName(info.param); });

// A write that covers only some rows of a block row keeps the other rows of its blocks:
// they are decoded first even at the first visit of that block row.
TEST(DxtCodec, PartialBlockRowKeepsRowsOutsideTheRegion) {
    Surface dxt(D3DFMT_DXT1, 4, 4), red(D3DFMT_A8R8G8B8, 4, 2);
    const std::uint8_t white[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    std::memcpy(dxt.Data(), white, 8);
    for (UINT y = 0; y < 2; ++y)
        for (UINT x = 0; x < 4; ++x) red.Set32(x, y, 0xFFFF0000);
    SurfaceDesc d = dxt.DescOf({0, 2, 4, 4, 0, 1}), s = red.Desc();
    ASSERT_EQ(ConvertSurface(&d, &s, FILTER_NONE), S_OK);
    std::uint32_t decoded[16];
    DecodeDxtColorBlock(dxt.Data(), decoded);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(decoded[i], 0xFFFFFFFFu) << "row " << i / 4 << " kept white";
    for (int i = 8; i < 16; ++i) EXPECT_EQ(decoded[i], 0xFFFF0000u) << "row " << i / 4 << " red";
}

namespace {

// Squared error of a decoded block against its pixels over red, green, blue and alpha; in
// DXT1 a transparent pixel counts only for its alpha (it decodes to 0 whatever its colour).
std::uint64_t BlockError(DxtBlockKind kind, const std::uint8_t* block, const std::uint32_t pixels[16]) {
    std::uint32_t decoded[16];
    std::uint32_t want[16];
    std::memcpy(want, pixels, sizeof want);
    switch (kind) {
        case DxtBlockKind::Dxt1:
            DecodeDxtColorBlock(block, decoded);
            for (std::uint32_t& p : want) p = (p >> 24) >= 128 ? p | 0xFF000000u : 0;
            for (std::uint32_t& p : decoded) p = (p >> 24) ? p : 0;
            break;
        case DxtBlockKind::ExplicitAlpha:
            DecodeDxtAlphaExplicit(block, decoded);
            break;
        case DxtBlockKind::InterpolatedAlpha:
            DecodeDxtAlphaInterpolated(block, decoded);
            break;
    }
    std::uint64_t sum = 0;
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 4; ++c) {
            const int d = int((decoded[i] >> (8 * c)) & 0xFF) - int((want[i] >> (8 * c)) & 0xFF);
            sum += static_cast<std::uint64_t>(d * d);
        }
    return sum;
}

// Blocks of two photographs with the four kinds of alpha of the batch test, plus random
// and flat blocks.
std::vector<std::uint32_t> TestBlocks() {
    std::vector<std::uint32_t> pixels;
    std::mt19937 rng(21);
    for (const char* name : {"jpeg/pillow/flower.jpg", "jpeg/pillow/iptc.jpg"}) {
        testutil::Picture pic;
        if (const ::testing::AssertionResult loaded = testutil::LoadCorpusJpeg(name, pic); !loaded) {
            ADD_FAILURE() << loaded.message();
            continue;
        }
        for (unsigned by = 0; by + 4 <= pic.height; by += 4)
            for (unsigned bx = 0; bx + 4 <= pic.width; bx += 4)
                for (int i = 0; i < 16; ++i) {
                    std::uint32_t p = pic.argb[(by + i / 4) * pic.width + bx + (i & 3)];
                    const unsigned kind = (bx / 4 + by / 4) % 4;
                    if (kind == 1 && rng() % 5 == 0) p &= 0x00FFFFFFu;
                    if (kind == 2) p = (p & 0xFFFFFFu) | ((rng() % 256) << 24);
                    if (kind == 3) p = pic.argb[by * pic.width + bx];
                    pixels.push_back(p);
                }
    }
    for (int n = 0; n < 1000; ++n)
        for (int i = 0; i < 16; ++i) pixels.push_back(static_cast<std::uint32_t>(rng()) | (n % 3 ? 0xFF000000u : 0));
    return pixels;
}

}  // namespace

// The high-quality encoder is never worse than the exact one on any block, better on the
// photographs as a whole, and its blocks decode alike with libsquish's decoder.
TEST(DxtEncodeHigh, NeverWorseOnAnyBlockAndReadAlikeBySquish) {
    const std::vector<std::uint32_t> pixels = TestBlocks();
    const std::size_t count = pixels.size() / 16;
    ASSERT_GT(count, 10000u) << "the photographs were not found";
    const struct {
        DxtBlockKind kind;
        D3DFORMAT format;
    } kinds[] = {{DxtBlockKind::Dxt1, D3DFMT_DXT1},
                 {DxtBlockKind::ExplicitAlpha, D3DFMT_DXT3},
                 {DxtBlockKind::InterpolatedAlpha, D3DFMT_DXT5}};
    for (const auto& k : kinds) {
        const std::size_t size = k.kind == DxtBlockKind::Dxt1 ? 8 : 16;
        std::vector<std::uint8_t> exact(count * size), high(count * size);
        EncodeDxtBlocks(k.kind, pixels.data(), count, exact.data());
        EncodeDxtBlocksHigh(k.kind, pixels.data(), count, high.data());
        std::uint64_t exactTotal = 0, highTotal = 0;
        for (std::size_t b = 0; b < count; ++b) {
            const std::uint64_t s = BlockError(k.kind, &exact[b * size], &pixels[b * 16]);
            const std::uint64_t h = BlockError(k.kind, &high[b * size], &pixels[b * 16]);
            ASSERT_LE(h, s) << "block " << b << " format " << k.format;
            exactTotal += s;
            highTotal += h;
            if (b % 5 == 0) ExpectSameAsSquish(&high[b * size], k.format);
            if (HasFailure()) return;
        }
        EXPECT_LT(static_cast<double>(highTotal), 0.85 * static_cast<double>(exactTotal)) << "format " << k.format;
    }
}

// Every vector target of the high-quality encoder gives the portable fallback's blocks.
TEST(DxtEncodeHigh, EveryVectorTargetGivesTheFallbackBlocks) {
    const std::vector<std::uint32_t> pixels = TestBlocks();
    const std::size_t count = pixels.size() / 16;
    const std::int64_t compiled = DxtHighCompiledTargets();
    const std::int64_t fallback = compiled & (HWY_EMU128 | HWY_SCALAR);
    ASSERT_NE(fallback, 0) << "the portable fallback is not compiled";
    std::string notRun;
    int run = 0;
    for (DxtBlockKind kind : {DxtBlockKind::Dxt1, DxtBlockKind::ExplicitAlpha, DxtBlockKind::InterpolatedAlpha}) {
        const std::size_t size = kind == DxtBlockKind::Dxt1 ? 8 : 16;
        std::vector<std::uint8_t> plain(count * size), vector(count * size);
        EncodeDxtBlocksHigh(kind, pixels.data(), count, plain.data(), fallback);
        for (std::int64_t bit = 1; bit != 0 && bit <= (std::int64_t{1} << 62); bit <<= 1) {
            if (!(compiled & bit) || (bit & fallback)) continue;
            if (!(hwy::SupportedTargets() & bit)) {
                if (kind == DxtBlockKind::Dxt1) notRun += std::string(" ") + hwy::TargetName(bit);
                continue;
            }
            EncodeDxtBlocksHigh(kind, pixels.data(), count, vector.data(), bit);
            for (std::size_t b = 0; b < count; ++b)
                ASSERT_EQ(0, std::memcmp(&plain[b * size], &vector[b * size], size))
                    << hwy::TargetName(bit) << ", kind " << static_cast<int>(kind) << ", block " << b;
            ++run;
        }
    }
    if (run == 0) GTEST_SKIP() << "this processor runs none of the vector targets compiled:" << notRun;
    if (!notRun.empty()) std::printf("not run on this processor:%s\n", notRun.c_str());
}
