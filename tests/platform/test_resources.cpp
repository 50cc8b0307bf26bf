// Surfaces, textures, cube and volume textures: memory layout per format, locks of
// rectangles and boxes, UpdateTexture, and refusal of bad arguments.
#include <cstring>

#include "device_fixture.h"

namespace {

class ResourceTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
    }
};

// Bytes per pixel of the plain formats, as the platform lays them out.
struct PlainFormat {
    D3DFORMAT format;
    int bytes;
};
constexpr PlainFormat kPlainFormats[] = {
    {D3DFMT_A8R8G8B8, 4}, {D3DFMT_X8R8G8B8, 4}, {D3DFMT_R5G6B5, 2}, {D3DFMT_X1R5G5B5, 2}, {D3DFMT_A1R5G5B5, 2},
    {D3DFMT_A4R4G4B4, 2}, {D3DFMT_R3G3B2, 1},   {D3DFMT_A8, 1},     {D3DFMT_A8R3G3B2, 2}, {D3DFMT_X4R4G4B4, 2},
    {D3DFMT_L8, 1},       {D3DFMT_A8L8, 2},     {D3DFMT_A4L4, 1},
};

TEST_F(ResourceTest, PlainTextureLevelsArePackedRows) {
    for (const PlainFormat& f : kPlainFormats) {
        SCOPED_TRACE(f.format);
        IDirect3DTexture8* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(16, 8, 0, 0, f.format, D3DPOOL_MANAGED, &texture), D3D_OK);
        ASSERT_EQ(texture->GetLevelCount(), 5u);
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(texture->GetLevelDesc(4, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, 1u);
        EXPECT_EQ(desc.Height, 1u);
        ASSERT_EQ(texture->GetLevelDesc(1, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, 8u);
        EXPECT_EQ(desc.Height, 4u);
        EXPECT_EQ(desc.Format, f.format);
        EXPECT_EQ(desc.Type, D3DRTYPE_SURFACE);
        EXPECT_EQ(desc.Size, static_cast<UINT>(8 * 4 * f.bytes));

        D3DLOCKED_RECT whole{};
        ASSERT_EQ(texture->LockRect(0, &whole, nullptr, 0), D3D_OK);
        EXPECT_EQ(whole.Pitch, 16 * f.bytes);
        std::memset(whole.pBits, 0x5A, static_cast<std::size_t>(16 * 8 * f.bytes));  // the whole level is writable
        ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
        RECT rect{2, 3, 6, 5};
        D3DLOCKED_RECT part{};
        ASSERT_EQ(texture->LockRect(0, &part, &rect, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(part.Pitch, whole.Pitch);
        EXPECT_EQ(static_cast<BYTE*>(part.pBits), static_cast<BYTE*>(whole.pBits) + 3 * whole.Pitch + 2 * f.bytes);
        ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
        texture->Release();
    }
}

TEST_F(ResourceTest, DxtLevelsAreRowsOfFourByFourBlocks) {
    struct Case {
        D3DFORMAT format;
        int blockBytes;
    };
    for (Case c : {Case{D3DFMT_DXT1, 8}, Case{D3DFMT_DXT3, 16}, Case{D3DFMT_DXT5, 16}}) {
        SCOPED_TRACE(c.format);
        IDirect3DTexture8* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(16, 8, 0, 0, c.format, D3DPOOL_MANAGED, &texture), D3D_OK);
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Size, static_cast<UINT>(4 * 2 * c.blockBytes));
        texture->GetLevelDesc(3, &desc);  // 2x1: still one whole block
        EXPECT_EQ(desc.Width, 2u);
        EXPECT_EQ(desc.Size, static_cast<UINT>(c.blockBytes));

        D3DLOCKED_RECT whole{};
        ASSERT_EQ(texture->LockRect(0, &whole, nullptr, 0), D3D_OK);
        EXPECT_EQ(whole.Pitch, 4 * c.blockBytes);
        texture->UnlockRect(0);
        RECT block{4, 4, 8, 8};
        D3DLOCKED_RECT part{};
        ASSERT_EQ(texture->LockRect(0, &part, &block, 0), D3D_OK);
        EXPECT_EQ(static_cast<BYTE*>(part.pBits), static_cast<BYTE*>(whole.pBits) + whole.Pitch + c.blockBytes);
        texture->UnlockRect(0);
        // Rectangles start on block boundaries and end on them or at the edge.
        RECT unaligned{1, 0, 4, 4};
        EXPECT_EQ(texture->LockRect(0, &part, &unaligned, 0), D3DERR_INVALIDCALL);
        RECT shortEnd{0, 0, 4, 3};
        EXPECT_EQ(texture->LockRect(0, &part, &shortEnd, 0), D3DERR_INVALIDCALL);
        RECT edge{0, 0, 2, 1};
        ASSERT_EQ(texture->LockRect(3, &part, &edge, 0), D3D_OK);
        EXPECT_EQ(part.Pitch, c.blockBytes);
        texture->UnlockRect(3);
        texture->Release();
    }
}

TEST_F(ResourceTest, ImageSurfacesTakeAnyColourFormat) {
    struct Case {
        D3DFORMAT format;
        UINT width;
        int pitch;
    };
    const Case cases[] = {
        {D3DFMT_R8G8B8, 5, 15}, {D3DFMT_P8, 5, 5},     {D3DFMT_A8P8, 5, 10}, {D3DFMT_V8U8, 3, 6},
        {D3DFMT_Q8W8V8U8, 3, 12}, {D3DFMT_UYVY, 6, 12}, {D3DFMT_YUY2, 5, 12},  // YUV: whole pairs
        {D3DFMT_DXT2, 8, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        IDirect3DSurface8* surface = nullptr;
        ASSERT_EQ(device_->CreateImageSurface(c.width, 4, c.format, &surface), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
        EXPECT_EQ(locked.Pitch, c.pitch);
        surface->UnlockRect();
        D3DSURFACE_DESC desc{};
        surface->GetDesc(&desc);
        EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
        EXPECT_EQ(desc.Width, c.width);
        surface->Release();
    }
    IDirect3DSurface8* yuv = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(6, 2, D3DFMT_YUY2, &yuv), D3D_OK);
    D3DLOCKED_RECT locked{};
    RECT odd{1, 0, 4, 2};
    EXPECT_EQ(yuv->LockRect(&locked, &odd, 0), D3DERR_INVALIDCALL);  // splits a pair
    RECT pair{2, 1, 4, 2};
    ASSERT_EQ(yuv->LockRect(&locked, &pair, 0), D3D_OK);
    yuv->UnlockRect();
    yuv->Release();

    IDirect3DSurface8* surface = nullptr;
    EXPECT_EQ(device_->CreateImageSurface(4, 4, D3DFMT_D16, &surface), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateImageSurface(4, 4, static_cast<D3DFORMAT>(12345), &surface), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateImageSurface(0, 4, D3DFMT_L8, &surface), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateImageSurface(0x10000, 0x10000, D3DFMT_A8R8G8B8, &surface), E_OUTOFMEMORY);
    EXPECT_EQ(surface, nullptr);
}

// New levels read as zero however they are first reached, even where the allocator hands
// back memory that an earlier texture filled; only a whole-level discarding lock, whose
// caller writes every byte, skips the clearing.
TEST_F(ResourceTest, NewLevelsReadAsZeroUnlessDiscardedWhole) {
    auto allZero = [](const D3DLOCKED_RECT& r, int rows, int rowBytes) {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < rowBytes; ++x)
                if (static_cast<const BYTE*>(r.pBits)[y * r.Pitch + x] != 0) return false;
        return true;
    };
    auto make = [&] {
        IDirect3DTexture8* texture = nullptr;
        EXPECT_EQ(device_->CreateTexture(32, 32, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
        return texture;
    };
    auto scribble = [&] {
        IDirect3DTexture8* old = make();
        D3DLOCKED_RECT r{};
        EXPECT_EQ(old->LockRect(0, &r, nullptr, 0), D3D_OK);
        std::memset(r.pBits, 0xAB, 32 * 32 * 4);
        old->UnlockRect(0);
        old->Release();
    };

    scribble();
    IDirect3DTexture8* texture = make();
    D3DLOCKED_RECT r{};
    ASSERT_EQ(texture->LockRect(0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_TRUE(allZero(r, 32, 32 * 4));
    texture->UnlockRect(0);
    texture->Release();

    // A discarding lock of part of a level clears the level first.
    scribble();
    texture = make();
    RECT part{0, 0, 8, 8};
    ASSERT_EQ(texture->LockRect(0, &r, &part, D3DLOCK_DISCARD), D3D_OK);
    texture->UnlockRect(0);
    ASSERT_EQ(texture->LockRect(0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_TRUE(allZero(r, 32, 32 * 4));
    texture->UnlockRect(0);

    // A whole discarding lock keeps what its caller wrote, and later locks see it.
    ASSERT_EQ(texture->LockRect(0, &r, nullptr, D3DLOCK_DISCARD), D3D_OK);
    std::memset(r.pBits, 0x11, 32 * 32 * 4);
    texture->UnlockRect(0);
    ASSERT_EQ(texture->LockRect(0, &r, &part, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(static_cast<const BYTE*>(r.pBits)[0], 0x11);
    texture->UnlockRect(0);
    texture->Release();

    // UpdateTexture fills a new destination from a source that was never written: zeros.
    scribble();
    IDirect3DTexture8* source = nullptr;
    IDirect3DTexture8* destination = nullptr;
    ASSERT_EQ(device_->CreateTexture(32, 32, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &source), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(32, 32, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &destination),
              D3D_OK);
    ASSERT_EQ(device_->UpdateTexture(source, destination), D3D_OK);
    ASSERT_EQ(destination->LockRect(0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_TRUE(allZero(r, 32, 32 * 4));
    destination->UnlockRect(0);
    source->Release();
    destination->Release();
}

// An image surface refuses a rectangle that does not lie inside (texture levels clamp it:
// test_texture_updates.cpp).
TEST_F(ResourceTest, LocksRefuseBadRectanglesAndSecondLocks) {
    IDirect3DSurface8* image = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(8, 8, D3DFMT_A8R8G8B8, &image), D3D_OK);
    D3DLOCKED_RECT locked{};
    const RECT bad[] = {{0, 0, 9, 8}, {0, 0, 8, 9}, {4, 4, 4, 6}, {5, 0, 3, 2}, {-1, 0, 2, 2}};
    for (const RECT& r : bad) EXPECT_EQ(image->LockRect(&locked, &r, 0), D3DERR_INVALIDCALL);
    image->Release();
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    EXPECT_EQ(texture->LockRect(2, &locked, nullptr, 0), D3DERR_INVALIDCALL);  // no such level
    EXPECT_EQ(texture->LockRect(0, nullptr, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->UnlockRect(5), D3DERR_INVALIDCALL);

    // The level surface and the texture lock the same memory.
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(level->LockRect(&locked, nullptr, 0), D3D_OK);
    D3DLOCKED_RECT second{};
    EXPECT_EQ(texture->LockRect(0, &second, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(texture->LockRect(1, &second, nullptr, 0), D3D_OK);  // another level is free
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(level->UnlockRect(), D3DERR_INVALIDCALL);
    texture->UnlockRect(1);

    D3DSURFACE_DESC desc{};
    EXPECT_EQ(texture->GetLevelDesc(2, &desc), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->GetLevelDesc(0, nullptr), D3DERR_INVALIDCALL);
    IDirect3DSurface8* none = nullptr;
    EXPECT_EQ(texture->GetSurfaceLevel(9, &none), D3DERR_INVALIDCALL);
    level->Release();
    texture->Release();
}

TEST_F(ResourceTest, TextureCreationRefusesBadArguments) {
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(device_->CreateTexture(0, 8, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(16, 16, 6, 0, D3DFMT_L8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(12, 16, 0, 0, D3DFMT_L8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8192, 8, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_P8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, static_cast<D3DFORMAT>(777), D3DPOOL_MANAGED, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0x8000, D3DFMT_L8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_L8, static_cast<D3DPOOL>(4), &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_L8, D3DPOOL_DEFAULT, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture),
              D3D_OK);
    texture->Release();
    IDirect3DCubeTexture8* cube = nullptr;
    EXPECT_EQ(device_->CreateCubeTexture(12, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &cube), D3DERR_INVALIDCALL);
    IDirect3DVolumeTexture8* volume = nullptr;
    EXPECT_EQ(device_->CreateVolumeTexture(8, 8, 1024, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &volume), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateVolumeTexture(6, 8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &volume), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateVolumeTexture(8, 8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                           &volume),
              D3DERR_INVALIDCALL);
}

TEST_F(ResourceTest, CubeFacesAreSeparateSurfaces) {
    IDirect3DCubeTexture8* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(8, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube), D3D_OK);
    EXPECT_EQ(cube->GetLevelCount(), 4u);
    EXPECT_EQ(cube->GetType(), D3DRTYPE_CUBETEXTURE);
    IDirect3DSurface8* face = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 3, &face), D3D_OK);
    D3DSURFACE_DESC desc{};
    face->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 1u);
    face->Release();
    EXPECT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(6), 0, &face), D3DERR_INVALIDCALL);
    EXPECT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_X, 4, &face), D3DERR_INVALIDCALL);

    D3DLOCKED_RECT a{}, b{};
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_X, 0, &a, nullptr, 0), D3D_OK);
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_X, 0, &b, nullptr, 0), D3D_OK);
    EXPECT_NE(a.pBits, b.pBits);
    EXPECT_EQ(a.Pitch, 32);
    EXPECT_EQ(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_X, 0, &a, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_X, 0), D3D_OK);
    EXPECT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_X, 0), D3D_OK);
    EXPECT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_X, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(9), 0), D3DERR_INVALIDCALL);
    cube->Release();
}

TEST_F(ResourceTest, VolumeLevelsAreSlicesOfRows) {
    IDirect3DVolumeTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(8, 4, 2, 0, 0, D3DFMT_A8L8, D3DPOOL_MANAGED, &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    D3DVOLUME_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(desc.Depth, 1u);
    EXPECT_EQ(desc.Type, D3DRTYPE_VOLUME);
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Size, 8u * 4u * 2u * 2u);

    D3DLOCKED_BOX whole{};
    ASSERT_EQ(texture->LockBox(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.RowPitch, 16);
    EXPECT_EQ(whole.SlicePitch, 64);
    texture->UnlockBox(0);
    IDirect3DVolume8* volume = nullptr;
    ASSERT_EQ(texture->GetVolumeLevel(0, &volume), D3D_OK);
    D3DBOX box{1, 2, 3, 4, 1, 2};  // Left, Top, Right, Bottom, Front, Back
    D3DLOCKED_BOX part{};
    ASSERT_EQ(volume->LockBox(&part, &box, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<BYTE*>(part.pBits), static_cast<BYTE*>(whole.pBits) + 64 + 2 * 16 + 2);
    EXPECT_EQ(volume->LockBox(&part, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(volume->UnlockBox(), D3D_OK);
    volume->Release();
    EXPECT_EQ(texture->LockBox(4, &part, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->GetVolumeLevel(4, &volume), D3DERR_INVALIDCALL);
    texture->Release();
}

// Fills every level of a texture with bytes that depend on the seed, level and offset.
void FillLevels(IDirect3DTexture8* texture, int seed) {
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
        auto* bytes = static_cast<BYTE*>(locked.pBits);
        for (UINT i = 0; i < desc.Size; ++i) bytes[i] = static_cast<BYTE>(seed + 7 * level + i);
        texture->UnlockRect(level);
    }
}

TEST_F(ResourceTest, UpdateTextureCopiesEveryLevel) {
    IDirect3DTexture8* source = nullptr;
    IDirect3DTexture8* destination = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 4, 0, 0, D3DFMT_DXT1, D3DPOOL_SYSTEMMEM, &source), D3D_OK);
    // Dynamic, so that the test can lock what arrived.
    ASSERT_EQ(device_->CreateTexture(8, 4, 0, D3DUSAGE_DYNAMIC, D3DFMT_DXT1, D3DPOOL_DEFAULT, &destination), D3D_OK);
    FillLevels(source, 3);
    ASSERT_EQ(device_->UpdateTexture(source, destination), D3D_OK);
    for (UINT level = 0; level < 4; ++level) {
        D3DSURFACE_DESC desc{};
        source->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT a{}, b{};
        source->LockRect(level, &a, nullptr, D3DLOCK_READONLY);
        destination->LockRect(level, &b, nullptr, D3DLOCK_READONLY);
        EXPECT_EQ(std::memcmp(a.pBits, b.pBits, desc.Size), 0) << "level " << level;
        source->UnlockRect(level);
        destination->UnlockRect(level);
    }
    // A locked level cannot be copied.
    D3DLOCKED_RECT locked{};
    destination->LockRect(1, &locked, nullptr, 0);
    EXPECT_EQ(device_->UpdateTexture(source, destination), D3DERR_INVALIDCALL);
    destination->UnlockRect(1);

    IDirect3DTexture8* otherFormat = nullptr;
    IDirect3DTexture8* otherSize = nullptr;
    IDirect3DTexture8* fewerLevels = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 4, 0, 0, D3DFMT_DXT5, D3DPOOL_DEFAULT, &otherFormat), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(8, 8, 0, 0, D3DFMT_DXT1, D3DPOOL_DEFAULT, &otherSize), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(8, 4, 2, 0, D3DFMT_DXT1, D3DPOOL_SYSTEMMEM, &fewerLevels), D3D_OK);
    EXPECT_EQ(device_->UpdateTexture(source, otherFormat), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->UpdateTexture(source, otherSize), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->UpdateTexture(fewerLevels, destination), D3DERR_INVALIDCALL);  // too few levels
    EXPECT_EQ(device_->UpdateTexture(source, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->UpdateTexture(nullptr, source), D3DERR_INVALIDCALL);
    IDirect3DCubeTexture8* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(8, 0, 0, D3DFMT_DXT1, D3DPOOL_DEFAULT, &cube), D3D_OK);
    EXPECT_EQ(device_->UpdateTexture(source, cube), D3DERR_INVALIDCALL);
    for (IDirect3DTexture8* t : {source, destination, otherFormat, otherSize, fewerLevels}) t->Release();
    cube->Release();
}

TEST_F(ResourceTest, ImageSurfaceKeepsItsOwnCount) {
    const int before = d3d8::LiveObjectCount();
    IDirect3DSurface8* surface = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(4, 4, D3DFMT_A8R8G8B8, &surface), D3D_OK);
    EXPECT_EQ(d3d8::LiveObjectCount(), before + 1);
    EXPECT_EQ(surface->AddRef(), 2u);
    EXPECT_EQ(surface->Release(), 1u);
    // The device outlives its last public reference while the surface exists.
    EXPECT_EQ(Drop(device_), 0u);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    surface->UnlockRect();
    EXPECT_EQ(surface->Release(), 0u);
    EXPECT_EQ(d3d8::LiveObjectCount(), before - 2);  // the device and its back buffer went with it
}

}  // namespace

namespace {

TEST_F(ResourceTest, ScratchPoolIgnoresCapsAndIsNeverBound) {
    // Sizes and formats the device's textures refuse: not a power of two, too wide, a
    // block format in a volume.
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(12, 16, 0, 0, D3DFMT_L8, D3DPOOL_SCRATCH, &texture), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 5u);
    IDirect3DTexture8* wide = nullptr;
    ASSERT_EQ(device_->CreateTexture(8192, 8, 1, 0, D3DFMT_L8, D3DPOOL_SCRATCH, &wide), D3D_OK);
    wide->Release();
    IDirect3DCubeTexture8* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(12, 1, 0, D3DFMT_L8, D3DPOOL_SCRATCH, &cube), D3D_OK);
    cube->Release();
    IDirect3DVolumeTexture8* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(8, 8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_SCRATCH, &volume), D3D_OK);
    volume->Release();
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_L8, D3DPOOL_SCRATCH, &wide), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, static_cast<D3DFORMAT>(777), D3DPOOL_SCRATCH, &wide),
              D3DERR_INVALIDCALL);

    // Written and read back through a lock, and copied out with CopyRects.
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 16; ++y) std::memset(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, 10 + y, 12);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    IDirect3DSurface8* level = nullptr;
    IDirect3DSurface8* image = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device_->CreateImageSurface(12, 16, D3DFMT_L8, &image), D3D_OK);
    ASSERT_EQ(device_->CopyRects(level, nullptr, 0, image, nullptr), D3D_OK);
    ASSERT_EQ(image->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<BYTE*>(locked.pBits)[5 * locked.Pitch + 11], 15);
    image->UnlockRect();
    image->Release();
    level->Release();

    EXPECT_EQ(device_->SetTexture(0, texture), D3DERR_INVALIDCALL);
    texture->Release();
}

}  // namespace

namespace {

TEST_F(ResourceTest, DxtTopLevelsTakeWholeBlocks) {
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(device_->CreateTexture(16, 6, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    IDirect3DCubeTexture8* cube = nullptr;
    EXPECT_EQ(device_->CreateCubeTexture(2, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &cube), D3DERR_INVALIDCALL);
    IDirect3DSurface8* surface = nullptr;
    EXPECT_EQ(device_->CreateImageSurface(5, 4, D3DFMT_DXT3, &surface), D3DERR_INVALIDCALL);
    // Levels below 4 pixels are allowed.
    ASSERT_EQ(device_->CreateTexture(16, 4, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 5u);
    texture->Release();
}

TEST_F(ResourceTest, FailedCreationLeavesTheOutPointer) {
    auto* const marker = reinterpret_cast<IDirect3DTexture8*>(std::uintptr_t{0x1230});
    IDirect3DTexture8* texture = marker;
    EXPECT_EQ(device_->CreateTexture(0, 8, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, marker);
    auto* const surfaceMarker = reinterpret_cast<IDirect3DSurface8*>(std::uintptr_t{0x1230});
    IDirect3DSurface8* surface = surfaceMarker;
    EXPECT_EQ(device_->CreateImageSurface(0, 4, D3DFMT_A8R8G8B8, &surface), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateRenderTarget(0, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, &surface),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(surface, surfaceMarker);
}

TEST_F(ResourceTest, DynamicIsNeverATargetNorManaged) {
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC | D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                     D3DPOOL_DEFAULT, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), D3D_OK);
    texture->Release();
}

TEST_F(ResourceTest, UnsupportedMultisampleIsNotAvailable) {
    IDirect3DSurface8* surface = nullptr;
    EXPECT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, FALSE, &surface),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device_->CreateDepthStencilSurface(8, 8, D3DFMT_D16, D3DMULTISAMPLE_2_SAMPLES, &surface),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, static_cast<D3DMULTISAMPLE_TYPE>(1), FALSE,
                                          &surface),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(surface, nullptr);
}

TEST_F(ResourceTest, CheckDeviceFormatRefusesAnUnknownAdapterFormat) {
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_UNKNOWN, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3D_OK);
}

}  // namespace

namespace {

TEST_F(ResourceTest, FailedLocksZeroTheLockedStructure) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT locked{};
    IDirect3DSurface8* image = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(8, 8, D3DFMT_A8R8G8B8, &image), D3D_OK);
    RECT outside{0, 0, 9, 8};
    locked = D3DLOCKED_RECT{7, &locked};
    EXPECT_EQ(image->LockRect(&locked, &outside, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(locked.Pitch, 0);
    EXPECT_EQ(locked.pBits, nullptr);
    image->Release();
    locked = D3DLOCKED_RECT{7, &locked};
    EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(locked.pBits, nullptr);
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    D3DLOCKED_RECT second{7, &locked};
    EXPECT_EQ(texture->LockRect(0, &second, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(second.pBits, nullptr);
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
    texture->Release();

    IDirect3DVolumeTexture8* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &volume), D3D_OK);
    D3DLOCKED_BOX box{7, 7, &box};
    EXPECT_EQ(volume->LockBox(1, &box, nullptr, 0), D3DERR_INVALIDCALL);  // no such level
    EXPECT_EQ(box.pBits, nullptr);
    EXPECT_EQ(box.RowPitch, 0);
    volume->Release();
}

}  // namespace
