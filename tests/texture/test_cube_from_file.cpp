// Cube textures from files with six faces.
#include <gtest/gtest.h>

#include "fake_device.h"
#include "image/convert.h"
#include "texture_test_util.h"

using namespace texture_test;

namespace {

constexpr std::uint32_t FACE_COLORS[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu,
                                          0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};

Bytes SolidCube(UINT w, UINT h, UINT levels) {
    return MakeDdsArgb(w, h, levels, 6, [](UINT face, UINT) {
        return [c = FACE_COLORS[face]](UINT, UINT) { return c; };
    });
}

std::vector<std::uint32_t> ReadFace(IDirect3DCubeTexture8* cube, UINT face, UINT level) {
    ComRef<IDirect3DSurface8> s;
    EXPECT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, s.Out()), S_OK);
    return s ? ReadPixels32(s.Get()) : std::vector<std::uint32_t>{};
}

class CubeFromFile : public DeviceTest {};

}  // namespace

TEST_F(CubeFromFile, SixFacesWithoutLevelsGetAFullChainPerFace) {
    ASSERT_NE(MakeDevice(ProfileWith(D3DPTEXTURECAPS_MIPCUBEMAP, 0)), nullptr);
    const Bytes dds = SolidCube(64, 64, 1);
    ComRef<IDirect3DCubeTexture8> cube;
    ASSERT_EQ(CreateCubeTextureFromFileInMemory(device_.Get(), dds.data(), static_cast<UINT>(dds.size()), cube.Out()),
              S_OK);
    D3DSURFACE_DESC d = {};
    ASSERT_EQ(cube->GetLevelDesc(0, &d), S_OK);
    EXPECT_EQ(d.Width, 64u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(cube->GetLevelCount(), 7u);
    for (UINT face = 0; face < 6; ++face) {
        for (UINT level = 0; level < 7; ++level) {
            const auto px = ReadFace(cube.Get(), face, level);
            ASSERT_FALSE(px.empty());
            EXPECT_LE(ChannelDistance(px[0], FACE_COLORS[face]), 1) << "face " << face << " level " << level;
            EXPECT_LE(ChannelDistance(px.back(), FACE_COLORS[face]), 1) << "face " << face << " level " << level;
        }
    }
}

TEST_F(CubeFromFile, FileLevelsAndRectangularFaces) {
    ASSERT_NE(MakeDevice(ProfileWith(D3DPTEXTURECAPS_MIPCUBEMAP, 0)), nullptr);
    // Level 1 of every face is black in the file: it must come from the file, and the
    // levels below it be filtered from it.
    const Bytes dds = MakeDdsArgb(16, 16, 2, 6, [](UINT face, UINT level) {
        return [c = level == 0 ? FACE_COLORS[face] : 0xFF000000u](UINT, UINT) { return c; };
    });
    ComRef<IDirect3DCubeTexture8> cube;
    ASSERT_EQ(CreateCubeTextureFromFileInMemory(device_.Get(), dds.data(), static_cast<UINT>(dds.size()), cube.Out()),
              S_OK);
    ASSERT_EQ(cube->GetLevelCount(), 5u);
    for (UINT face = 0; face < 6; ++face) {
        EXPECT_LE(ChannelDistance(ReadFace(cube.Get(), face, 0)[0], FACE_COLORS[face]), 1);
        for (UINT level = 1; level < 5; ++level) {
            EXPECT_LE(ChannelDistance(ReadFace(cube.Get(), face, level)[0], 0xFF000000u), 1) << level;
        }
    }
    // 32x16 faces make a 32x32 cube, each face stretched over the square.
    const Bytes wide = MakeDdsArgb(32, 16, 1, 6, [](UINT face, UINT) {
        return [c = FACE_COLORS[face]](UINT x, UINT) { return x < 16 ? c : 0xFF000000u; };
    });
    ASSERT_EQ(CreateCubeTextureFromFileInMemory(device_.Get(), wide.data(), static_cast<UINT>(wide.size()), cube.Out()),
              S_OK);
    D3DSURFACE_DESC d = {};
    ASSERT_EQ(cube->GetLevelDesc(0, &d), S_OK);
    EXPECT_EQ(d.Width, 32u);
    EXPECT_EQ(d.Height, 32u);
    const auto px = ReadFace(cube.Get(), 3, 0);
    EXPECT_LE(ChannelDistance(px[31 * 32 + 2], FACE_COLORS[3]), 8) << "bottom-left holds the left half";
    EXPECT_LE(ChannelDistance(px[31 * 32 + 29], 0xFF000000u), 8) << "bottom-right holds the right half";
}

TEST_F(CubeFromFile, PlainImagesAreRefused) {
    ASSERT_NE(MakeDevice(), nullptr);
    IDirect3DCubeTexture8* out = reinterpret_cast<IDirect3DCubeTexture8*>(0x4321);
    const Bytes jpeg = MakeJpeg(32, 32, [](UINT, UINT) { return 0x808080u; });
    EXPECT_EQ(CreateCubeTextureFromFileInMemory(device_.Get(), jpeg.data(), static_cast<UINT>(jpeg.size()), &out),
              E_FAIL);
    const std::string bmpPath = WriteTempFile("flat.bmp", MakeBmp24(8, 8, [](UINT, UINT) { return 0u; }));
    EXPECT_EQ(CreateCubeTextureFromFile(device_.Get(), bmpPath.c_str(), &out), E_FAIL);
    const Bytes flatDds = MakeDdsArgb(8, 8, 1, 1, [](UINT, UINT) { return [](UINT, UINT) { return 0u; }; });
    EXPECT_EQ(CreateCubeTextureFromFileInMemory(device_.Get(), flatDds.data(), static_cast<UINT>(flatDds.size()), &out),
              E_FAIL);
    EXPECT_EQ(CreateCubeTextureFromFile(device_.Get(), "/nonexistent/tolvane/cube.dds", &out),
              static_cast<HRESULT>(0x80070002u));
    EXPECT_EQ(out, reinterpret_cast<IDirect3DCubeTexture8*>(0x4321));
}

TEST_F(CubeFromFile, DefaultPoolUsesACubeTwin) {
    ASSERT_NE(MakeDevice(), nullptr);
    FakeDevice device(D3DDefaultDeviceProfile(), device_.Get());
    const Bytes dds = SolidCube(8, 8, 1);
    ComRef<IDirect3DCubeTexture8> cube;
    ASSERT_EQ(CreateCubeTextureFromFileInMemoryEx(&device, dds.data(), static_cast<UINT>(dds.size()), USE_DEFAULT,
                                                  USE_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT, USE_DEFAULT,
                                                  USE_DEFAULT, 0, nullptr, nullptr, cube.Out()),
              S_OK);
    EXPECT_EQ(device.createTextureCalls, 2);
    EXPECT_EQ(device.updateTextureCalls, 1);
    EXPECT_EQ(device.ReleaseHeld(), (std::vector<ULONG>{1, 0}));
}

TEST_F(CubeFromFile, FaceLevelsAreResampledWithMirroredEdges) {
    ASSERT_NE(MakeDevice(ProfileWith(D3DPTEXTURECAPS_MIPCUBEMAP, 0)), nullptr);
    auto noise = [](UINT face) {
        return [face](UINT x, UINT y) {
            std::uint32_t h = (x + 17 * face) * 374761393u + y * 668265263u;
            return 0xFF000000u | ((h ^ (h >> 13)) * 1274126177u & 0xFFFFFF);
        };
    };
    const Bytes dds = MakeDdsArgb(16, 16, 1, 6, [&](UINT face, UINT) { return PixelFn(noise(face)); });
    ComRef<IDirect3DCubeTexture8> cube;
    // A triangle mip filter loads every level of every face from the face's image.
    ASSERT_EQ(CreateCubeTextureFromFileInMemoryEx(device_.Get(), dds.data(), static_cast<UINT>(dds.size()), 0, 3, 0,
                                                  D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, FILTER_POINT, FILTER_TRIANGLE, 0,
                                                  nullptr, nullptr, cube.Out()),
              S_OK);
    for (UINT face = 0; face < 6; ++face) {
        std::vector<std::uint32_t> image(16 * 16);
        for (UINT i = 0; i < image.size(); ++i) image[i] = noise(face)(i % 16, i / 16);
        const RECT whole = {0, 0, 16, 16};
        for (UINT level = 1; level < 3; ++level) {
            ComRef<IDirect3DTexture8> expected;
            ASSERT_EQ(device_->CreateTexture(16 >> level, 16 >> level, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                             expected.Out()),
                      S_OK);
            ComRef<IDirect3DSurface8> s;
            ASSERT_EQ(expected->GetSurfaceLevel(0, s.Out()), S_OK);
            ASSERT_EQ(LoadSurfaceFromMemory(s.Get(), nullptr, nullptr, image.data(), D3DFMT_A8R8G8B8, 64, nullptr,
                                            &whole, FILTER_TRIANGLE | FILTER_MIRROR, 0),
                      S_OK);
            EXPECT_EQ(ReadFace(cube.Get(), face, level), ReadPixels32(s.Get())) << "face " << face << " level " << level;
        }
    }
}
