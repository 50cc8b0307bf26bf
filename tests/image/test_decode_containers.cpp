// The container decoders (BMP file, DIB, PPM, DDS, TGA) on small files built here.
#include <gtest/gtest.h>

#include <cstring>

#include "decode_test_files.h"
#include "image/image_file.h"

namespace {

HRESULT Decode(HRESULT (*decoder)(DecodedImage*, const void*, UINT), DecodedImage& image, const Bytes& data) {
    return decoder(&image, data.data(), static_cast<UINT>(data.size()));
}

Bytes Row(std::initializer_list<unsigned> values) {
    Bytes out;
    for (unsigned v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

// ---- BMP and DIB ------------------------------------------------------------------------

TEST(DecodeBmp, BottomUp24BitWidth3HasPitch12AndStartsWithTheLastFileRow) {
    ByteWriter dib = DibHeader(3, 2, 24, 0);
    dib.raw(Row({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}));         // bottom row, padded to 12
    dib.raw(Row({11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0}));  // top row
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeBmpFile, image, BmpFile(dib.bytes)), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(image.Pitch, 12u);
    EXPECT_TRUE(image.OwnsPixels);
    EXPECT_EQ(image.Pixels[0], 11);
    EXPECT_EQ(image.Pixels[12], 1);
    EXPECT_EQ(image.Pixels[12 + 8], 9);
}

TEST(DecodeBmp, OneBitWidth33ReadsEightByteRowsMostSignificantBitFirst) {
    ByteWriter dib = DibHeader(33, 2, 1, 0);
    dib.u32(0x00FF0000).u32(0x00FFFFFF);  // palette: red, white (0x00RRGGBB words)
    dib.raw(Row({0x80, 0, 0, 0, 0x80, 0, 0, 0}));   // bottom: pixels 0 and 32 set
    dib.raw(Row({0x40, 0, 0, 1, 0, 0, 0, 0}));      // top: pixels 1 and 31 set
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeBmpFile, image, BmpFile(dib.bytes)), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_P8);
    EXPECT_EQ(image.Pitch, 36u);
    const std::uint8_t* top = image.Pixels;
    const std::uint8_t* bottom = image.Pixels + 36;
    EXPECT_EQ(top[0], 0);
    EXPECT_EQ(top[1], 1);
    EXPECT_EQ(top[31], 1);
    EXPECT_EQ(top[32], 0);
    EXPECT_EQ(bottom[0], 1);
    EXPECT_EQ(bottom[32], 1);
    // Palette entries: stored blue, green, red; read as red, green, blue, alpha 255.
    const std::uint8_t palette[] = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(0, std::memcmp(image.Palette, palette, sizeof(palette)));
}

TEST(DecodeBmp, FourBitTakesTheHighNibbleFirst) {
    ByteWriter dib = DibHeader(3, 1, 4, 0, 16);
    dib.fill(64, 0);
    dib.raw(Row({0x1F, 0x70, 0, 0}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDib, image, dib.bytes), S_OK);
    EXPECT_EQ(image.Pixels[0], 1);
    EXPECT_EQ(image.Pixels[1], 15);
    EXPECT_EQ(image.Pixels[2], 7);
}

TEST(DecodeDib, TopDown32BitIsUsedInPlace) {
    ByteWriter dib = DibHeader(2, -2, 32, 0);
    dib.u32(0x11223344).u32(0x55667788).u32(0x99AABBCC).u32(0xDDEEFF00);
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDib, image, dib.bytes), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_X8R8G8B8);
    EXPECT_FALSE(image.OwnsPixels);
    EXPECT_EQ(image.Pixels, dib.bytes.data() + 40);
    EXPECT_EQ(image.Pitch, 8u);
}

TEST(DecodeDib, TopDown8BitIsUsedInPlaceAfterItsPalette) {
    ByteWriter dib = DibHeader(4, -1, 8, 0, 2);
    dib.u32(0x00102030).u32(0x00405060).raw(Row({1, 0, 1, 0}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDib, image, dib.bytes), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_P8);
    EXPECT_EQ(image.Pixels, dib.bytes.data() + 48);
    const std::uint8_t palette[] = {0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(0, std::memcmp(image.Palette, palette, sizeof(palette)));
}

// The limit is on the pixel count, not on a side: a strip of 64000 pixels either way
// decodes (the BMP suite has a 1 x 64000 file), each pixel where it belongs.
TEST(DecodeDib, LongStripsWithinThePixelLimitDecode) {
    for (const auto& [width, height] : {std::pair{1, 64000}, std::pair{64000, 1}}) {
        ByteWriter dib = DibHeader(width, height, 8, 0, 2);
        dib.u32(0x00102030).u32(0x00405060);
        const int stride = (width + 3) / 4 * 4;
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < stride; ++x) dib.raw(Row({x < width && (row + x) % 3 == 0 ? 1u : 0u}));
        DecodedImage image;
        ASSERT_EQ(Decode(DecodeDib, image, dib.bytes), S_OK) << width << "x" << height;
        EXPECT_EQ(image.Rect.right, width);
        EXPECT_EQ(image.Rect.bottom, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int fileRow = height - 1 - y;  // bottom-up
                ASSERT_EQ(image.Pixels[y * image.Pitch + x], (fileRow + x) % 3 == 0 ? 1 : 0) << x << "," << y;
            }
        image.Free();
    }
}

TEST(DecodeDib, BitFieldMasksSelectTheFormat) {
    struct Case {
        unsigned bitCount;
        std::uint32_t masks[4];
        D3DFORMAT format;
    } cases[] = {
        {16, {0xF800, 0x7E0, 0x1F, 0}, D3DFMT_R5G6B5},
        {16, {0x7C00, 0x3E0, 0x1F, 0x8000}, D3DFMT_A1R5G5B5},
        {16, {0xF00, 0xF0, 0xF, 0xF000}, D3DFMT_A4R4G4B4},
        {16, {0xFF, 0xFF, 0xFF, 0xFF00}, D3DFMT_A8L8},
        {16, {0xE0, 0x1C, 0x3, 0xFF00}, D3DFMT_A8R3G3B2},
        {32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, D3DFMT_A8R8G8B8},
        {32, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_X8R8G8B8},
        {24, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_R8G8B8},
        {16, {0xF800, 0x7E0, 0x1F, 0x1}, D3DFMT_UNKNOWN},  // not a known layout
        {32, {0xFF, 0xFF00, 0xFF0000, 0}, D3DFMT_UNKNOWN},  // red and blue swapped
        {8, {0xE0, 0x1C, 0x3, 0}, D3DFMT_UNKNOWN},
    };
    for (const Case& c : cases) {
        ByteWriter dib = DibHeader(1, 1, c.bitCount, 3, 0, 108, c.masks);
        dib.fill(4, 0x5A);
        DecodedImage image;
        const HRESULT hr = Decode(DecodeDib, image, dib.bytes);
        if (c.format == D3DFMT_UNKNOWN) {
            EXPECT_EQ(hr, E_FAIL) << c.bitCount << " " << c.masks[0];
        } else {
            ASSERT_EQ(hr, S_OK) << c.bitCount << " " << c.masks[0];
            EXPECT_EQ(image.Format, c.format);
        }
    }
    // Bit fields need the header that carries the masks.
    const std::uint32_t masks[4] = {0xF800, 0x7E0, 0x1F, 0};
    ByteWriter shortHeader = DibHeader(1, 1, 16, 3, 0, 40);
    shortHeader.u32(masks[0]).u32(masks[1]).u32(masks[2]).fill(4, 0);
    DecodedImage image;
    EXPECT_EQ(Decode(DecodeDib, image, shortHeader.bytes), E_FAIL);
}

TEST(DecodeDib, HeaderRefusals) {
    struct Case {
        const char* what;
        Bytes data;
        HRESULT expected;
    } cases[] = {
        {"header size 39", DibHeader(1, 1, 24, 0, 0, 40).u32(0).bytes, E_FAIL},
        {"planes 2", [] { auto w = DibHeader(1, 1, 24, 0); w.bytes[12] = 2; return w.u32(0).bytes; }(), E_FAIL},
        {"palette past the end", DibHeader(1, 1, 8, 0, 200).fill(100, 0).bytes, E_FAIL},
        {"absurd palette", DibHeader(1, 1, 8, 0, 0x12345678).fill(100, 0).bytes, E_FAIL},
        {"top-down RLE8", DibHeader(1, -1, 8, 1, 1).fill(8, 0).bytes, E_FAIL},
        {"RLE8 with 24 bits", DibHeader(1, 1, 24, 1).fill(8, 0).bytes, E_FAIL},
        {"RLE4 with 8 bits", DibHeader(1, 1, 8, 2, 1).fill(8, 0).bytes, E_FAIL},
        {"bit count 2", DibHeader(4, 1, 2, 0, 1).fill(8, 0).bytes, E_FAIL},
        {"bit count 64", DibHeader(1, 1, 64, 0).fill(8, 0).bytes, E_FAIL},
        {"compression 4", DibHeader(1, 1, 24, 4).fill(8, 0).bytes, E_NOTIMPL},
        {"compression 5", DibHeader(1, 1, 24, 5).fill(8, 0).bytes, E_NOTIMPL},
        {"negative width", DibHeader(-1, 1, 24, 0).fill(8, 0).bytes, E_FAIL},
        {"zero height", DibHeader(1, 0, 24, 0).fill(8, 0).bytes, E_FAIL},
        {"pixels over the limit", DibHeader(16385, 16385, 8, 0, 1).fill(20000, 0).bytes, E_OUTOFMEMORY},
        {"one row over the limit", DibHeader((1 << 28) + 1, 1, 8, 0, 1).fill(20000, 0).bytes, E_OUTOFMEMORY},
        {"huge size", DibHeader(3000000, 2000000, 24, 0).fill(8, 0).bytes, E_OUTOFMEMORY},
        {"height INT_MIN", DibHeader(1, INT32_MIN, 32, 0).fill(8, 0).bytes, E_OUTOFMEMORY},
        {"short pixel data", DibHeader(4, 4, 24, 0).fill(4 * 12 - 1, 0).bytes, E_FAIL},
    };
    cases[0].data[0] = 39;
    for (const Case& c : cases) {
        DecodedImage image;
        EXPECT_EQ(Decode(DecodeDib, image, c.data), c.expected) << c.what;
        image.Free();
    }
}

TEST(DecodeDib, LastRowMayLackItsPadding) {
    ByteWriter dib = DibHeader(1, 2, 24, 0);
    dib.raw(Row({1, 2, 3, 0})).raw(Row({4, 5, 6}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDib, image, dib.bytes), S_OK);
    EXPECT_EQ(image.Pixels[0], 4);
    EXPECT_EQ(image.Pixels[4], 1);
}

TEST(DecodeDib, ColourTableOver256EntriesIsCutButLocatesThePixels) {
    ByteWriter dib = DibHeader(2, 1, 8, 0, 300);
    for (unsigned i = 0; i < 300; ++i) {
        dib.u32(i);  // blue = i & 0xFF
    }
    dib.raw(Row({255, 7, 0, 0}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDib, image, dib.bytes), S_OK);
    EXPECT_EQ(image.Pixels[0], 255);
    EXPECT_EQ(image.Pixels[1], 7);
    EXPECT_EQ(image.Palette[4 * 255 + 2], 255);  // entry 255's blue
}

TEST(DecodeDib, SixteenBitWithoutCompressionIsX1R5G5B5) {
    ByteWriter dib = DibHeader(1, 1, 16, 0);
    dib.u16(0x7C00).u16(0);
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDib, image, dib.bytes), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_X1R5G5B5);
    EXPECT_EQ(image.Pitch, 4u);
}

TEST(DecodeDib, Rle8RunsEscapesDeltaAndAbsoluteRuns) {
    // 6 x 3, bottom-up. Row 0 (bottom): run of 3 x 5, absolute 1 2 3 (padded);
    // delta (1, 1) to x = 7 -> off the row; end of line -> row 2 (delta moved to row 1).
    ByteWriter dib = DibHeader(6, 3, 8, 1, 8);
    dib.fill(32, 0);
    dib.raw(Row({3, 5, 0, 3, 1, 2, 3, 0}));
    dib.raw(Row({0, 2, 1, 1}));
    dib.raw(Row({2, 9, 0, 0}));     // row 1: x = 7 is past the edge; end of line -> row 2
    dib.raw(Row({10, 4, 0, 1}));    // row 2: run longer than the row, then end of bitmap
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDib, image, dib.bytes), S_OK);
    EXPECT_EQ(image.Pitch, 8u);
    const std::uint8_t* bottom = image.Pixels + 2 * 8;
    const std::uint8_t* middle = image.Pixels + 8;
    const std::uint8_t* top = image.Pixels;
    EXPECT_EQ(0, std::memcmp(bottom, Row({5, 5, 5, 1, 2, 3}).data(), 6));
    EXPECT_EQ(0, std::memcmp(middle, Row({0, 0, 0, 0, 0, 0}).data(), 6));
    EXPECT_EQ(0, std::memcmp(top, Row({4, 4, 4, 4, 4, 4}).data(), 6));
}

TEST(DecodeDib, Rle4AbsoluteRunOfFivePixelsConsumesSixBytes) {
    // 8 x 1: absolute run of 5 (bytes 0x12 0x34 0x50 + pad), then a run 0xAB of 3.
    ByteWriter dib = DibHeader(8, 1, 4, 2, 16);
    dib.fill(64, 0);
    dib.raw(Row({0, 5, 0x12, 0x34, 0x50, 0xEE, 3, 0xAB, 0, 1}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDib, image, dib.bytes), S_OK);
    EXPECT_EQ(0, std::memcmp(image.Pixels, Row({1, 2, 3, 4, 5, 0xA, 0xB, 0xA}).data(), 8));
}

TEST(DecodeDib, RleThatRunsOutOfDataInsideTheImageIsRefused) {
    ByteWriter dib = DibHeader(4, 2, 8, 1, 1);
    dib.fill(4, 0).raw(Row({4, 1, 0, 0, 4}));  // second command cut short
    DecodedImage image;
    EXPECT_EQ(Decode(DecodeDib, image, dib.bytes), E_FAIL);
    // An absolute run longer than the data.
    ByteWriter run = DibHeader(200, 1, 8, 1, 1);
    run.fill(4, 0).raw(Row({0, 200, 1, 2, 3}));
    DecodedImage other;
    EXPECT_EQ(Decode(DecodeDib, other, run.bytes), E_FAIL);
    // Rows fully covered by end-of-line commands without an end of bitmap are complete.
    ByteWriter covered = DibHeader(2, 2, 8, 1, 1);
    covered.fill(4, 0).raw(Row({2, 1, 0, 0, 2, 1, 0, 0}));
    DecodedImage done;
    EXPECT_EQ(Decode(DecodeDib, done, covered.bytes), S_OK);
}

TEST(DecodeBmp, FileHeaderChecks) {
    ByteWriter dib = DibHeader(1, 1, 24, 0);
    dib.fill(4, 0);
    Bytes file = BmpFile(dib.bytes);
    DecodedImage image;
    EXPECT_EQ(Decode(DecodeBmpFile, image, file), S_OK);
    image.Free();
    Bytes bigger = file;
    bigger[2] += 1;  // file size field one past the data
    EXPECT_EQ(Decode(DecodeBmpFile, image, bigger), E_FAIL);
    Bytes notBm = file;
    notBm[1] = 'A';
    EXPECT_EQ(Decode(DecodeBmpFile, image, notBm), E_FAIL);
    EXPECT_EQ(DecodeBmpFile(&image, file.data(), 13), E_FAIL);
}

// ---- PPM --------------------------------------------------------------------------------

TEST(DecodePpm, BinaryPixelsWithCommentsInTheHeader) {
    ByteWriter w;
    w.text("P6\n# made by hand\n2 # width\n# between\n1\n255\n").raw(Row({10, 20, 30, 40, 50, 60}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodePpm, image, w.bytes), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.Pitch, 8u);
    EXPECT_EQ(0, std::memcmp(image.Pixels, Row({30, 20, 10, 255, 60, 50, 40, 255}).data(), 8));
}

TEST(DecodePpm, CarriageReturnLineFeedAfterTheMaximum) {
    ByteWriter w;
    w.text("P6 1 1 255\r\n").raw(Row({1, 2, 3}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodePpm, image, w.bytes), S_OK);
    EXPECT_EQ(0, std::memcmp(image.Pixels, Row({3, 2, 1, 255}).data(), 4));
}

TEST(DecodePpm, AsciiValuesAreScaledWithTruncation) {
    ByteWriter w;
    w.text("P3 2 1 65535\n65535 0 257\n 32768 1 65534");
    DecodedImage image;
    ASSERT_EQ(Decode(DecodePpm, image, w.bytes), S_OK);
    // 257 * 255 / 65535 = 1; 32768 * 255 / 65535 = 127.5 -> 127; 65534 -> 254.99 -> 254
    EXPECT_EQ(0, std::memcmp(image.Pixels, Row({1, 0, 255, 255, 254, 0, 127, 255}).data(), 8));
}

TEST(DecodePpm, BinaryMaximumBelow255IsScaled) {
    ByteWriter w;
    w.text("P6 1 1 15\n").raw(Row({15, 7, 0}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodePpm, image, w.bytes), S_OK);
    EXPECT_EQ(0, std::memcmp(image.Pixels, Row({0, 119, 255, 255}).data(), 4));
}

TEST(DecodePpm, Refusals) {
    struct Case {
        const char* text;
        HRESULT expected;
    } cases[] = {
        {"P6 1 1 65535\n\x01\x02\x03\x04\x05\x06", E_FAIL},  // binary samples are bytes
        {"P6 1 1 255\n\x01\x02", E_FAIL},                     // short pixel data
        {"P3 2 1 255\n1 2 3 4 5", E_FAIL},                    // runs out
        {"P3 1 1 255\n1 2 x", E_FAIL},                        // not a number
        {"P3 1 1 255\n1 2 300", E_FAIL},                      // above the maximum
        {"P3 1x 1 255\n1 2 3", E_FAIL},
        {"P6 0 1 255\n", E_FAIL},
        {"P6 1 1 0\n\x01\x02\x03", E_FAIL},
        {"P3 1 1 99999999999 1 1 1", E_FAIL},                 // past 32 bits
        {"P632 358888888632!\n", E_FAIL},
        {"P6 20000 20000 255\n", E_OUTOFMEMORY},
        {"P6 1 1 255", E_FAIL},                               // no separator
        {"P5 1 1 255\n\x01", E_FAIL},
        {"P", E_FAIL},
    };
    for (const Case& c : cases) {
        DecodedImage image;
        const Bytes data(c.text, c.text + std::strlen(c.text));
        EXPECT_EQ(Decode(DecodePpm, image, data), c.expected) << c.text;
    }
}

TEST(DecodePpm, AsciiSucceedsAsSoonAsTheLastPixelIsComplete) {
    ByteWriter w;
    w.text("P3 1 1 255 1 2 3 trailing words");
    DecodedImage image;
    EXPECT_EQ(Decode(DecodePpm, image, w.bytes), S_OK);
}

// ---- DDS --------------------------------------------------------------------------------

TEST(DecodeDds, MipChainPointsIntoTheFileLevelByLevel) {
    DdsOptions o;
    o.width = 8;
    o.height = 2;
    o.mipCount = 4;
    ByteWriter w = DdsHeader(o);
    w.fill(8 * 2 * 4 + 4 * 1 * 4 + 2 * 4 + 4, 0x11);
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDds, image, w.bytes), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_A8R8G8B8);
    const DecodedImage* level = &image;
    const std::uint32_t sizes[][2] = {{8, 2}, {4, 1}, {2, 1}, {1, 1}};
    std::size_t offset = 128;
    for (const auto& size : sizes) {
        ASSERT_NE(level, nullptr);
        EXPECT_EQ(level->Rect.right, static_cast<LONG>(size[0]));
        EXPECT_EQ(level->Rect.bottom, static_cast<LONG>(size[1]));
        EXPECT_EQ(level->Pitch, size[0] * 4);
        EXPECT_EQ(level->Pixels, w.bytes.data() + offset);
        EXPECT_FALSE(level->OwnsPixels);
        offset += size[0] * size[1] * 4;
        level = level->NextLevel;
    }
    EXPECT_EQ(level, nullptr);
}

TEST(DecodeDds, FourccWinsOverTheFlagsAndBlocksRoundUp) {
    DdsOptions o;
    o.width = 5;
    o.height = 3;
    o.fourcc = MAKEFOURCC('D', 'X', 'T', '1');
    o.flags = 0x40;
    ByteWriter w = DdsHeader(o);
    w.fill(2 * 8, 0);  // 2 x 1 blocks of 8 bytes
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeDds, image, w.bytes), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_DXT1);
    EXPECT_EQ(image.Pitch, 16u);
    o.fourcc = MAKEFOURCC('D', 'X', 'T', '5');
    ByteWriter five = DdsHeader(o);
    five.fill(2 * 16 - 1, 0);
    EXPECT_EQ(Decode(DecodeDds, image, five.bytes), E_FAIL);
}

TEST(DecodeDds, UncompressedFormatTable) {
    struct Case {
        std::uint32_t flags, bits, green, alpha;
        D3DFORMAT format;
    } cases[] = {
        {0x41, 32, 0xFF00, 0xFF000000, D3DFMT_A8R8G8B8}, {0x40, 32, 0xFF00, 0, D3DFMT_X8R8G8B8},
        {0x40, 16, 0x7E0, 0, D3DFMT_R5G6B5},             {0x40, 16, 0x3E0, 0, D3DFMT_X1R5G5B5},
        {0x41, 16, 0x3E0, 0x8000, D3DFMT_A1R5G5B5},      {0x41, 16, 0xF0, 0xF000, D3DFMT_A4R4G4B4},
        {0x41, 32, 0xFF00, 0, D3DFMT_UNKNOWN},           {0x40, 24, 0xFF00, 0, D3DFMT_UNKNOWN},
        {0x01, 32, 0xFF00, 0xFF000000, D3DFMT_UNKNOWN},
    };
    for (const Case& c : cases) {
        DdsOptions o;
        o.width = o.height = 1;
        o.flags = c.flags;
        o.bitCount = c.bits;
        o.greenMask = c.green;
        o.alphaMask = c.alpha;
        ByteWriter w = DdsHeader(o);
        w.fill(4, 0);
        DecodedImage image;
        const HRESULT hr = Decode(DecodeDds, image, w.bytes);
        if (c.format == D3DFMT_UNKNOWN) {
            EXPECT_EQ(hr, E_FAIL);
        } else {
            ASSERT_EQ(hr, S_OK);
            EXPECT_EQ(image.Format, c.format);
            EXPECT_EQ(image.Pitch, c.bits / 8);
        }
    }
}

TEST(DecodeDds, CubeMapsNeedAllSixFaces) {
    DdsOptions o;
    o.width = o.height = 2;
    o.caps2 = 0x0400 | 0x200;
    ByteWriter partial = DdsHeader(o);
    partial.fill(6 * 16, 0);
    DecodedImage image;
    EXPECT_EQ(Decode(DecodeDds, image, partial.bytes), E_FAIL);

    o.caps2 = 0xFE00;
    ByteWriter cube = DdsHeader(o);
    for (int face = 0; face < 6; ++face) {
        cube.fill(16, static_cast<unsigned>(face));
    }
    ASSERT_EQ(Decode(DecodeDds, image, cube.bytes), S_OK);
    int faces = 0;
    for (const DecodedImage* face = &image; face != nullptr; face = face->NextFace) {
        EXPECT_EQ(face->NextLevel, nullptr);
        EXPECT_EQ(face->Pixels[0], faces);
        ++faces;
    }
    EXPECT_EQ(faces, 6);
}

TEST(DecodeDds, LevelPastTheEndIsRefusedAndMipCountIsCutToTheFullChain) {
    DdsOptions o;
    o.width = o.height = 4;
    o.mipCount = 3;
    ByteWriter w = DdsHeader(o);
    w.fill(64 + 16 + 3, 0);  // the 1x1 level lacks a byte
    DecodedImage image;
    EXPECT_EQ(Decode(DecodeDds, image, w.bytes), E_FAIL);
    image.Free();
    EXPECT_EQ(image.NextLevel, nullptr);

    o.mipCount = 1000000;
    ByteWriter many = DdsHeader(o);
    many.fill(64 + 16 + 4 + 4 * 1000, 0);
    ImageInfo info{};
    ASSERT_EQ(DecodeImage(&image, many.bytes.data(), static_cast<UINT>(many.bytes.size()), &info), S_OK);
    EXPECT_EQ(info.MipLevels, 3u);
}

// ---- TGA --------------------------------------------------------------------------------

TEST(DecodeTga, BottomUpIsCopiedAndFlipped) {
    ByteWriter w = TgaHeader(0, 0, 2, 0, 0, 0, 2, 2, 24, 0);
    w.raw(Row({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeTga, image, w.bytes), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(image.Pitch, 6u);
    EXPECT_TRUE(image.OwnsPixels);
    EXPECT_EQ(0, std::memcmp(image.Pixels, Row({7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}).data(), 12));
}

TEST(DecodeTga, TopDownLeftToRightIsUsedInPlaceAndRightToLeftIsMirrored) {
    ByteWriter w = TgaHeader(3, 0, 3, 0, 0, 0, 3, 1, 8, 0x20);
    w.text("id!").raw(Row({1, 2, 3}));
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeTga, image, w.bytes), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_L8);
    EXPECT_FALSE(image.OwnsPixels);
    EXPECT_EQ(image.Pixels, w.bytes.data() + 21);
    w.bytes[17] = 0x30;
    ASSERT_EQ(Decode(DecodeTga, image, w.bytes), S_OK);
    EXPECT_EQ(0, std::memcmp(image.Pixels, Row({3, 2, 1}).data(), 3));
}

TEST(DecodeTga, ColourMapEntriesOfEachSize) {
    // 15-bit: red 31 -> 255; 16-bit with the top bit clear -> alpha 0; 24 and 32 bits.
    struct Case {
        unsigned bits;
        Bytes entry;
        Bytes rgba;
    } cases[] = {
        {15, Row({0x00, 0x7C}), Row({255, 0, 0, 255})},
        {16, Row({0x10, 0x02}), Row({0, 132, 132, 0})},
        {16, Row({0x1F, 0x80}), Row({0, 0, 255, 255})},
        {24, Row({1, 2, 3}), Row({3, 2, 1, 255})},
        {32, Row({1, 2, 3, 4}), Row({3, 2, 1, 4})},
    };
    for (const Case& c : cases) {
        ByteWriter w = TgaHeader(0, 1, 1, 5, 1, c.bits, 1, 1, 8, 0x20);
        w.raw(c.entry).u8(5);
        DecodedImage image;
        ASSERT_EQ(Decode(DecodeTga, image, w.bytes), S_OK) << c.bits;
        EXPECT_EQ(image.Format, D3DFMT_P8);
        EXPECT_EQ(0, std::memcmp(image.Palette + 20, c.rgba.data(), 4)) << c.bits;
        EXPECT_EQ(image.Palette[0], 0xFF);  // entries outside the map stay white
        EXPECT_EQ(image.Palette[4 * 6 + 3], 0xFF);
    }
}

TEST(DecodeTga, RlePacketsCrossRowsAndStopAtTheLastPixel) {
    // 3 x 2 bottom-up 16-bit: a run of 4 crossing the row end, then a raw packet of 3
    // of which only 2 fit.
    ByteWriter w = TgaHeader(0, 0, 10, 0, 0, 0, 3, 2, 16, 0);
    w.u8(0x83).u16(0x1111).u8(0x02).u16(0x2222).u16(0x3333).u16(0x4444);
    DecodedImage image;
    ASSERT_EQ(Decode(DecodeTga, image, w.bytes), S_OK);
    EXPECT_EQ(image.Format, D3DFMT_A1R5G5B5);
    const std::uint16_t expected[] = {0x1111, 0x2222, 0x3333, 0x1111, 0x1111, 0x1111};
    EXPECT_EQ(0, std::memcmp(image.Pixels, expected, sizeof(expected)));
}

TEST(DecodeTga, Refusals) {
    struct Case {
        const char* what;
        Bytes data;
        HRESULT expected;
    } cases[] = {
        {"map first + length 257", TgaHeader(0, 1, 1, 1, 256, 24, 1, 1, 8, 0).fill(768 + 1, 0).bytes, E_FAIL},
        {"map type 2", TgaHeader(0, 2, 2, 0, 0, 0, 1, 1, 24, 0).fill(3, 0).bytes, E_FAIL},
        {"image type 4", TgaHeader(0, 0, 4, 0, 0, 0, 1, 1, 24, 0).fill(3, 0).bytes, E_FAIL},
        {"image type 0", TgaHeader(0, 0, 0, 0, 0, 0, 1, 1, 24, 0).fill(3, 0).bytes, E_FAIL},
        {"zero width", TgaHeader(0, 0, 2, 0, 0, 0, 0, 1, 24, 0).fill(3, 0).bytes, E_FAIL},
        {"map entry 8 bits", TgaHeader(0, 1, 1, 0, 1, 8, 1, 1, 8, 0).fill(2, 0).bytes, E_FAIL},
        {"mapped without map", TgaHeader(0, 0, 1, 0, 0, 0, 1, 1, 8, 0).fill(1, 0).bytes, E_FAIL},
        {"grey 16 bits", TgaHeader(0, 0, 3, 0, 0, 0, 1, 1, 16, 0).fill(2, 0).bytes, E_FAIL},
        {"true colour 8 bits", TgaHeader(0, 0, 2, 0, 0, 0, 1, 1, 8, 0).fill(1, 0).bytes, E_FAIL},
        {"map past the end", TgaHeader(0, 1, 1, 0, 200, 24, 1, 1, 8, 0).fill(100, 0).bytes, E_FAIL},
        {"id past the end", TgaHeader(200, 0, 2, 0, 0, 0, 1, 1, 24, 0).fill(100, 0).bytes, E_FAIL},
        {"short raw data", TgaHeader(0, 0, 2, 0, 0, 0, 2, 2, 24, 0x20).fill(11, 0).bytes, E_FAIL},
        {"short RLE data", TgaHeader(0, 0, 10, 0, 0, 0, 2, 2, 24, 0).u8(0x82).fill(3, 0).bytes, E_FAIL},
        {"RLE raw packet cut", TgaHeader(0, 0, 10, 0, 0, 0, 2, 2, 8, 0).u8(0x03).fill(3, 0).bytes, E_FAIL},
        {"17 bytes", Bytes(17, 0), E_FAIL},
    };
    for (const Case& c : cases) {
        DecodedImage image;
        EXPECT_EQ(Decode(DecodeTga, image, c.data), c.expected) << c.what;
    }
}

}  // namespace
