// Loading pixels into surfaces: rectangles, locking and the source description.
#include <gtest/gtest.h>

#include <type_traits>

#include "fake_device.h"
#include "image/convert.h"
#include "texture_test_util.h"

using namespace texture_test;

namespace {

class SurfaceLoad : public DeviceTest {
protected:
    void SetUp() override { ASSERT_NE(MakeDevice(), nullptr); }

    ComRef<IDirect3DTexture8> MakeTexture(UINT w, UINT h, D3DFORMAT format, UINT levels = 1) {
        ComRef<IDirect3DTexture8> t;
        EXPECT_EQ(device_->CreateTexture(w, h, levels, 0, format, D3DPOOL_MANAGED, t.Out()), S_OK);
        return t;
    }
    ComRef<IDirect3DSurface8> Level(IDirect3DTexture8* t, UINT level) {
        ComRef<IDirect3DSurface8> s;
        EXPECT_EQ(t->GetSurfaceLevel(level, s.Out()), S_OK);
        return s;
    }
};

constexpr std::uint32_t SENTINEL = 0x12345678u;

}  // namespace

TEST_F(SurfaceLoad, RectangleLoadTouchesOnlyThatRectangle) {
    auto tex = MakeTexture(64, 64, D3DFMT_X8R8G8B8);
    FillLevel32(tex.Get(), 0, [](UINT, UINT) { return SENTINEL; });
    std::vector<std::uint32_t> source(10 * 10);
    for (UINT i = 0; i < source.size(); ++i) source[i] = 0xFF000000u | (i * 0x010203u);
    const RECT dstRect = {10, 10, 20, 20};
    const RECT srcRect = {0, 0, 10, 10};
    auto surface = Level(tex.Get(), 0);
    ASSERT_EQ(LoadSurfaceFromMemory(surface.Get(), nullptr, &dstRect, source.data(), D3DFMT_A8R8G8B8, 40, nullptr,
                                    &srcRect, FILTER_NONE, 0),
              S_OK);
    const auto pixels = ReadLevel32(tex.Get(), 0);
    for (UINT y = 0; y < 64; ++y) {
        for (UINT x = 0; x < 64; ++x) {
            const std::uint32_t got = pixels[y * 64 + x];
            if (x >= 10 && x < 20 && y >= 10 && y < 20) {
                EXPECT_EQ(got & 0xFFFFFF, source[(y - 10) * 10 + (x - 10)] & 0xFFFFFF) << x << "," << y;
            } else {
                ASSERT_EQ(got, SENTINEL) << "pixel outside the rectangle changed at " << x << "," << y;
            }
        }
    }
}

TEST_F(SurfaceLoad, BlockFormatKeepsTheRectangleInSurfaceCoordinates) {
    if (!HaveDxtCodec()) GTEST_SKIP() << "the converter has no DXT codec yet";
    auto tex = MakeTexture(16, 16, D3DFMT_DXT1);
    {
        D3DLOCKED_RECT locked = {};
        ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), S_OK);
        for (UINT row = 0; row < 4; ++row) std::memset(static_cast<BYTE*>(locked.pBits) + row * locked.Pitch, 0, 32);
        tex->UnlockRect(0);
    }
    std::vector<std::uint32_t> red(4 * 4, 0xFFFF0000u);
    const RECT dstRect = {4, 8, 8, 12};
    const RECT srcRect = {0, 0, 4, 4};
    auto surface = Level(tex.Get(), 0);
    ASSERT_EQ(LoadSurfaceFromMemory(surface.Get(), nullptr, &dstRect, red.data(), D3DFMT_A8R8G8B8, 16, nullptr,
                                    &srcRect, FILTER_POINT, 0),
              S_OK);
    D3DLOCKED_RECT locked = {};
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
    for (UINT by = 0; by < 4; ++by) {
        for (UINT bx = 0; bx < 4; ++bx) {
            std::uint32_t texels[16];
            DecodeDxt1Block(static_cast<const BYTE*>(locked.pBits) + by * locked.Pitch + bx * 8, texels);
            const bool target = bx == 1 && by == 2;
            EXPECT_EQ(texels[5] & 0xFFFFFF, target ? 0xFF0000u : 0u) << "block " << bx << "," << by;
        }
    }
    tex->UnlockRect(0);
}

TEST_F(SurfaceLoad, RectangleBounds) {
    auto tex = MakeTexture(32, 16, D3DFMT_X8R8G8B8);
    auto surface = Level(tex.Get(), 0);
    std::vector<std::uint32_t> source(32 * 16, 0xFF00FF00u);
    const RECT src = {0, 0, 32, 16};
    auto load = [&](const RECT* dst, const RECT* s = nullptr) {
        return LoadSurfaceFromMemory(surface.Get(), nullptr, dst, source.data(), D3DFMT_A8R8G8B8, 128, nullptr,
                                     s ? s : &src, FILTER_POINT, 0);
    };
    const RECT tooWide = {0, 0, 33, 16}, whole = {0, 0, 32, 16}, empty = {5, 5, 5, 9}, tall = {0, 0, 32, 17};
    const RECT negative = {-1, 0, 4, 4}, inverted = {8, 0, 4, 4};
    EXPECT_EQ(load(&tooWide), D3DERR_INVALIDCALL);
    EXPECT_EQ(load(&tall), D3DERR_INVALIDCALL);
    EXPECT_EQ(load(&negative), D3DERR_INVALIDCALL);
    EXPECT_EQ(load(&inverted), D3DERR_INVALIDCALL);
    EXPECT_EQ(load(&whole), S_OK);
    EXPECT_EQ(load(&empty), S_OK);
    EXPECT_EQ(load(nullptr), S_OK);
    // A source region that starts before the pixels is refused rather than read.
    EXPECT_EQ(load(nullptr, &negative), D3DERR_INVALIDCALL);
    EXPECT_EQ(load(nullptr, &inverted), D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, source.data(), D3DFMT_A8R8G8B8, 128, nullptr,
                                    nullptr, FILTER_POINT, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, nullptr, D3DFMT_A8R8G8B8, 128, nullptr, &src,
                                    FILTER_POINT, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadSurfaceFromMemory(nullptr, nullptr, nullptr, source.data(), D3DFMT_A8R8G8B8, 128, nullptr, &src,
                                    FILTER_POINT, 0),
              D3DERR_INVALIDCALL);
    // The converter's own refusals come back unchanged; the surface is unlocked after them.
    EXPECT_EQ(load(nullptr, &src), S_OK);
    EXPECT_EQ(LoadSurfaceFromMemory(surface.Get(), nullptr, nullptr, source.data(), D3DFMT_A8R8G8B8, 128, nullptr,
                                    &src, 0x99, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(load(nullptr), S_OK) << "a failed conversion must not leave the surface locked";
}

TEST_F(SurfaceLoad, SurfaceToSurfaceMovesTheSourceRectangle) {
    auto src = MakeTexture(16, 16, D3DFMT_A8R8G8B8);
    FillLevel32(src.Get(), 0, [](UINT x, UINT y) { return 0xFF000000u | (x << 16) | (y << 8); });
    auto dst = MakeTexture(4, 4, D3DFMT_A8R8G8B8);
    auto s = Level(src.Get(), 0);
    auto d = Level(dst.Get(), 0);
    const RECT srcRect = {5, 6, 9, 10};
    ASSERT_EQ(LoadSurfaceFromSurface(d.Get(), nullptr, nullptr, s.Get(), nullptr, &srcRect, FILTER_NONE, 0), S_OK);
    const auto pixels = ReadLevel32(dst.Get(), 0);
    for (UINT y = 0; y < 4; ++y) {
        for (UINT x = 0; x < 4; ++x) EXPECT_EQ(pixels[y * 4 + x], 0xFF000000u | ((x + 5) << 16) | ((y + 6) << 8));
    }
    const RECT outside = {0, 0, 17, 4};
    EXPECT_EQ(LoadSurfaceFromSurface(d.Get(), nullptr, nullptr, s.Get(), nullptr, &outside, FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadSurfaceFromSurface(d.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
}

TEST_F(SurfaceLoad, FromFileInMemoryUsesTheImageAndChecksTheSourceRectangle) {
    const Bytes bmp = MakeBmp24(8, 8, [](UINT x, UINT y) { return x < 4 ? 0xFF0000u : (y < 4 ? 0x00FF00u : 0x0000FFu); });
    auto tex = MakeTexture(4, 4, D3DFMT_X8R8G8B8);
    auto surface = Level(tex.Get(), 0);
    ImageInfo info = {};
    const RECT right = {4, 0, 8, 4};
    ASSERT_EQ(LoadSurfaceFromFileInMemory(surface.Get(), nullptr, nullptr, bmp.data(), static_cast<UINT>(bmp.size()),
                                          &right, FILTER_NONE, 0, &info),
              S_OK);
    EXPECT_EQ(info.Width, 8u);
    EXPECT_EQ(info.Height, 8u);
    for (std::uint32_t p : ReadLevel32(tex.Get(), 0)) EXPECT_EQ(p & 0xFFFFFF, 0x00FF00u);
    const RECT tooBig = {0, 0, 9, 8};
    EXPECT_EQ(LoadSurfaceFromFileInMemory(surface.Get(), nullptr, nullptr, bmp.data(), static_cast<UINT>(bmp.size()),
                                          &tooBig, FILTER_NONE, 0, nullptr),
              D3DERR_INVALIDCALL);
    const Bytes zeros(64, 0);
    EXPECT_EQ(LoadSurfaceFromFileInMemory(surface.Get(), nullptr, nullptr, zeros.data(), 64, nullptr, FILTER_NONE, 0,
                                          nullptr),
              ERR_INVALID_DATA);
    EXPECT_EQ(LoadSurfaceFromFileInMemory(surface.Get(), nullptr, nullptr, zeros.data(), 0, nullptr, FILTER_NONE, 0,
                                          nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadSurfaceFromFile(surface.Get(), nullptr, nullptr, "/nonexistent/tolvane/none.bmp", nullptr,
                                  FILTER_NONE, 0, nullptr),
              static_cast<HRESULT>(0x80070002u));
    const std::string path = WriteTempFile("image.bmp", bmp);
    EXPECT_EQ(LoadSurfaceFromFile(surface.Get(), nullptr, nullptr, path.c_str(), nullptr, FILTER_POINT, 0, nullptr),
              S_OK);
}

TEST_F(SurfaceLoad, VolumeBoxesAreCheckedAndMovedToTheOrigin) {
    ComRef<IDirect3DVolumeTexture8> tex;
    ASSERT_EQ(device_->CreateVolumeTexture(8, 8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, tex.Out()), S_OK);
    ComRef<IDirect3DVolume8> volume;
    ASSERT_EQ(tex->GetVolumeLevel(0, volume.Out()), S_OK);
    D3DLOCKED_BOX box = {};
    auto at = [&](UINT x, UINT y, UINT z) {
        return reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(box.pBits) + z * box.SlicePitch + y * box.RowPitch) +
               x;
    };
    ASSERT_EQ(volume->LockBox(&box, nullptr, 0), S_OK);
    for (UINT z = 0; z < 4; ++z) {
        for (UINT y = 0; y < 8; ++y) {
            for (UINT x = 0; x < 8; ++x) *at(x, y, z) = SENTINEL;
        }
    }
    volume->UnlockBox();

    std::uint32_t source[2][2][2];
    for (UINT i = 0; i < 8; ++i) (&source[0][0][0])[i] = 0xFF000000u | (i + 1) * 0x111111u;
    const D3DBOX dst = {2, 3, 4, 5, 1, 3};
    const D3DBOX src = {0, 0, 2, 2, 0, 2};
    ASSERT_EQ(LoadVolumeFromMemory(volume.Get(), nullptr, &dst, source, D3DFMT_A8R8G8B8, 8, 16, nullptr, &src,
                                   FILTER_NONE, 0),
              S_OK);
    ASSERT_EQ(volume->LockBox(&box, nullptr, D3DLOCK_READONLY), S_OK);
    for (UINT z = 0; z < 4; ++z) {
        for (UINT y = 0; y < 8; ++y) {
            for (UINT x = 0; x < 8; ++x) {
                const bool inside = x >= 2 && x < 4 && y >= 3 && y < 5 && z >= 1 && z < 3;
                EXPECT_EQ(*at(x, y, z), inside ? source[z - 1][y - 3][x - 2] : SENTINEL) << x << "," << y << "," << z;
            }
        }
    }
    volume->UnlockBox();

    const D3DBOX deep = {0, 0, 8, 8, 0, 5}, inverted = {0, 0, 8, 8, 3, 2};
    EXPECT_EQ(LoadVolumeFromMemory(volume.Get(), nullptr, &deep, source, D3DFMT_A8R8G8B8, 8, 16, nullptr, &src,
                                   FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadVolumeFromMemory(volume.Get(), nullptr, nullptr, source, D3DFMT_A8R8G8B8, 8, 16, nullptr, &inverted,
                                   FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadVolumeFromMemory(volume.Get(), nullptr, nullptr, source, D3DFMT_A8R8G8B8, 8, 16, nullptr, nullptr,
                                   FILTER_NONE, 0),
              D3DERR_INVALIDCALL);

    // Volume to volume: the source box starts at (2, 3, 1) and lands at the origin.
    ComRef<IDirect3DVolumeTexture8> small;
    ASSERT_EQ(device_->CreateVolumeTexture(2, 2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, small.Out()), S_OK);
    ComRef<IDirect3DVolume8> smallVolume;
    ASSERT_EQ(small->GetVolumeLevel(0, smallVolume.Out()), S_OK);
    ASSERT_EQ(LoadVolumeFromVolume(smallVolume.Get(), nullptr, nullptr, volume.Get(), nullptr, &dst, FILTER_NONE, 0),
              S_OK);
    ASSERT_EQ(smallVolume->LockBox(&box, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(*at(0, 0, 0), source[0][0][0]);
    EXPECT_EQ(*at(1, 1, 1), source[1][1][1]);
    smallVolume->UnlockBox();
    EXPECT_EQ(LoadVolumeFromVolume(smallVolume.Get(), nullptr, nullptr, volume.Get(), nullptr, &deep, FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
}

TEST_F(SurfaceLoad, CheckedCreationsUseTheAdjustedValues) {
    ASSERT_NE(MakeDevice(ProfileWith(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_CUBEMAP_POW2 |
                                         D3DPTEXTURECAPS_VOLUMEMAP_POW2 | D3DPTEXTURECAPS_MIPMAP,
                                     D3DPTEXTURECAPS_SQUAREONLY)),
              nullptr);
    ComRef<IDirect3DTexture8> tex;
    ASSERT_EQ(CreateTextureChecked(device_.Get(), 300, 200, 0, USE_DEFAULT, D3DFMT_R8G8B8, D3DPOOL_MANAGED, tex.Out()),
              S_OK);
    D3DSURFACE_DESC d = {};
    ASSERT_EQ(tex->GetLevelDesc(0, &d), S_OK);
    EXPECT_EQ(d.Width, 512u);
    EXPECT_EQ(d.Height, 256u);
    EXPECT_EQ(d.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(tex->GetLevelCount(), 10u);
    ComRef<IDirect3DCubeTexture8> cube;
    ASSERT_EQ(CreateCubeTextureChecked(device_.Get(), 100, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, cube.Out()), S_OK);
    ASSERT_EQ(cube->GetLevelDesc(0, &d), S_OK);
    EXPECT_EQ(d.Width, 128u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    ComRef<IDirect3DVolumeTexture8> volume;
    ASSERT_EQ(CreateVolumeTextureChecked(device_.Get(), 5, 5, 3, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, volume.Out()),
              S_OK);
    D3DVOLUME_DESC v = {};
    ASSERT_EQ(volume->GetLevelDesc(0, &v), S_OK);
    EXPECT_EQ(v.Width, 8u);
    EXPECT_EQ(v.Depth, 4u);
    IDirect3DVolumeTexture8* none = nullptr;
    EXPECT_EQ(CreateVolumeTextureChecked(device_.Get(), 5, 5, 3, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                         D3DPOOL_MANAGED, &none),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
}

TEST_F(SurfaceLoad, LocksTheRectangleOrTheWholeBlockSurfaceAndAlwaysUnlocks) {
    std::vector<std::uint32_t> source(16 * 16, 0xFF336699u);
    const RECT src = {0, 0, 10, 10};
    const RECT rect = {10, 10, 20, 20};

    auto plain = MakeTexture(64, 64, D3DFMT_X8R8G8B8);
    auto plainLevel = Level(plain.Get(), 0);
    RecordingSurface plainSurface(plainLevel.Get());
    ASSERT_EQ(LoadSurfaceFromMemory(&plainSurface, nullptr, &rect, source.data(), D3DFMT_A8R8G8B8, 64, nullptr, &src,
                                    FILTER_NONE, 0),
              S_OK);
    ASSERT_EQ(plainSurface.locks.size(), 1u);
    EXPECT_TRUE(plainSurface.locks[0].hasRect);
    EXPECT_EQ(plainSurface.locks[0].rect.left, 10);
    EXPECT_EQ(plainSurface.locks[0].rect.bottom, 20);
    EXPECT_EQ(plainSurface.locks[0].flags, 0u);
    EXPECT_EQ(plainSurface.unlocks, 1);

    auto blocks = MakeTexture(64, 64, D3DFMT_DXT1);
    auto blockLevel = Level(blocks.Get(), 0);
    RecordingSurface blockSurface(blockLevel.Get());
    if (HaveDxtCodec()) {
        const RECT blockRect = {8, 8, 16, 16};
        const RECT blockSrc = {0, 0, 8, 8};
        ASSERT_EQ(LoadSurfaceFromMemory(&blockSurface, nullptr, &blockRect, source.data(), D3DFMT_A8R8G8B8, 64,
                                        nullptr, &blockSrc, FILTER_NONE, 0),
                  S_OK);
        ASSERT_EQ(blockSurface.locks.size(), 1u);
        EXPECT_FALSE(blockSurface.locks[0].hasRect) << "block formats are locked whole";
    }

    // The source of a surface-to-surface load is locked read-only at its rectangle.
    auto target = MakeTexture(16, 16, D3DFMT_X8R8G8B8);
    auto targetLevel = Level(target.Get(), 0);
    ASSERT_EQ(LoadSurfaceFromSurface(targetLevel.Get(), nullptr, nullptr, &plainSurface, nullptr, &rect,
                                     FILTER_NONE, 0),
              S_OK);
    ASSERT_EQ(plainSurface.locks.size(), 2u);
    EXPECT_TRUE(plainSurface.locks[1].hasRect);
    EXPECT_EQ(plainSurface.locks[1].rect.right, 20);
    EXPECT_EQ(plainSurface.locks[1].flags, D3DLOCK_READONLY);
    EXPECT_EQ(plainSurface.unlocks, 2);

    // A conversion that fails still unlocks; a refused rectangle never locks.
    const RECT outside = {60, 60, 70, 70};
    EXPECT_EQ(LoadSurfaceFromMemory(&plainSurface, nullptr, &outside, source.data(), D3DFMT_A8R8G8B8, 64, nullptr,
                                    &src, FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadSurfaceFromMemory(&plainSurface, nullptr, &rect, source.data(), D3DFMT_V8U8, 64, nullptr, &src,
                                    FILTER_NONE, 0),
              E_FAIL);
    EXPECT_EQ(plainSurface.locks.size(), 3u);
    EXPECT_EQ(plainSurface.unlocks, 3);
}

// A load covering the whole surface takes a discarding lock (its old contents are not
// needed), but only once the conversion is known to be accepted: a refused load keeps the
// old pixels, and a new level it was refused into still reads as zero.
TEST_F(SurfaceLoad, WholeLoadsDiscardOnlyWhenTheConversionIsAccepted) {
    std::vector<std::uint32_t> source(16 * 16, 0xFF336699u);
    const RECT src = {0, 0, 16, 16};

    auto tex = MakeTexture(16, 16, D3DFMT_X8R8G8B8);
    auto level = Level(tex.Get(), 0);
    RecordingSurface surface(level.Get());
    ASSERT_EQ(LoadSurfaceFromMemory(&surface, nullptr, nullptr, source.data(), D3DFMT_A8R8G8B8, 64, nullptr, &src,
                                    FILTER_NONE, 0),
              S_OK);
    ASSERT_EQ(surface.locks.size(), 1u);
    EXPECT_EQ(surface.locks[0].flags, static_cast<DWORD>(D3DLOCK_DISCARD));
    EXPECT_EQ(ReadLevel32(tex.Get(), 0)[17] & 0xFFFFFF, 0x336699u);

    EXPECT_EQ(LoadSurfaceFromMemory(&surface, nullptr, nullptr, source.data(), D3DFMT_V8U8, 32, nullptr, &src,
                                    FILTER_NONE, 0),
              E_FAIL);
    EXPECT_EQ(surface.locks.size(), 2u);
    EXPECT_EQ(surface.locks[1].flags, 0u);
    EXPECT_EQ(ReadLevel32(tex.Get(), 0)[17] & 0xFFFFFF, 0x336699u) << "a refused load changed the pixels";

    // Memory that held other pixels before, handed to a new level: still zero after a
    // refused load.
    FillLevel32(tex.Get(), 0, [](UINT, UINT) { return SENTINEL; });
    tex.Reset();
    level.Reset();
    auto fresh = MakeTexture(16, 16, D3DFMT_X8R8G8B8);
    auto freshLevel = Level(fresh.Get(), 0);
    EXPECT_EQ(LoadSurfaceFromMemory(freshLevel.Get(), nullptr, nullptr, source.data(), D3DFMT_V8U8, 32, nullptr, &src,
                                    FILTER_NONE, 0),
              E_FAIL);
    for (std::uint32_t pixel : ReadLevel32(fresh.Get(), 0)) ASSERT_EQ(pixel & 0xFFFFFF, 0u);
}

namespace {

// Every byte of a surface or volume, row by row without the pitch's padding; fill writes a
// pattern that no load here produces.
template <typename Resource>
std::vector<BYTE> ResourceBytes(Resource* resource, bool fill) {
    std::vector<BYTE> bytes;
    if constexpr (std::is_same_v<Resource, IDirect3DSurface8>) {
        D3DSURFACE_DESC desc = {};
        D3DLOCKED_RECT locked = {};
        EXPECT_EQ(resource->GetDesc(&desc), S_OK);
        EXPECT_EQ(resource->LockRect(&locked, nullptr, 0), S_OK);
        const UINT rowBytes = desc.Size / desc.Height;
        for (UINT y = 0; y < desc.Height; ++y) {
            BYTE* row = static_cast<BYTE*>(locked.pBits) + y * locked.Pitch;
            for (UINT x = 0; x < rowBytes; ++x) {
                if (fill) row[x] = static_cast<BYTE>(0x5A + 7 * x + 13 * y);
                bytes.push_back(row[x]);
            }
        }
        resource->UnlockRect();
    } else {
        D3DVOLUME_DESC desc = {};
        D3DLOCKED_BOX locked = {};
        EXPECT_EQ(resource->GetDesc(&desc), S_OK);
        EXPECT_EQ(resource->LockBox(&locked, nullptr, 0), S_OK);
        const UINT rowBytes = desc.Size / (desc.Height * desc.Depth);
        for (UINT z = 0; z < desc.Depth; ++z) {
            for (UINT y = 0; y < desc.Height; ++y) {
                BYTE* row = static_cast<BYTE*>(locked.pBits) + z * locked.SlicePitch + y * locked.RowPitch;
                for (UINT x = 0; x < rowBytes; ++x) {
                    if (fill) row[x] = static_cast<BYTE>(0x5A + 7 * x + 13 * y + 29 * z);
                    bytes.push_back(row[x]);
                }
            }
        }
        resource->UnlockBox();
    }
    return bytes;
}

}  // namespace

// Loads covering a whole level that the converter refuses only after looking at the pair
// (no strategy resamples signed pixels with a box filter; an empty source cannot be
// resampled) fail without touching the level: the old pixels stay, byte for byte.
TEST_F(SurfaceLoad, RefusedWholeLoadsKeepTheOldPixels) {
    D3DDeviceProfile profile = D3DDefaultDeviceProfile();
    profile.TextureFormats.push_back(D3DFMT_V8U8);
    profile.VolumeTextureFormats.push_back(D3DFMT_V8U8);
    ASSERT_NE(MakeDevice(profile), nullptr);
    auto bump = MakeTexture(16, 16, D3DFMT_V8U8, 2);
    ASSERT_NE(bump.Get(), nullptr);
    auto level1 = Level(bump.Get(), 1);
    const std::vector<BYTE> before = ResourceBytes(level1.Get(), true);
    EXPECT_EQ(FilterTexture(bump.Get(), nullptr, 0, FILTER_BOX), E_FAIL);
    EXPECT_EQ(ResourceBytes(level1.Get(), false), before) << "a refused box filter changed level 1";

    auto tex = MakeTexture(16, 16, D3DFMT_X8R8G8B8);
    auto level0 = Level(tex.Get(), 0);
    const std::vector<BYTE> old = ResourceBytes(level0.Get(), true);
    std::vector<std::uint32_t> source(16 * 16, 0xFF336699u);
    const RECT empty = {4, 4, 4, 4};
    for (DWORD filter : {FILTER_POINT, FILTER_LINEAR, FILTER_TRIANGLE, FILTER_BOX}) {
        EXPECT_EQ(LoadSurfaceFromMemory(level0.Get(), nullptr, nullptr, source.data(), D3DFMT_A8R8G8B8, 64, nullptr,
                                        &empty, filter, 0),
                  D3DERR_INVALIDCALL)
            << filter;
        EXPECT_EQ(ResourceBytes(level0.Get(), false), old) << "filter " << filter << " changed the level";
    }

    ComRef<IDirect3DVolumeTexture8> volumes[2];
    ASSERT_EQ(device_->CreateVolumeTexture(8, 8, 8, 2, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, volumes[0].Out()), S_OK);
    ASSERT_EQ(device_->CreateVolumeTexture(8, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, volumes[1].Out()), S_OK);
    ComRef<IDirect3DVolume8> bumpLevel1, colourLevel0;
    ASSERT_EQ(volumes[0]->GetVolumeLevel(1, bumpLevel1.Out()), S_OK);
    ASSERT_EQ(volumes[1]->GetVolumeLevel(0, colourLevel0.Out()), S_OK);
    const std::vector<BYTE> bumpBefore = ResourceBytes(bumpLevel1.Get(), true);
    EXPECT_EQ(FilterVolumeTexture(volumes[0].Get(), nullptr, 0, FILTER_BOX), E_FAIL);
    EXPECT_EQ(ResourceBytes(bumpLevel1.Get(), false), bumpBefore);
    const std::vector<BYTE> colourBefore = ResourceBytes(colourLevel0.Get(), true);
    const D3DBOX emptyBox = {0, 0, 8, 8, 3, 3};
    EXPECT_EQ(LoadVolumeFromMemory(colourLevel0.Get(), nullptr, nullptr, source.data(), D3DFMT_A8R8G8B8, 32, 256,
                                   nullptr, &emptyBox, FILTER_LINEAR, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(ResourceBytes(colourLevel0.Get(), false), colourBefore);
}
