// Textures from image files: sizes, formats, colour keys, palettes, pools, DDS chains and
// the failure paths.
#include <gtest/gtest.h>

#include "fake_device.h"
#include "image/convert.h"
#include "platform/win32/host.h"
#include "texture_test_util.h"

using namespace texture_test;

namespace {

// A left-to-right red ramp and a top-to-bottom green ramp.
std::uint32_t Ramp(UINT x, UINT y, UINT w, UINT h) {
    return 0xFF000000u | ((x * 255 / (w - 1)) << 16) | ((y * 255 / (h - 1)) << 8) | 0x40;
}

IDirect3DTexture8* const UNTOUCHED = reinterpret_cast<IDirect3DTexture8*>(0x1234);

class TextureFromFile : public DeviceTest {
protected:
    D3DSURFACE_DESC Desc(IDirect3DTexture8* t, UINT level = 0) {
        D3DSURFACE_DESC d = {};
        EXPECT_EQ(t->GetLevelDesc(level, &d), S_OK);
        return d;
    }
    HRESULT FromMemory(const Bytes& file, ComRef<IDirect3DTexture8>* out, D3DFORMAT format = D3DFMT_UNKNOWN,
                       D3DCOLOR key = 0, PALETTEENTRY* palette = nullptr, DWORD filter = USE_DEFAULT,
                       DWORD mipFilter = USE_DEFAULT, D3DPOOL pool = D3DPOOL_MANAGED, UINT levels = USE_DEFAULT) {
        return CreateTextureFromFileInMemoryEx(device_.Get(), file.data(), static_cast<UINT>(file.size()),
                                               USE_DEFAULT, USE_DEFAULT, levels, 0, format, pool, filter, mipFilter,
                                               key, nullptr, palette, out->Out());
    }
};

}  // namespace

TEST_F(TextureFromFile, JpegOnAPowerOfTwoDeviceIsStretchedToTheNextPowers) {
    ASSERT_NE(MakeDevice(ProfileWith(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_MIPMAP, D3DPTEXTURECAPS_SQUAREONLY)),
              nullptr);
    const Bytes jpeg = MakeJpeg(300, 200, [](UINT x, UINT y) { return Ramp(x, y, 300, 200); });
    ComRef<IDirect3DTexture8> tex;
    ASSERT_EQ(CreateTextureFromFileInMemory(device_.Get(), jpeg.data(), static_cast<UINT>(jpeg.size()), tex.Out()),
              S_OK);
    const D3DSURFACE_DESC d = Desc(tex.Get());
    EXPECT_EQ(d.Width, 512u);
    EXPECT_EQ(d.Height, 256u);
    EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(tex->GetLevelCount(), 10u);
    EXPECT_EQ(d.Pool, D3DPOOL_MANAGED);
    // The whole image, stretched: points near the corners hold the image's corners. (The
    // outermost texels also blend with the opposite edge, which the filter wraps to.)
    const auto p = ReadLevel32(tex.Get(), 0);
    auto source = [](UINT x, UINT y) {
        return Ramp(static_cast<UINT>((x + 0.5) * 300 / 512), static_cast<UINT>((y + 0.5) * 200 / 256), 300, 200);
    };
    for (auto [x, y] : {std::pair<UINT, UINT>{3, 3}, {508, 3}, {508, 252}, {3, 252}, {256, 128}}) {
        EXPECT_LE(ColorDistance(p[y * 512 + x], source(x, y)), 12) << x << "," << y;
    }
    // The 1x1 level is the average of the picture.
    EXPECT_LE(ColorDistance(ReadLevel32(tex.Get(), 9)[0], 0xFF7F7F40u), 12);
}

TEST_F(TextureFromFile, LargerThanTheDeviceIsScaledDownWhole) {
    D3DDeviceProfile p = ProfileWith(0, D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY);
    p.MaxTextureWidth = p.MaxTextureHeight = 64;
    p.MaxTextureAspectRatio = 0;
    ASSERT_NE(MakeDevice(p), nullptr);
    const Bytes jpeg = MakeJpeg(300, 100, [](UINT x, UINT y) { return Ramp(x, y, 300, 100); });
    ComRef<IDirect3DTexture8> tex;
    ASSERT_EQ(FromMemory(jpeg, &tex), S_OK);
    const D3DSURFACE_DESC d = Desc(tex.Get());
    EXPECT_EQ(d.Width, 64u);
    EXPECT_EQ(d.Height, 64u);
    const auto px = ReadLevel32(tex.Get(), 0);
    EXPECT_LE(ColorDistance(px[60 * 64 + 60], Ramp(283, 94, 300, 100)), 16);
    EXPECT_LE(ColorDistance(px[3 * 64 + 3], Ramp(16, 5, 300, 100)), 16);
}

TEST_F(TextureFromFile, MissingFileAndNonImageFailWithoutTouchingTheOutReference) {
    ASSERT_NE(MakeDevice(), nullptr);
    IDirect3DTexture8* out = UNTOUCHED;
    EXPECT_EQ(CreateTextureFromFile(device_.Get(), "/nonexistent/tolvane/missing.jpg", &out),
              static_cast<HRESULT>(0x80070002u));
    EXPECT_EQ(out, UNTOUCHED);
    EXPECT_EQ(CreateTextureFromFileW(device_.Get(), u"/nonexistent/tolvane/missing.jpg", &out),
              static_cast<HRESULT>(0x80070002u));
    const std::string junk = WriteTempFile("junk.bin", Bytes(64, 0));
    EXPECT_EQ(CreateTextureFromFile(device_.Get(), junk.c_str(), &out), static_cast<HRESULT>(0x88760B59u));
    EXPECT_EQ(out, UNTOUCHED);
    const Bytes six = {0x13, 0x37, 0xC0, 0xDE, 0x00, 0xFF};
    EXPECT_EQ(CreateTextureFromFileInMemory(device_.Get(), six.data(), 6, &out), ERR_INVALID_DATA);
    EXPECT_EQ(CreateTextureFromFileInMemory(device_.Get(), six.data(), 0, &out), D3DERR_INVALIDCALL);
    EXPECT_EQ(CreateTextureFromFileInMemory(nullptr, six.data(), 6, &out), D3DERR_INVALIDCALL);
    EXPECT_EQ(CreateTextureFromFileInMemory(device_.Get(), nullptr, 6, &out), D3DERR_INVALIDCALL);
    EXPECT_EQ(CreateTextureFromFileInMemory(device_.Get(), six.data(), 6, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(out, UNTOUCHED);
    EXPECT_EQ(CreateTextureFromResource(device_.Get(), nullptr, "no such bitmap", &out) < 0, true);
    EXPECT_EQ(out, UNTOUCHED);
}

TEST_F(TextureFromFile, FileAndResourceEntriesReachTheCore) {
    ASSERT_NE(MakeDevice(), nullptr);
    const Bytes bmp = MakeBmp24(16, 8, [](UINT x, UINT) { return x < 8 ? 0xFF0000u : 0x0000FFu; });
    const std::string path = WriteTempFile("entry.bmp", bmp);
    ComRef<IDirect3DTexture8> tex;
    ImageInfo info = {};
    ASSERT_EQ(CreateTextureFromFileEx(device_.Get(), path.c_str(), 0, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                      FILTER_NONE, FILTER_NONE, 0, &info, nullptr, tex.Out()),
              S_OK);
    EXPECT_EQ(info.Width, 16u);
    EXPECT_EQ(info.Height, 8u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(Desc(tex.Get()).Pool, D3DPOOL_SYSTEMMEM);
    const auto px = ReadLevel32(tex.Get(), 0);
    EXPECT_EQ(px[0], 0xFFFF0000u);
    EXPECT_EQ(px[15], 0xFF0000FFu);

    const std::u16string wide(path.begin(), path.end());
    ASSERT_EQ(CreateTextureFromFileW(device_.Get(), wide.c_str(), tex.Out()), S_OK);

    // A bitmap resource is a DIB without the file header.
    const Bytes dib(bmp.begin() + 14, bmp.end());
    HMODULE module = GetModuleHandleA(nullptr);
    host::RegisterBitmapResource(module, "TEXTURE_TEST", dib.data(), static_cast<DWORD>(dib.size()));
    ASSERT_EQ(CreateTextureFromResource(device_.Get(), module, "TEXTURE_TEST", tex.Out()), S_OK);
    EXPECT_EQ(Desc(tex.Get()).Width, 16u);
    host::ClearResources();
}

TEST_F(TextureFromFile, ColorKeyOnA24BitImageGivesAlpha) {
    ASSERT_NE(MakeDevice(), nullptr);
    const Bytes bmp = MakeBmp24(8, 8, [](UINT x, UINT y) { return (x + y) % 2 ? 0x000000u : 0x80C0E0u; });
    ComRef<IDirect3DTexture8> tex;
    ASSERT_EQ(FromMemory(bmp, &tex, D3DFMT_UNKNOWN, 0xFF000000u, nullptr, FILTER_NONE), S_OK);
    EXPECT_EQ(Desc(tex.Get()).Format, D3DFMT_A8R8G8B8);
    const auto px = ReadLevel32(tex.Get(), 0);
    for (UINT y = 0; y < 8; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            const std::uint32_t p = px[y * 8 + x];
            if ((x + y) % 2) {
                EXPECT_EQ(p >> 24, 0u) << "keyed pixel " << x << "," << y;
            } else {
                EXPECT_EQ(p, 0xFF80C0E0u);
            }
        }
    }
    // Without the key the image keeps a format without alpha.
    ASSERT_EQ(FromMemory(bmp, &tex), S_OK);
    EXPECT_EQ(Desc(tex.Get()).Format, D3DFMT_X8R8G8B8);
}

TEST_F(TextureFromFile, PalettisedImages) {
    ASSERT_NE(MakeDevice(), nullptr);
    const std::vector<std::uint32_t> palette = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    const Bytes png = MakePalettePng(8, 8, palette, [](UINT x, UINT) { return static_cast<BYTE>(x % 4); });
    ComRef<IDirect3DTexture8> tex;

    // An opaque palette without a palette reference widens to X8R8G8B8.
    ASSERT_EQ(FromMemory(png, &tex, D3DFMT_P8, 0, nullptr, FILTER_NONE), S_OK);
    EXPECT_EQ(Desc(tex.Get()).Format, D3DFMT_X8R8G8B8);
    auto px = ReadLevel32(tex.Get(), 0);
    EXPECT_EQ(px[1] & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(px[2] & 0xFFFFFF, 0x0000FFu);

    // The key matches palette entry 2 (with its alpha): that entry turns transparent black,
    // and the widened texture keeps the transparency.
    PALETTEENTRY out[256];
    std::memset(out, 0x55, sizeof out);
    ASSERT_EQ(FromMemory(png, &tex, D3DFMT_UNKNOWN, 0xFF0000FFu, nullptr, FILTER_NONE), S_OK);
    EXPECT_EQ(Desc(tex.Get()).Format, D3DFMT_A8R8G8B8);
    px = ReadLevel32(tex.Get(), 0);
    EXPECT_EQ(px[2], 0u);
    EXPECT_EQ(px[1], 0xFF00FF00u);
    EXPECT_EQ(px[3], 0xFFFFFFFFu);

    // With a palette reference the working palette is handed back.
    ASSERT_EQ(FromMemory(png, &tex, D3DFMT_UNKNOWN, 0xFF0000FFu, out, FILTER_NONE), S_OK);
    EXPECT_EQ(out[0].peRed, 0xFF);
    EXPECT_EQ(out[0].peFlags, 0xFF);
    EXPECT_EQ(out[2].peBlue, 0);
    EXPECT_EQ(out[2].peFlags, 0);
    EXPECT_EQ(out[1].peGreen, 0xFF);

    // A translucent palette entry widens to A8R8G8B8.
    const Bytes translucent = MakePalettePng(4, 4, {0x80FF0000u, 0xFF00FF00u}, [](UINT x, UINT) {
        return static_cast<BYTE>(x % 2);
    });
    ASSERT_EQ(FromMemory(translucent, &tex, D3DFMT_UNKNOWN, 0, nullptr, FILTER_NONE), S_OK);
    EXPECT_EQ(Desc(tex.Get()).Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(ReadLevel32(tex.Get(), 0)[0] >> 24, 0x80u);
    ASSERT_EQ(FromMemory(translucent, &tex, D3DFMT_A8P8, 0, nullptr, FILTER_NONE), S_OK);
    EXPECT_EQ(Desc(tex.Get()).Format, D3DFMT_A8R8G8B8);

    // Forcing P8 for an image without a palette counts the missing palette as opaque.
    const Bytes rgb = MakeRgbPng(4, 4, [](UINT, UINT) { return 0x123456u; });
    ASSERT_EQ(FromMemory(rgb, &tex, D3DFMT_P8, 0, nullptr, FILTER_NONE), S_OK);
    EXPECT_EQ(Desc(tex.Get()).Format, D3DFMT_X8R8G8B8);
}

TEST_F(TextureFromFile, DefaultPoolFillsATwinAndUpdatesOnce) {
    ASSERT_NE(MakeDevice(), nullptr);
    FakeDevice device(D3DDefaultDeviceProfile(), device_.Get());
    const Bytes jpeg = MakeJpeg(64, 32, [](UINT x, UINT y) { return Ramp(x, y, 64, 32); });
    ComRef<IDirect3DTexture8> tex;
    ASSERT_EQ(CreateTextureFromFileInMemoryEx(&device, jpeg.data(), static_cast<UINT>(jpeg.size()), USE_DEFAULT,
                                              USE_DEFAULT, USE_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT,
                                              USE_DEFAULT, USE_DEFAULT, 0, nullptr, nullptr, tex.Out()),
              S_OK);
    EXPECT_EQ(device.createTextureCalls, 2);
    EXPECT_EQ(device.updateTextureCalls, 1);
    EXPECT_EQ(Desc(tex.Get()).Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(tex->GetLevelCount(), 7u);
    // The caller holds the one reference to the texture; the twin is gone.
    EXPECT_EQ(device.ReleaseHeld(), (std::vector<ULONG>{1, 0}));

    // Other pools fill the texture itself.
    FakeDevice managed(D3DDefaultDeviceProfile(), device_.Get());
    ASSERT_EQ(CreateTextureFromFileInMemory(&managed, jpeg.data(), static_cast<UINT>(jpeg.size()), tex.Out()), S_OK);
    EXPECT_EQ(managed.createTextureCalls, 1);
    EXPECT_EQ(managed.updateTextureCalls, 0);
    EXPECT_EQ(managed.ReleaseHeld(), (std::vector<ULONG>{1}));
}

TEST_F(TextureFromFile, FailuresAfterCreationReleaseTheTextureAndTheTwin) {
    ASSERT_NE(MakeDevice(ProfileWith(0, 0, {D3DFMT_V8U8, D3DFMT_X8R8G8B8})), nullptr);
    const Bytes jpeg = MakeJpeg(16, 16, [](UINT, UINT) { return 0x808080u; });
    for (D3DPOOL pool : {D3DPOOL_MANAGED, D3DPOOL_DEFAULT}) {
        FakeDevice device(ProfileWith(0, 0, {D3DFMT_V8U8, D3DFMT_X8R8G8B8}), device_.Get());
        IDirect3DTexture8* out = UNTOUCHED;
        // A colour image cannot be converted into a signed format.
        EXPECT_EQ(CreateTextureFromFileInMemoryEx(&device, jpeg.data(), static_cast<UINT>(jpeg.size()), 0, 0, 0, 0,
                                                  D3DFMT_V8U8, pool, USE_DEFAULT, USE_DEFAULT, 0, nullptr, nullptr,
                                                  &out),
                  E_FAIL);
        EXPECT_EQ(out, UNTOUCHED);
        const std::vector<ULONG> left = device.ReleaseHeld();
        EXPECT_EQ(left.size(), pool == D3DPOOL_DEFAULT ? 2u : 1u);
        for (ULONG refs : left) EXPECT_EQ(refs, 0u) << "a texture or one of its surfaces was kept";
    }
}

TEST_F(TextureFromFile, DdsMipChainFillsItsLevelsBeforeFilteringStarts) {
    ASSERT_NE(MakeDevice(), nullptr);
    const std::uint32_t colors[3] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    const Bytes dds = MakeDdsArgb(32, 32, 3, 1, [&](UINT, UINT level) {
        return [c = colors[level]](UINT, UINT) { return c; };
    });
    ComRef<IDirect3DTexture8> tex;
    ImageInfo info = {};
    ASSERT_EQ(CreateTextureFromFileInMemoryEx(device_.Get(), dds.data(), static_cast<UINT>(dds.size()), USE_DEFAULT,
                                              USE_DEFAULT, USE_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                              USE_DEFAULT, USE_DEFAULT, 0, &info, nullptr, tex.Out()),
              S_OK);
    EXPECT_EQ(info.MipLevels, 3u);
    ASSERT_EQ(tex->GetLevelCount(), 6u);
    for (UINT level = 0; level < 6; ++level) {
        const std::uint32_t expected = colors[std::min(level, 2u)];
        for (std::uint32_t p : ReadLevel32(tex.Get(), level)) {
            ASSERT_LE(ChannelDistance(p, expected), 1) << "level " << level;
        }
    }
    // A texture with fewer levels than the file takes only as many as it has.
    ASSERT_EQ(FromMemory(dds, &tex, D3DFMT_UNKNOWN, 0, nullptr, USE_DEFAULT, USE_DEFAULT, D3DPOOL_MANAGED, 2), S_OK);
    EXPECT_EQ(tex->GetLevelCount(), 2u);
    EXPECT_LE(ChannelDistance(ReadLevel32(tex.Get(), 1)[0], colors[1]), 1);
}

TEST_F(TextureFromFile, TriangleMipFilterLoadsEveryLevelFromTheImage) {
    ASSERT_NE(MakeDevice(), nullptr);
    const Bytes png = MakeRgbPng(64, 64, [](UINT x, UINT y) { return ((x * 7 + y * 13) % 17) * 15u << 8 | (x * 4); });
    ComRef<IDirect3DTexture8> tex;
    ASSERT_EQ(FromMemory(png, &tex, D3DFMT_X8R8G8B8, 0, nullptr, FILTER_POINT, FILTER_TRIANGLE), S_OK);
    ASSERT_EQ(tex->GetLevelCount(), 7u);
    // Expected: the image loaded straight into a texture of each level's size.
    for (UINT level = 1; level < 7; ++level) {
        const UINT size = 64u >> level;
        ComRef<IDirect3DTexture8> direct;
        ASSERT_EQ(CreateTextureFromFileInMemoryEx(device_.Get(), png.data(), static_cast<UINT>(png.size()), size, size,
                                                  1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, FILTER_TRIANGLE,
                                                  FILTER_TRIANGLE, 0, nullptr, nullptr, direct.Out()),
                  S_OK);
        EXPECT_EQ(ReadLevel32(tex.Get(), level), ReadLevel32(direct.Get(), 0)) << "level " << level;
    }
}

TEST_F(TextureFromFile, NoUsableFormatAndBadArgumentsReleaseEverything) {
    ASSERT_NE(MakeDevice(ProfileWith(0, 0, {D3DFMT_V8U8})), nullptr);
    const Bytes jpeg = MakeJpeg(16, 16, [](UINT, UINT) { return 0x808080u; });
    IDirect3DTexture8* out = UNTOUCHED;
    EXPECT_EQ(CreateTextureFromFileInMemory(device_.Get(), jpeg.data(), static_cast<UINT>(jpeg.size()), &out),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(CreateTextureFromFileInMemoryEx(device_.Get(), jpeg.data(), static_cast<UINT>(jpeg.size()), 0, 0, 0, 4,
                                              D3DFMT_UNKNOWN, D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, nullptr,
                                              nullptr, &out),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(out, UNTOUCHED);
}

namespace {

// Every byte of every level, row by row without the pitch's padding.
std::vector<BYTE> TextureBytes(IDirect3DTexture8* texture) {
    std::vector<BYTE> bytes;
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        ComRef<IDirect3DSurface8> surface;
        D3DSURFACE_DESC desc = {};
        D3DLOCKED_RECT locked = {};
        EXPECT_EQ(texture->GetSurfaceLevel(level, surface.Out()), S_OK);
        EXPECT_EQ(surface->GetDesc(&desc), S_OK);
        EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
        const UINT rowBytes = desc.Size / desc.Height;
        for (UINT y = 0; y < desc.Height; ++y) {
            const BYTE* row = static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch;
            bytes.insert(bytes.end(), row, row + rowBytes);
        }
        surface->UnlockRect();
    }
    return bytes;
}

Bytes ReadFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    Bytes bytes;
    if (f == nullptr) {
        ADD_FAILURE() << "cannot read " << path;
        return bytes;
    }
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return bytes;
}

}  // namespace

// JPEG and PNG pictures decode straight into level 0 when the texture takes their size
// (and converts them where they lie when its format differs or a colour key applies).
// Whatever the route, creation gives what decoding, then creating the texture, loading
// level 0 and filtering the chain gives, byte for byte, for every pool, every format the
// decoders produce, keyed or not, on a device with luminance formats and one without (and
// for a stretched picture, which cannot take the direct route).
TEST_F(TextureFromFile, CreationEqualsDecodeThenLoadByteForByte) {
    const std::string corpus = TOLVANE_CORPUS_DIR;
    std::vector<std::pair<std::string, Bytes>> files = {
        {"colour jpeg", MakeJpeg(64, 32, [](UINT x, UINT y) { return Ramp(x, y, 64, 32) ^ (x * y); })},
        {"grey jpeg", ReadFile(corpus + "/jpeg/jpeg-decoder/mozilla/jpg-gray.jpg")},
        {"rgb png", MakeRgbPng(32, 32, [](UINT x, UINT y) { return Ramp(x, y, 32, 32); })},
        {"rgba png", ReadFile(corpus + "/png/pngsuite/basn6a08.png")},
        {"grey alpha png", ReadFile(corpus + "/png/pngsuite/basn4a08.png")},
        {"grey png", ReadFile(corpus + "/png/pngsuite/basn0g08.png")},
        {"stretched jpeg", MakeJpeg(48, 20, [](UINT x, UINT y) { return Ramp(x, y, 48, 20); })},
    };
    D3DDeviceProfile noLuminance = D3DDefaultDeviceProfile();
    std::erase_if(noLuminance.TextureFormats,
                  [](D3DFORMAT f) { return f == D3DFMT_L8 || f == D3DFMT_A8L8 || f == D3DFMT_A4L4; });
    for (const D3DDeviceProfile& profile : {D3DDefaultDeviceProfile(), noLuminance}) {
        ASSERT_NE(MakeDevice(profile), nullptr);
        for (const auto& [name, file] : files) {
            ASSERT_FALSE(file.empty()) << name << ": corpus file missing";
            for (D3DCOLOR key : {0u, 0xFF000000u, 0xFF808080u}) {
                for (D3DPOOL pool : {D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM, D3DPOOL_DEFAULT}) {
                    SCOPED_TRACE(name + ", key " + std::to_string(key) + ", pool " + std::to_string(pool) +
                                 (&profile == &noLuminance ? ", no luminance formats" : ""));
                    PALETTEENTRY palette[256];
                    ComRef<IDirect3DTexture8> created;
                    ImageInfo info = {};
                    ASSERT_EQ(CreateTextureFromFileInMemoryEx(device_.Get(), file.data(),
                                                              static_cast<UINT>(file.size()), USE_DEFAULT,
                                                              USE_DEFAULT, USE_DEFAULT, 0, D3DFMT_UNKNOWN, pool,
                                                              USE_DEFAULT, USE_DEFAULT, key, &info, palette,
                                                              created.Out()),
                              S_OK);

                    // The decode-then-load route, in the system-memory pool (readable for every pool).
                    DecodedImage image;
                    ASSERT_EQ(DecodeImage(&image, file.data(), static_cast<UINT>(file.size()), nullptr), S_OK);
                    EXPECT_EQ(info.Format, image.Format);
                    D3DSURFACE_DESC desc = {};
                    ASSERT_EQ(created->GetLevelDesc(0, &desc), S_OK);
                    ComRef<IDirect3DTexture8> expected, readable;
                    ComRef<IDirect3DSurface8> top;
                    ASSERT_EQ(device_->CreateTexture(desc.Width, desc.Height, created->GetLevelCount(), 0,
                                                     desc.Format, D3DPOOL_SYSTEMMEM, expected.Out()),
                              S_OK);
                    ASSERT_EQ(expected->GetSurfaceLevel(0, top.Out()), S_OK);
                    ASSERT_EQ(LoadSurfaceFromMemory(top.Get(), nullptr, nullptr, image.Pixels, image.Format,
                                                    image.Pitch, nullptr, &image.Rect, USE_DEFAULT, key),
                              S_OK);
                    ASSERT_EQ(FilterTexture(expected.Get(), nullptr, 0, USE_DEFAULT), S_OK);
                    for (const PALETTEENTRY& e : palette) ASSERT_EQ(e.peFlags, 0xFF);

                    IDirect3DTexture8* result = created.Get();
                    if (pool == D3DPOOL_DEFAULT) {
                        ASSERT_EQ(device_->CreateTexture(desc.Width, desc.Height, created->GetLevelCount(), 0,
                                                         desc.Format, D3DPOOL_SYSTEMMEM, readable.Out()),
                                  S_OK);
                        // UpdateTexture goes to the default pool only: the levels come back by CopyRects.
                        for (UINT level = 0; level < created->GetLevelCount(); ++level) {
                            ComRef<IDirect3DSurface8> from, to;
                            ASSERT_EQ(created->GetSurfaceLevel(level, from.Out()), S_OK);
                            ASSERT_EQ(readable->GetSurfaceLevel(level, to.Out()), S_OK);
                            ASSERT_EQ(device_->CopyRects(from.Get(), nullptr, 0, to.Get(), nullptr), S_OK);
                        }
                        result = readable.Get();
                    }
                    EXPECT_EQ(TextureBytes(result), TextureBytes(expected.Get()));
                }
            }
        }
    }
}
