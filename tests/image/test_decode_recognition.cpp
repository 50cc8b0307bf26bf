// DecodeImage: the recognition order, the cleaning of the record after each refusal,
// ImageInfo, and freeing of the record's chains.
#include <gtest/gtest.h>

#include <cstring>

#include "decode_test_files.h"
#include "image/image_file.h"
#include "platform/win32/host.h"

namespace {

HRESULT DecodeAll(DecodedImage& image, const Bytes& data, ImageInfo* info = nullptr) {
    return DecodeImage(&image, data.data(), static_cast<UINT>(data.size()), info);
}

TEST(DecodeImage, GarbageAndEmptyDataAreNoImage) {
    const Bytes garbage = {0x13, 0x37, 0x00, 0xFF, 0x42, 0x99};
    DecodedImage image;
    EXPECT_EQ(DecodeAll(image, garbage), ERR_INVALID_DATA);
    EXPECT_EQ(DecodeImage(&image, garbage.data(), 0, nullptr), ERR_INVALID_DATA);
    EXPECT_EQ(DecodeImage(nullptr, garbage.data(), 6, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(DecodeImage(&image, nullptr, 6, nullptr), D3DERR_INVALIDCALL);
    for (UINT n = 0; n <= garbage.size(); ++n) {
        EXPECT_EQ(DecodeImage(&image, garbage.data(), n, nullptr), ERR_INVALID_DATA) << n;
    }
}

TEST(DecodeImage, InfoDescribesTheFirstImageAndCountsDdsLevels) {
    DdsOptions o;
    o.width = 256;
    o.height = 128;
    o.mipCount = 9;
    o.flags = 0x40;
    o.bitCount = 16;
    o.greenMask = 0x7E0;
    ByteWriter w = DdsHeader(o);
    std::size_t bytes = 0;
    for (std::uint32_t width = 256, height = 128, level = 0; level < 9; ++level) {
        bytes += width * height * 2;
        width = std::max(width / 2, 1u);
        height = std::max(height / 2, 1u);
    }
    w.fill(bytes, 0);
    DecodedImage image;
    ImageInfo info{};
    ASSERT_EQ(DecodeAll(image, w.bytes, &info), S_OK);
    EXPECT_EQ(info.Width, 256u);
    EXPECT_EQ(info.Height, 128u);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, 9u);
    EXPECT_EQ(info.Format, D3DFMT_R5G6B5);
}

TEST(DecodeImage, RefusedDecoderLeavesNothingBehind) {
    // A DDS whose last level is short: the DDS decoder has built a chain by then.
    DdsOptions o;
    o.width = o.height = 4;
    o.mipCount = 3;
    ByteWriter w = DdsHeader(o);
    w.fill(64 + 16 + 3, 0);
    DecodedImage direct;
    EXPECT_EQ(DecodeDds(&direct, w.bytes.data(), static_cast<UINT>(w.bytes.size())), E_FAIL);
    EXPECT_NE(direct.NextLevel, nullptr);  // what DecodeImage must clean up

    DecodedImage image;
    EXPECT_EQ(DecodeAll(image, w.bytes), ERR_INVALID_DATA);
    EXPECT_EQ(image.NextLevel, nullptr);
    EXPECT_EQ(image.NextFace, nullptr);
    EXPECT_EQ(image.Pixels, nullptr);
    EXPECT_EQ(image.Palette, nullptr);
    EXPECT_FALSE(image.OwnsPixels);
    EXPECT_FALSE(image.OwnsPalette);
}

TEST(DecodeImage, BmpFileIsTakenByTheFileDecoderNotAsABareDib) {
    ByteWriter dib = DibHeader(2, 1, 8, 0, 2);
    dib.u32(0x00FF0000).u32(0x000000FF).u8(1).u8(0).u16(0);
    const Bytes file = BmpFile(dib.bytes);
    DecodedImage image;
    ImageInfo info{};
    ASSERT_EQ(DecodeAll(image, file, &info), S_OK);
    EXPECT_EQ(info.Format, D3DFMT_P8);
    EXPECT_EQ(info.Width, 2u);
    EXPECT_EQ(image.Pixels[0], 1);
    EXPECT_EQ(image.Palette[4 * 1 + 2], 0xFF);  // entry 1 is blue
}

TEST(DecodeImage, BitmapResourceIsRecognisedAsABareDib) {
    ByteWriter dib = DibHeader(1, 1, 24, 0);
    dib.u8(1).u8(2).u8(3).u8(0);
    HMODULE module = reinterpret_cast<HMODULE>(0x10000);
    host::RegisterBitmapResource(module, MAKEINTRESOURCEA(101), dib.bytes.data(),
                                 static_cast<DWORD>(dib.bytes.size()));
    ResourceBlock block;
    ASSERT_EQ(block.Load(module, MAKEINTRESOURCEA(101), false), S_OK);
    DecodedImage image;
    ImageInfo info{};
    ASSERT_EQ(DecodeImage(&image, block.Bytes, block.Size, &info), S_OK);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(0, std::memcmp(image.Pixels, dib.bytes.data() + 40, 3));
    host::ClearResources();
}

TEST(DecodeImage, EachKindIsDecodedByItsDecoder) {
    PngRecipe png;
    png.colorType = 0;
    png.rows = Bytes(1, 7);
    ByteWriter ppm;
    ppm.text("P6 1 1 255\n").u8(1).u8(2).u8(3);
    ByteWriter tga = TgaHeader(0, 0, 3, 0, 0, 0, 1, 1, 8, 0x20);
    tga.u8(9);
    const Bytes grey(1, 128);
    struct Case {
        const char* what;
        Bytes data;
        D3DFORMAT format;
    } cases[] = {
        {"png", EncodePng(png), D3DFMT_L8},
        {"ppm", ppm.bytes, D3DFMT_X8R8G8B8},
        {"tga", tga.bytes, D3DFMT_L8},
        {"jpeg", EncodeJpeg(1, 1, 1, grey), D3DFMT_L8},
    };
    for (const Case& c : cases) {
        DecodedImage image;
        ImageInfo info{};
        ASSERT_EQ(DecodeAll(image, c.data, &info), S_OK) << c.what;
        EXPECT_EQ(info.Format, c.format) << c.what;
        EXPECT_EQ(info.Width, 1u);
        EXPECT_EQ(info.MipLevels, 1u);
    }
}

TEST(DecodedImageRecord, FreeReleasesChainsAndEmptiesTheRecord) {
    DdsOptions o;
    o.width = o.height = 2;
    o.mipCount = 2;
    o.caps2 = 0xFE00;
    ByteWriter w = DdsHeader(o);
    w.fill(6 * (16 + 4), 0);
    DecodedImage image;
    ASSERT_EQ(DecodeAll(image, w.bytes), S_OK);
    int records = 0;
    for (const DecodedImage* face = &image; face != nullptr; face = face->NextFace) {
        for (const DecodedImage* level = face; level != nullptr; level = level->NextLevel) {
            ++records;
        }
    }
    EXPECT_EQ(records, 12);
    image.Free();
    EXPECT_EQ(image.NextFace, nullptr);
    EXPECT_EQ(image.NextLevel, nullptr);
    EXPECT_EQ(image.Format, D3DFMT_UNKNOWN);
    image.Free();
    // A record decoded into again drops what it held.
    ASSERT_EQ(DecodeAll(image, w.bytes), S_OK);
    ASSERT_EQ(DecodeAll(image, EncodeJpeg(1, 1, 1, Bytes(1, 0))), S_OK);
    EXPECT_EQ(image.NextFace, nullptr);
}

}  // namespace
