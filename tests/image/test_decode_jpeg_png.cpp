// The library-backed decoders: JPEG through libjpeg and PNG through libpng, on small
// files written in the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "decode_test_files.h"
#include "image/image_file.h"

namespace {

Bytes Gradient(int width, int height, int components) {
    Bytes samples(static_cast<std::size_t>(width * height * components));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                samples[static_cast<std::size_t>((y * width + x) * components + c)] =
                    static_cast<std::uint8_t>((x * 16 + y * 8 + c * 85) & 0xFF);
            }
        }
    }
    return samples;
}

// libjpeg called directly, as an independent reader of the same bytes.
Bytes ReferenceJpeg(const Bytes& file, int& width, int& height, int& components) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), file.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    components = cinfo.output_components;
    Bytes out(static_cast<std::size_t>(width * height * components));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + static_cast<std::size_t>(cinfo.output_scanline) * width * components;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

// Offset of the first SOFn marker's height field.
std::size_t FrameSizeOffset(const Bytes& jpeg) {
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            return i + 5;
        }
    }
    return 0;
}

TEST(DecodeJpeg, ColourImageIsX8R8G8B8WithZeroTopByteAndTheLibrarysPixels) {
    const Bytes file = EncodeJpeg(19, 13, 3, Gradient(19, 13, 3), 90);
    DecodedImage image;
    ASSERT_EQ(DecodeJpeg(&image, file.data(), static_cast<UINT>(file.size())), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.Pitch, 19u * 4);
    EXPECT_EQ(image.Rect.right, 19);
    EXPECT_EQ(image.Rect.bottom, 13);
    EXPECT_TRUE(image.OwnsPixels);
    int w = 0, h = 0, c = 0;
    const Bytes reference = ReferenceJpeg(file, w, h, c);
    ASSERT_EQ(c, 3);
    for (int y = 0; y < 13; ++y) {
        for (int x = 0; x < 19; ++x) {
            const std::uint8_t* px = image.Pixels + y * image.Pitch + x * 4;
            const std::uint8_t* ref = &reference[static_cast<std::size_t>((y * 19 + x) * 3)];
            ASSERT_EQ(px[0], ref[2]) << x << "," << y;  // blue
            ASSERT_EQ(px[1], ref[1]);
            ASSERT_EQ(px[2], ref[0]);
            ASSERT_EQ(px[3], 0);
        }
    }
}

TEST(DecodeJpeg, GreyImageIsL8WithPitchEqualToWidth) {
    const Bytes samples = Gradient(21, 5, 1);
    const Bytes file = EncodeJpeg(21, 5, 1, samples);
    DecodedImage image;
    ASSERT_EQ(DecodeJpeg(&image, file.data(), static_cast<UINT>(file.size())), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_L8);
    EXPECT_EQ(image.Pitch, 21u);
    int w = 0, h = 0, c = 0;
    const Bytes reference = ReferenceJpeg(file, w, h, c);
    EXPECT_EQ(0, std::memcmp(image.Pixels, reference.data(), reference.size()));
}

TEST(DecodeJpeg, CmykIsRefusedByEveryDecoder) {
    const Bytes file = EncodeJpeg(8, 8, 4, Gradient(8, 8, 4));
    DecodedImage image;
    EXPECT_EQ(DecodeJpeg(&image, file.data(), static_cast<UINT>(file.size())), E_FAIL);
    EXPECT_EQ(DecodeImage(&image, file.data(), static_cast<UINT>(file.size()), nullptr), ERR_INVALID_DATA);
    EXPECT_EQ(image.Pixels, nullptr);
}

TEST(DecodeJpeg, TruncatedDataIsRefusedAtEveryLength) {
    const Bytes file = EncodeJpeg(40, 40, 3, Gradient(40, 40, 3));
    // Cutting anywhere before the last scan data leaves rows missing.
    for (std::size_t cut = 0; cut + 64 < file.size(); cut += 7) {
        DecodedImage image;
        EXPECT_LT(DecodeJpeg(&image, file.data(), static_cast<UINT>(cut)), 0) << "cut at " << cut;
        EXPECT_EQ(image.Pixels, nullptr);
    }
}

TEST(DecodeJpeg, MissingEndMarkerAfterCompleteRowsIsAccepted) {
    Bytes file = EncodeJpeg(16, 16, 3, Gradient(16, 16, 3));
    ASSERT_EQ(file[file.size() - 2], 0xFF);
    ASSERT_EQ(file[file.size() - 1], 0xD9);
    file.resize(file.size() - 2);
    DecodedImage image;
    EXPECT_EQ(DecodeJpeg(&image, file.data(), static_cast<UINT>(file.size())), S_OK);
}

TEST(DecodeJpeg, HeaderSizeAboveTheLimitIsRefusedBeforeDecoding) {
    Bytes file = EncodeJpeg(8, 8, 3, Gradient(8, 8, 3));
    const std::size_t at = FrameSizeOffset(file);
    ASSERT_NE(at, 0u);
    // height 20000, width 20000 (big-endian): 4e8 pixels, over the 2^28 limit
    file[at] = 20000 >> 8;
    file[at + 1] = 20000 & 0xFF;
    file[at + 2] = 20000 >> 8;
    file[at + 3] = 20000 & 0xFF;
    DecodedImage image;
    EXPECT_EQ(DecodeJpeg(&image, file.data(), static_cast<UINT>(file.size())), E_OUTOFMEMORY);
    EXPECT_EQ(DecodeImage(&image, file.data(), static_cast<UINT>(file.size()), nullptr), ERR_INVALID_DATA);
}

// A progressive 4:4:4 colour file whose coefficients alone (6 bytes a pixel) need more than
// 256 MiB, made row by row on the fly: bands of colour 64 rows high, which code to a few
// hundred kilobytes. The decoder gives libjpeg the memory this picture needs.
TEST(DecodeJpeg, LargeProgressiveFileIsDecoded) {
    constexpr JDIMENSION kSide = 6912;  // 864 x 864 blocks x 3 components x 128 bytes: 287 MB
    const auto band = [](JDIMENSION y, int c) { return static_cast<JSAMPLE>((y / 64 * 37 + c * 85) & 0xFF); };
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* encoded = nullptr;
    unsigned long encodedSize = 0;
    jpeg_mem_dest(&cinfo, &encoded, &encodedSize);
    cinfo.image_width = kSide;
    cinfo.image_height = kSide;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    Bytes row(kSide * 3);
    while (cinfo.next_scanline < kSide) {
        for (JDIMENSION x = 0; x < kSide; ++x) {
            for (int c = 0; c < 3; ++c) row[x * 3 + c] = band(cinfo.next_scanline, c);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const Bytes file(encoded, encoded + encodedSize);
    std::free(encoded);

    DecodedImage image;
    ASSERT_EQ(DecodeJpeg(&image, file.data(), static_cast<UINT>(file.size())), S_OK);
    ASSERT_EQ(image.Format, D3DFMT_X8R8G8B8);
    ASSERT_EQ(image.Rect.right, static_cast<LONG>(kSide));
    ASSERT_EQ(image.Rect.bottom, static_cast<LONG>(kSide));
    // The middle of each band (away from the edges the quantisation blurs) keeps its colour.
    for (JDIMENSION y = 32; y < kSide; y += 64 * 13) {
        for (JDIMENSION x : {JDIMENSION{0}, kSide / 2, kSide - 1}) {
            const std::uint8_t* p = image.Pixels + std::size_t{y} * image.Pitch + std::size_t{x} * 4;
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[2 - c], band(y, c), 2) << "at " << x << ", " << y;
            EXPECT_EQ(p[3], 0);
        }
    }
}

TEST(DecodeJpeg, MarkerLongerThanTheDataIsSkippedNoFurtherThanTheEnd) {
    // SOI, then an APP1 segment claiming 65533 bytes of which only a few exist: the
    // library asks to skip past the end of the block.
    const Bytes file = {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x', 'i', 'f', 0, 0};
    DecodedImage image;
    EXPECT_EQ(DecodeJpeg(&image, file.data(), static_cast<UINT>(file.size())), E_FAIL);
    // The same segment in front of a real image's markers.
    Bytes real = EncodeJpeg(8, 8, 3, Gradient(8, 8, 3));
    Bytes hostile(real.begin(), real.begin() + 2);
    const std::uint8_t app[] = {0xFF, 0xE1, 0x7F, 0xFF};
    hostile.insert(hostile.end(), app, app + sizeof(app));
    hostile.insert(hostile.end(), real.begin() + 2, real.end());
    EXPECT_EQ(DecodeJpeg(&image, hostile.data(), static_cast<UINT>(hostile.size())), E_FAIL);
}

TEST(DecodeJpeg, OtherDataIsRefusedWithoutCrash) {
    const std::uint8_t junk[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
    DecodedImage image;
    EXPECT_EQ(DecodeJpeg(&image, junk, sizeof(junk)), E_FAIL);
    EXPECT_EQ(DecodeJpeg(&image, junk, 1), E_FAIL);
    const std::uint8_t png[] = {0x89, 'P', 'N', 'G'};
    EXPECT_EQ(DecodeJpeg(&image, png, sizeof(png)), E_FAIL);
}

// ---- PNG ------------------------------------------------------------------------------

DecodedImage* DecodePngOk(DecodedImage& image, const Bytes& file) {
    EXPECT_EQ(DecodePng(&image, file.data(), static_cast<UINT>(file.size())), S_OK);
    return &image;
}

TEST(DecodePng, RgbGetsBgrOrderAndFillerFF) {
    PngRecipe png;
    png.width = 2;
    png.colorType = PNG_COLOR_TYPE_RGB;
    png.rows = {10, 20, 30, 40, 50, 60};
    DecodedImage image;
    DecodePngOk(image, EncodePng(png));
    EXPECT_EQ(image.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.Pitch, 8u);
    const std::uint8_t expected[] = {30, 20, 10, 0xFF, 60, 50, 40, 0xFF};
    EXPECT_EQ(0, std::memcmp(image.Pixels, expected, sizeof(expected)));
}

TEST(DecodePng, RgbaIsA8R8G8B8) {
    PngRecipe png;
    png.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    png.rows = {1, 2, 3, 4};
    DecodedImage image;
    DecodePngOk(image, EncodePng(png));
    EXPECT_EQ(image.Format, D3DFMT_A8R8G8B8);
    const std::uint8_t expected[] = {3, 2, 1, 4};
    EXPECT_EQ(0, std::memcmp(image.Pixels, expected, sizeof(expected)));
}

TEST(DecodePng, RgbWithTransparentKeyGetsAlpha) {
    PngRecipe png;
    png.width = 2;
    png.colorType = PNG_COLOR_TYPE_RGB;
    png.rows = {10, 20, 30, 40, 50, 60};
    png.transparency = {0, 40, 0, 50, 0, 60};
    DecodedImage image;
    DecodePngOk(image, EncodePng(png));
    EXPECT_EQ(image.Format, D3DFMT_A8R8G8B8);
    const std::uint8_t expected[] = {30, 20, 10, 0xFF, 60, 50, 40, 0};
    EXPECT_EQ(0, std::memcmp(image.Pixels, expected, sizeof(expected)));
}

TEST(DecodePng, SixteenBitGreyWithTransparencyIsA8L8WithTheHighBytes) {
    PngRecipe png;
    png.width = 2;
    png.colorType = PNG_COLOR_TYPE_GRAY;
    png.bitDepth = 16;
    png.rows = {0x12, 0x34, 0xAB, 0xCD};
    png.transparency = {0xAB, 0xCD};
    DecodedImage image;
    DecodePngOk(image, EncodePng(png));
    EXPECT_EQ(image.Format, D3DFMT_A8L8);
    EXPECT_EQ(image.Pitch, 4u);
    const std::uint8_t expected[] = {0x12, 0xFF, 0xAB, 0x00};
    EXPECT_EQ(0, std::memcmp(image.Pixels, expected, sizeof(expected)));
}

TEST(DecodePng, OneBitGreyExpandsToFullRange) {
    PngRecipe png;
    png.width = 10;
    png.colorType = PNG_COLOR_TYPE_GRAY;
    png.bitDepth = 1;
    png.rows = {0b10110000, 0b01000000};
    DecodedImage image;
    DecodePngOk(image, EncodePng(png));
    EXPECT_EQ(image.Format, D3DFMT_L8);
    const std::uint8_t expected[] = {255, 0, 255, 255, 0, 0, 0, 0, 0, 255};
    EXPECT_EQ(0, std::memcmp(image.Pixels, expected, sizeof(expected)));
}

TEST(DecodePng, PaletteWithoutGammaKeepsColoursAndFillsTheRest) {
    PngRecipe png;
    png.width = 3;
    png.colorType = PNG_COLOR_TYPE_PALETTE;
    png.bitDepth = 4;
    png.rows = {0x21, 0x00};
    png.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    png.transparency = {128};
    DecodedImage image;
    DecodePngOk(image, EncodePng(png));
    EXPECT_EQ(image.Format, D3DFMT_P8);
    EXPECT_EQ(image.Pitch, 3u);
    const std::uint8_t indices[] = {2, 1, 0};
    EXPECT_EQ(0, std::memcmp(image.Pixels, indices, 3));
    ASSERT_NE(image.Palette, nullptr);
    EXPECT_TRUE(image.OwnsPalette);
    const std::uint8_t entries[] = {10, 20, 30, 128, 40, 50, 60, 255, 70, 80, 90, 255, 255, 255, 255, 255};
    EXPECT_EQ(0, std::memcmp(image.Palette, entries, sizeof(entries)));
    EXPECT_EQ(image.Palette[4 * 255], 255);
}

TEST(DecodePng, PaletteGammaIsAppliedExactlyOnce) {
    // File gamma 1/1.1 with screen gamma 2.2: the correction is a square root, so 64
    // becomes 255 * sqrt(64 / 255) = 127.75 -> 128 (applied twice it would be 180).
    PngRecipe png;
    png.colorType = PNG_COLOR_TYPE_PALETTE;
    png.rows = {0};
    png.palette = {64, 0, 255};
    png.gamma = 1.0 / 1.1;
    DecodedImage image;
    DecodePngOk(image, EncodePng(png));
    ASSERT_NE(image.Palette, nullptr);
    EXPECT_EQ(image.Palette[0], 128);
    EXPECT_EQ(image.Palette[1], 0);
    EXPECT_EQ(image.Palette[2], 255);
    EXPECT_EQ(image.Palette[3], 255);
}

TEST(DecodePng, InterlacedImageMatchesTheSameImageStoredPlainly) {
    PngRecipe png;
    png.width = 13;
    png.height = 11;
    png.colorType = PNG_COLOR_TYPE_RGB;
    png.rows = Gradient(13, 11, 3);
    DecodedImage plain;
    DecodePngOk(plain, EncodePng(png));
    png.interlaced = true;
    DecodedImage interlaced;
    DecodePngOk(interlaced, EncodePng(png));
    ASSERT_EQ(plain.Pitch, interlaced.Pitch);
    EXPECT_EQ(0, std::memcmp(plain.Pixels, interlaced.Pixels, plain.Pitch * 11));
}

// Rewrites the IHDR width (and its CRC) of a PNG file.
void SetPngWidth(Bytes& file, std::uint32_t width) {
    std::uint8_t* ihdr = file.data() + 12;  // chunk type, then the data
    ihdr[4] = static_cast<std::uint8_t>(width >> 24);
    ihdr[5] = static_cast<std::uint8_t>(width >> 16);
    ihdr[6] = static_cast<std::uint8_t>(width >> 8);
    ihdr[7] = static_cast<std::uint8_t>(width);
    const uLong crc = crc32(0, ihdr, 4 + 13);
    std::uint8_t* out = ihdr + 4 + 13;
    out[0] = static_cast<std::uint8_t>(crc >> 24);
    out[1] = static_cast<std::uint8_t>(crc >> 16);
    out[2] = static_cast<std::uint8_t>(crc >> 8);
    out[3] = static_cast<std::uint8_t>(crc);
}

TEST(DecodePng, WidthAboveTheLimitIsRefused) {
    PngRecipe png;
    png.colorType = PNG_COLOR_TYPE_GRAY;
    png.rows = {0};
    Bytes file = EncodePng(png);
    SetPngWidth(file, 16385);
    DecodedImage image;
    EXPECT_LT(DecodePng(&image, file.data(), static_cast<UINT>(file.size())), 0);
    EXPECT_EQ(image.Pixels, nullptr);
    SetPngWidth(file, 0x7FFFFFFF);
    EXPECT_LT(DecodePng(&image, file.data(), static_cast<UINT>(file.size())), 0);
}

TEST(DecodePng, TruncatedOrDamagedFilesAreRefused) {
    PngRecipe png;
    png.width = 8;
    png.height = 8;
    png.colorType = PNG_COLOR_TYPE_RGB;
    png.rows = Gradient(8, 8, 3);
    const Bytes file = EncodePng(png);
    for (std::size_t cut = 0; cut + 12 < file.size(); cut += 5) {
        DecodedImage image;
        EXPECT_LT(DecodePng(&image, file.data(), static_cast<UINT>(cut)), 0) << "cut at " << cut;
        EXPECT_EQ(image.Pixels, nullptr);
    }
    Bytes badSignature = file;
    badSignature[1] = 'Q';
    DecodedImage image;
    EXPECT_EQ(DecodePng(&image, badSignature.data(), static_cast<UINT>(badSignature.size())), E_FAIL);
}

}  // namespace

namespace {

// A chunk claiming a gigabyte of text in a 40-byte file: skipped unread and refused when
// the data runs out (libpng alone would allocate and clear the claimed length first).
TEST(DecodePng, HugeAncillaryChunkIsNotAllocated) {
    PngRecipe png;
    png.colorType = PNG_COLOR_TYPE_GRAY;
    png.rows = Bytes(1, 0);
    Bytes file = EncodePng(png);
    Bytes hostile(file.begin(), file.begin() + 33);  // signature and IHDR
    const std::uint8_t chunk[] = {0x3F, 0xFF, 0xFF, 0xFF, 'i', 'T', 'X', 't', 'k', 'e', 'y', 0, 0, 0};
    hostile.insert(hostile.end(), chunk, chunk + sizeof(chunk));
    DecodedImage image;
    EXPECT_EQ(DecodePng(&image, hostile.data(), static_cast<UINT>(hostile.size())), E_FAIL);
}

}  // namespace
