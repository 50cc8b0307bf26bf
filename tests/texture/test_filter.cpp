// Mipmap chains: which level each level is made from, the source level checks and the
// cube faces' edge handling. Expected levels are made by explicit level-to-level loads.
#include <gtest/gtest.h>

#include "image/convert.h"
#include "texture_test_util.h"

using namespace texture_test;

namespace {

// A pattern whose halvings differ from its quarterings, so that a level made from the
// one above is told apart from one made from level 0.
std::uint32_t Noise(UINT x, UINT y) {
    std::uint32_t h = x * 374761393u + y * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return 0xFF000000u | (h & 0xFFFFFF);
}

class Filtering : public DeviceTest {
protected:
    void SetUp() override { ASSERT_NE(MakeDevice(), nullptr); }

    ComRef<IDirect3DTexture8> NoiseTexture(UINT size, UINT levels) {
        ComRef<IDirect3DTexture8> t;
        EXPECT_EQ(device_->CreateTexture(size, size, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, t.Out()), S_OK);
        for (UINT level = 0; level < levels; ++level) FillLevel32(t.Get(), level, Noise);
        return t;
    }

    // Level `to` of `into` made from level `from` of `source`.
    void LoadLevel(IDirect3DTexture8* into, UINT to, IDirect3DTexture8* source, UINT from, DWORD filter) {
        ComRef<IDirect3DSurface8> d, s;
        ASSERT_EQ(into->GetSurfaceLevel(to, d.Out()), S_OK);
        ASSERT_EQ(source->GetSurfaceLevel(from, s.Out()), S_OK);
        ASSERT_EQ(LoadSurfaceFromSurface(d.Get(), nullptr, nullptr, s.Get(), nullptr, nullptr, filter, 0), S_OK);
    }
};

}  // namespace

TEST_F(Filtering, BoxChainsEachLevelFromTheOneAbove) {
    auto tex = NoiseTexture(32, 6);
    ASSERT_EQ(FilterTexture(tex.Get(), nullptr, 0, FILTER_BOX), S_OK);
    auto expected = NoiseTexture(32, 6);
    for (UINT level = 1; level < 6; ++level) LoadLevel(expected.Get(), level, expected.Get(), level - 1, FILTER_BOX);
    for (UINT level = 1; level < 6; ++level) {
        EXPECT_EQ(ReadLevel32(tex.Get(), level), ReadLevel32(expected.Get(), level)) << "level " << level;
    }
    // The default filter of an unsigned format is the box filter.
    auto byDefault = NoiseTexture(32, 6);
    ASSERT_EQ(FilterTexture(byDefault.Get(), nullptr, USE_DEFAULT, USE_DEFAULT), S_OK);
    for (UINT level = 1; level < 6; ++level) {
        EXPECT_EQ(ReadLevel32(byDefault.Get(), level), ReadLevel32(expected.Get(), level)) << "level " << level;
    }
}

TEST_F(Filtering, TriangleMakesEveryLevelFromTheSourceLevel) {
    auto tex = NoiseTexture(32, 6);
    ASSERT_EQ(FilterTexture(tex.Get(), nullptr, 1, FILTER_TRIANGLE), S_OK);
    auto direct = NoiseTexture(32, 6);
    auto chained = NoiseTexture(32, 6);
    for (UINT level = 2; level < 6; ++level) {
        LoadLevel(direct.Get(), level, direct.Get(), 1, FILTER_TRIANGLE);
        LoadLevel(chained.Get(), level, chained.Get(), level - 1, FILTER_TRIANGLE);
    }
    EXPECT_EQ(ReadLevel32(tex.Get(), 0), ReadLevel32(direct.Get(), 0)) << "levels above the source are untouched";
    EXPECT_EQ(ReadLevel32(tex.Get(), 1), ReadLevel32(direct.Get(), 1));
    for (UINT level = 2; level < 6; ++level) {
        EXPECT_EQ(ReadLevel32(tex.Get(), level), ReadLevel32(direct.Get(), level)) << "level " << level;
    }
    EXPECT_NE(ReadLevel32(direct.Get(), 4), ReadLevel32(chained.Get(), 4)) << "the pattern cannot tell the two apart";
}

TEST_F(Filtering, SourceLevelChecks) {
    auto tex = NoiseTexture(256, 9);
    const auto before = ReadLevel32(tex.Get(), 8);
    EXPECT_EQ(FilterTexture(tex.Get(), nullptr, 8, FILTER_BOX), S_OK);
    EXPECT_EQ(ReadLevel32(tex.Get(), 8), before) << "the last level as source changes nothing";
    EXPECT_EQ(FilterTexture(tex.Get(), nullptr, 9, FILTER_BOX), D3DERR_INVALIDCALL);
    EXPECT_EQ(FilterTexture(tex.Get(), nullptr, 0xFFFFFFFEu, FILTER_BOX), D3DERR_INVALIDCALL);
    EXPECT_EQ(FilterTexture(nullptr, nullptr, 0, FILTER_BOX), D3DERR_INVALIDCALL);
    EXPECT_EQ(ReadLevel32(tex.Get(), 8), before);
    // A bad filter word stops at the first level and comes back from the converter.
    EXPECT_EQ(FilterTexture(tex.Get(), nullptr, 0, 0x100), D3DERR_INVALIDCALL);
}

TEST_F(Filtering, CubeFacesAllGetTheMirrorFlags) {
    ComRef<IDirect3DCubeTexture8> cube;
    ASSERT_EQ(device_->CreateCubeTexture(16, 5, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.Out()), S_OK);
    for (DWORD face = 0; face < 6; ++face) {
        D3DLOCKED_RECT locked = {};
        ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0), S_OK);
        for (UINT y = 0; y < 16; ++y) {
            for (UINT x = 0; x < 16; ++x) {
                reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] =
                    Noise(x + face * 16, y);
            }
        }
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    ASSERT_EQ(FilterCubeTexture(cube.Get(), nullptr, 0, FILTER_TRIANGLE), S_OK);

    // The same face in a plain texture, filtered explicitly with and without the flags.
    for (DWORD face = 0; face < 6; ++face) {
        auto mirrored = NoiseTexture(16, 5);
        auto wrapped = NoiseTexture(16, 5);
        FillLevel32(mirrored.Get(), 0, [&](UINT x, UINT y) { return Noise(x + face * 16, y); });
        FillLevel32(wrapped.Get(), 0, [&](UINT x, UINT y) { return Noise(x + face * 16, y); });
        for (UINT level = 1; level < 5; ++level) {
            LoadLevel(mirrored.Get(), level, mirrored.Get(), 0, FILTER_TRIANGLE | FILTER_MIRROR);
            LoadLevel(wrapped.Get(), level, wrapped.Get(), 0, FILTER_TRIANGLE);
        }
        for (UINT level = 1; level < 5; ++level) {
            ComRef<IDirect3DSurface8> s;
            ASSERT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, s.Out()), S_OK);
            EXPECT_EQ(ReadPixels32(s.Get()), ReadLevel32(mirrored.Get(), level)) << "face " << face << " level " << level;
        }
        if (face == 0) {
            EXPECT_NE(ReadLevel32(mirrored.Get(), 1), ReadLevel32(wrapped.Get(), 1))
                << "the converter's edge handling does not show in this pattern";
        }
    }
    EXPECT_EQ(FilterCubeTexture(cube.Get(), nullptr, 5, FILTER_BOX), D3DERR_INVALIDCALL);
}

TEST_F(Filtering, VolumeChain) {
    ComRef<IDirect3DVolumeTexture8> volume;
    ASSERT_EQ(device_->CreateVolumeTexture(8, 8, 8, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, volume.Out()), S_OK);
    D3DLOCKED_BOX box = {};
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, 0), S_OK);
    for (UINT z = 0; z < 8; ++z) {
        for (UINT y = 0; y < 8; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(box.pBits) + z * box.SlicePitch +
                                                         y * box.RowPitch);
            for (UINT x = 0; x < 8; ++x) row[x] = 0xFF204060u;
        }
    }
    volume->UnlockBox(0);
    ASSERT_EQ(FilterVolumeTexture(volume.Get(), nullptr, USE_DEFAULT, USE_DEFAULT), S_OK);
    ASSERT_EQ(volume->LockBox(3, &box, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_LE(ChannelDistance(*static_cast<std::uint32_t*>(box.pBits), 0xFF204060u), 1);
    volume->UnlockBox(3);
    EXPECT_EQ(FilterVolumeTexture(volume.Get(), nullptr, 4, FILTER_BOX), D3DERR_INVALIDCALL);
}
