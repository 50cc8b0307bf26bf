// Texture levels and their updates: the levels' one allocation, dirty regions and
// UpdateTexture, the managed texture's drawn copy, rectangles of level locks, and volumes
// of DXT blocks.
#include <cstring>
#include <initializer_list>
#include <vector>

#include "device_fixture.h"

namespace {

struct PlaneVertex {  // D3DFVF_XYZRHW | D3DFVF_TEX1
    float x, y, z, rhw;
    float c[2];
};
struct SpaceVertex {  // D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)
    float x, y, z, rhw;
    float c[3];
};

class TextureUpdateTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
        device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    }

    // Draws a triangle over the target whose every vertex has the coordinates c; returns the
    // colour drawn in the middle.
    template <class Vertex, std::size_t N>
    D3DCOLOR DrawAt(IDirect3DBaseTexture8* texture, const float (&c)[N]) {
        Vertex v[3];
        const float corners[3][2] = {{-10.0f, -10.0f}, {300.0f, -10.0f}, {-10.0f, 300.0f}};
        for (int i = 0; i < 3; ++i) {
            v[i] = Vertex{corners[i][0], corners[i][1], 0.5f, 1.0f, {}};
            for (std::size_t k = 0; k < N; ++k) v[i].c[k] = c[k];
        }
        device_->SetVertexShader(N == 2 ? D3DFVF_XYZRHW | D3DFVF_TEX1
                                        : D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
        device_->SetTexture(0, texture);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040, 1.0f, 0);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK);
        device_->EndScene();
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        device_->SetTexture(0, nullptr);
        return frame_.At(kWidth / 2, kHeight / 2) & 0xFFFFFF;
    }
};

// The address of a rectangle written in place, for the length of the call that takes it.
const RECT* Rect(const RECT& rect) { return &rect; }

// A 32-bit texel that names its generation, level, and place.
std::uint32_t Texel(int generation, UINT level, UINT x, UINT y) {
    return static_cast<std::uint32_t>(generation) << 24 | level << 16 | y << 8 | x;
}

// Writes generation g into every level of a 32-bit texture without marking anything dirty.
void WriteQuietly(IDirect3DTexture8* texture, int generation) {
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_NO_DIRTY_UPDATE), D3D_OK);
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x)
                reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] =
                    Texel(generation, level, x, y);
        texture->UnlockRect(level);
    }
}

std::uint32_t ReadTexel(IDirect3DTexture8* texture, UINT level, UINT x, UINT y) {
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::uint32_t texel = reinterpret_cast<const std::uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x];
    texture->UnlockRect(level);
    return texel;
}

// Locks a whole level (of a face, for cubes); null when the lock fails.
BYTE* Lock(IDirect3DTexture8* texture, UINT, UINT level, DWORD flags) {
    D3DLOCKED_RECT locked{};
    return texture->LockRect(level, &locked, nullptr, flags) == D3D_OK ? static_cast<BYTE*>(locked.pBits) : nullptr;
}
BYTE* Lock(IDirect3DCubeTexture8* cube, UINT face, UINT level, DWORD flags) {
    D3DLOCKED_RECT locked{};
    return cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), level, &locked, nullptr, flags) == D3D_OK
               ? static_cast<BYTE*>(locked.pBits)
               : nullptr;
}
BYTE* Lock(IDirect3DVolumeTexture8* volume, UINT, UINT level, DWORD flags) {
    D3DLOCKED_BOX locked{};
    return volume->LockBox(level, &locked, nullptr, flags) == D3D_OK ? static_cast<BYTE*>(locked.pBits) : nullptr;
}
void Unlock(IDirect3DTexture8* texture, UINT, UINT level) { texture->UnlockRect(level); }
void Unlock(IDirect3DCubeTexture8* cube, UINT face, UINT level) {
    cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), level);
}
void Unlock(IDirect3DVolumeTexture8* volume, UINT, UINT level) { volume->UnlockBox(level); }

// The first bytes of a level.
template <class Texture>
std::vector<BYTE> Read(Texture* texture, UINT face, UINT level, std::size_t count) {
    const BYTE* bits = Lock(texture, face, level, D3DLOCK_READONLY);
    EXPECT_NE(bits, nullptr);
    std::vector<BYTE> bytes(bits, bits + (bits != nullptr ? count : 0));
    Unlock(texture, face, level);
    return bytes;
}

// Writes a whole chain (every face's, for cubes) through level 0's pointer and reads each
// level back through its own lock; levelBytes: the size of each level of one face.
template <class Texture>
void ExpectChainThroughLevelZero(Texture* texture, UINT faces, std::initializer_list<std::size_t> levelBytes) {
    auto pattern = [](std::size_t i) { return static_cast<BYTE>(i * 7 + 1); };
    std::size_t total = 0;
    for (std::size_t bytes : levelBytes) total += faces * bytes;
    BYTE* bits = Lock(texture, 0, 0, 0);
    ASSERT_NE(bits, nullptr);
    for (std::size_t i = 0; i < total; ++i) bits[i] = pattern(i);
    Unlock(texture, 0, 0);
    std::size_t offset = 0;
    for (UINT face = 0; face < faces; ++face) {
        UINT level = 0;
        for (std::size_t bytes : levelBytes) {
            const std::vector<BYTE> read = Read(texture, face, level, bytes);
            for (std::size_t i = 0; i < read.size(); ++i)
                ASSERT_EQ(read[i], pattern(offset + i)) << "face " << face << ", level " << level;
            offset += bytes;
            ++level;
        }
    }
}

// A 2-D texture, a cube and a volume lay out their levels one after another in one
// allocation, in level order (a cube face by face), in every pool: a whole chain written
// through level 0's pointer reads back level by level.
TEST_F(TextureUpdateTest, LevelsLieInOneAllocationInLevelOrder) {
    for (D3DPOOL pool : {D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM, D3DPOOL_DEFAULT, D3DPOOL_SCRATCH}) {
        SCOPED_TRACE(pool);
        const DWORD usage = pool == D3DPOOL_DEFAULT ? D3DUSAGE_DYNAMIC : 0;
        IDirect3DTexture8* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(8, 4, 0, usage, D3DFMT_A8R8G8B8, pool, &texture), D3D_OK);
        ExpectChainThroughLevelZero(texture, 1, {8 * 4 * 4, 4 * 2 * 4, 2 * 4, 4});
        IDirect3DCubeTexture8* cube = nullptr;  // DXT1: one block of 8 bytes per level
        ASSERT_EQ(device_->CreateCubeTexture(4, 0, usage, D3DFMT_DXT1, pool, &cube), D3D_OK);
        ExpectChainThroughLevelZero(cube, 6, {8, 8, 8});
        IDirect3DVolumeTexture8* volume = nullptr;
        ASSERT_EQ(device_->CreateVolumeTexture(4, 2, 4, 0, usage, D3DFMT_L8, pool, &volume), D3D_OK);
        ExpectChainThroughLevelZero(volume, 1, {4 * 2 * 4, 2 * 1 * 2, 1});
        texture->Release();
        cube->Release();
        volume->Release();
    }
}

// The dirty region is a bounding box kept in level-0 coordinates, as on the platform: a
// sublevel's region is level 0's scaled down and rounded outward, and a lock of a sublevel
// marks its box scaled up. A new texture is wholly dirty, UpdateTexture copies only what
// is dirty and cleans the source, and read-only, no-dirty-update and empty locks mark
// nothing.
TEST_F(TextureUpdateTest, DirtyRegionsAreLevelZeroBoxesScaledToSublevels) {
    IDirect3DTexture8* source = nullptr;
    IDirect3DTexture8* destination = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &source), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(8, 8, 0, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &destination),
              D3D_OK);
    // generation[level][y][x]: which generation of the source each destination texel holds.
    int expected[4][8][8] = {};
    auto copied = [&](int generation, RECT level0) {
        for (UINT level = 0; level < 4; ++level)
            for (UINT y = 0; y < (8u >> level); ++y)
                for (UINT x = 0; x < (8u >> level); ++x)
                    if (static_cast<LONG>(x << level) < level0.right && static_cast<LONG>((x + 1) << level) > level0.left &&
                        static_cast<LONG>(y << level) < level0.bottom && static_cast<LONG>((y + 1) << level) > level0.top)
                        expected[level][y][x] = generation;
    };
    auto check = [&](const char* step) {
        for (UINT level = 0; level < 4; ++level)
            for (UINT y = 0; y < (8u >> level); ++y)
                for (UINT x = 0; x < (8u >> level); ++x)
                    ASSERT_EQ(ReadTexel(destination, level, x, y), Texel(expected[level][y][x], level, x, y))
                        << step << ": level " << level << " (" << x << ", " << y << ")";
    };
    auto update = [&] { ASSERT_EQ(device_->UpdateTexture(source, destination), D3D_OK); };

    WriteQuietly(source, 1);
    update();  // new: wholly dirty
    copied(1, {0, 0, 8, 8});
    check("new texture");

    WriteQuietly(source, 2);
    update();  // cleaned by the last update: nothing
    check("clean source");

    ASSERT_EQ(source->AddDirtyRect(Rect({3, 2, 5, 4})), D3D_OK);
    update();
    copied(2, {3, 2, 5, 4});  // level 1: (1, 1)-(3, 2), level 2: (0, 0)-(2, 1), level 3: all
    check("AddDirtyRect");

    // A lock of level 1 marks its rectangle at level 0 scale; read-only, no-dirty-update
    // and empty locks mark nothing.
    WriteQuietly(source, 3);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(source->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    source->UnlockRect(0);
    ASSERT_EQ(source->LockRect(0, &locked, Rect({0, 0, 8, 8}), D3DLOCK_NO_DIRTY_UPDATE), D3D_OK);
    source->UnlockRect(0);
    ASSERT_EQ(source->LockRect(0, &locked, Rect({4, 4, 4, 8}), 0), D3D_OK);
    source->UnlockRect(0);
    ASSERT_EQ(source->LockRect(1, &locked, Rect({3, 3, 4, 4}), 0), D3D_OK);
    source->UnlockRect(1);
    update();
    copied(3, {6, 6, 8, 8});
    check("lock of level 1");

    // Null: everything.
    ASSERT_EQ(source->AddDirtyRect(nullptr), D3D_OK);
    update();
    copied(3, {0, 0, 8, 8});
    check("AddDirtyRect(null)");

    // The destination of CopyRects is marked as a lock would mark it.
    IDirect3DSurface8* image = nullptr;  // reads as zeros
    IDirect3DSurface8* top = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(2, 2, D3DFMT_A8R8G8B8, &image), D3D_OK);
    ASSERT_EQ(source->GetSurfaceLevel(0, &top), D3D_OK);
    const POINT corner{6, 0};
    ASSERT_EQ(device_->CopyRects(image, nullptr, 0, top, &corner), D3D_OK);
    update();
    EXPECT_EQ(ReadTexel(destination, 0, 7, 1), 0u);
    EXPECT_EQ(ReadTexel(destination, 0, 5, 1), Texel(3, 0, 5, 1));
    image->Release();
    top->Release();
    source->Release();
    destination->Release();

    // A cube's regions are per face; a volume's box scales in depth too.
    IDirect3DCubeTexture8* cubes[2] = {};
    ASSERT_EQ(device_->CreateCubeTexture(2, 1, 0, D3DFMT_L8, D3DPOOL_SYSTEMMEM, &cubes[0]), D3D_OK);
    ASSERT_EQ(device_->CreateCubeTexture(2, 1, D3DUSAGE_DYNAMIC, D3DFMT_L8, D3DPOOL_DEFAULT, &cubes[1]), D3D_OK);
    ASSERT_EQ(device_->UpdateTexture(cubes[0], cubes[1]), D3D_OK);
    for (UINT face = 0; face < 6; ++face) {
        std::memset(Lock(cubes[0], face, 0, D3DLOCK_NO_DIRTY_UPDATE), 0x40 + face, 4);
        Unlock(cubes[0], face, 0);
    }
    ASSERT_EQ(cubes[0]->AddDirtyRect(D3DCUBEMAP_FACE_NEGATIVE_Y, nullptr), D3D_OK);
    ASSERT_EQ(device_->UpdateTexture(cubes[0], cubes[1]), D3D_OK);
    for (UINT face = 0; face < 6; ++face)
        EXPECT_EQ(Read(cubes[1], face, 0, 1)[0], face == D3DCUBEMAP_FACE_NEGATIVE_Y ? 0x43 : 0) << face;
    for (auto* cube : cubes) cube->Release();

    IDirect3DVolumeTexture8* volumes[2] = {};
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 2, 0, D3DFMT_L8, D3DPOOL_SYSTEMMEM, &volumes[0]), D3D_OK);
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 2, D3DUSAGE_DYNAMIC, D3DFMT_L8, D3DPOOL_DEFAULT, &volumes[1]),
              D3D_OK);
    ASSERT_EQ(device_->UpdateTexture(volumes[0], volumes[1]), D3D_OK);
    for (UINT level = 0; level < 2; ++level) {
        std::memset(Lock(volumes[0], 0, level, D3DLOCK_NO_DIRTY_UPDATE), 0x55, level == 0 ? 64 : 8);
        Unlock(volumes[0], 0, level);
    }
    const D3DBOX dirty{0, 0, 1, 1, 3, 4};  // level 1: (0, 0, 1) alone
    ASSERT_EQ(volumes[0]->AddDirtyBox(&dirty), D3D_OK);
    ASSERT_EQ(device_->UpdateTexture(volumes[0], volumes[1]), D3D_OK);
    const std::vector<BYTE> level0 = Read(volumes[1], 0, 0, 64), level1 = Read(volumes[1], 0, 1, 8);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(level0[i], i == 48 ? 0x55 : 0) << "level 0 byte " << i;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(level1[i], i == 4 ? 0x55 : 0) << "level 1 byte " << i;
    for (auto* volume : volumes) volume->Release();
}

// A managed texture draws the copy it last uploaded: writes under D3DLOCK_NO_DIRTY_UPDATE
// show only after AddDirtyRect, or after ResourceManagerDiscardBytes drops the drawn
// copies; a plain lock uploads at the next draw.
TEST_F(TextureUpdateTest, ManagedTextureDrawsItsUploadedCopyUntilMarkedDirty) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    auto fill = [&](D3DCOLOR color, DWORD flags) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, flags), D3D_OK);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                reinterpret_cast<D3DCOLOR*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] = color;
        texture->UnlockRect(0);
    };
    const float at[2] = {0.25f, 0.25f};
    fill(0xFF0000, D3DLOCK_NO_DIRTY_UPDATE);  // a new texture is wholly dirty anyway
    EXPECT_EQ(DrawAt<PlaneVertex>(texture, at), 0xFF0000u);
    fill(0x00FF00, D3DLOCK_NO_DIRTY_UPDATE);
    EXPECT_EQ(DrawAt<PlaneVertex>(texture, at), 0xFF0000u);
    ASSERT_EQ(texture->AddDirtyRect(nullptr), D3D_OK);
    EXPECT_EQ(DrawAt<PlaneVertex>(texture, at), 0x00FF00u);
    fill(0x0000FF, D3DLOCK_NO_DIRTY_UPDATE);
    EXPECT_EQ(DrawAt<PlaneVertex>(texture, at), 0x00FF00u);
    ASSERT_EQ(device_->ResourceManagerDiscardBytes(0), D3D_OK);
    EXPECT_EQ(DrawAt<PlaneVertex>(texture, at), 0x0000FFu);
    fill(0xFFFF00, 0);
    EXPECT_EQ(DrawAt<PlaneVertex>(texture, at), 0xFFFF00u);
    // A dirty rectangle uploads that rectangle alone.
    fill(0x00FFFF, D3DLOCK_NO_DIRTY_UPDATE);
    ASSERT_EQ(texture->AddDirtyRect(Rect({1, 0, 2, 1})), D3D_OK);
    EXPECT_EQ(DrawAt<PlaneVertex>(texture, at), 0xFFFF00u);
    const float right[2] = {0.75f, 0.25f};
    EXPECT_EQ(DrawAt<PlaneVertex>(texture, right), 0x00FFFFu);
    EXPECT_EQ(texture->Release(), 0u);
}

// Rectangles of texture-level locks are taken as drivers took them: clamped to the level,
// an inverted or empty one locking nothing (a pointer inside the level, nothing marked
// dirty), each with an unlock that succeeds. Surfaces of their own refuse them
// (ResourceTest.LocksRefuseBadRectanglesAndSecondLocks).
TEST_F(TextureUpdateTest, TextureLevelLocksClampTheirRectangle) {
    IDirect3DTexture8* source = nullptr;
    IDirect3DTexture8* destination = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &source), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &destination),
              D3D_OK);
    WriteQuietly(source, 1);
    ASSERT_EQ(device_->UpdateTexture(source, destination), D3D_OK);
    WriteQuietly(source, 2);
    D3DLOCKED_RECT whole{};
    ASSERT_EQ(source->LockRect(0, &whole, nullptr, D3DLOCK_READONLY), D3D_OK);
    source->UnlockRect(0);
    auto* base = static_cast<BYTE*>(whole.pBits);

    struct Case {
        RECT rect;
        UINT x, y;  // where the pointer lands
    };
    const Case empty[] = {{{4, 4, 4, 6}, 4, 4}, {{5, 0, 3, 2}, 5, 0}, {{9, 9, 12, 12}, 7, 7}};
    for (const Case& c : empty) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(source->LockRect(0, &locked, &c.rect, 0), D3D_OK) << c.rect.left;
        EXPECT_EQ(locked.pBits, base + c.y * whole.Pitch + c.x * 4);
        EXPECT_EQ(locked.Pitch, whole.Pitch);
        EXPECT_EQ(source->UnlockRect(0), D3D_OK);
    }
    ASSERT_EQ(device_->UpdateTexture(source, destination), D3D_OK);
    EXPECT_EQ(ReadTexel(destination, 0, 4, 4), Texel(1, 0, 4, 4));  // nothing was marked

    D3DLOCKED_RECT locked{};
    ASSERT_EQ(source->LockRect(0, &locked, Rect({-3, 6, 2, 20}), 0), D3D_OK);
    EXPECT_EQ(locked.pBits, base + 6 * whole.Pitch);
    EXPECT_EQ(source->UnlockRect(0), D3D_OK);
    ASSERT_EQ(device_->UpdateTexture(source, destination), D3D_OK);
    EXPECT_EQ(ReadTexel(destination, 0, 1, 7), Texel(2, 0, 1, 7));
    EXPECT_EQ(ReadTexel(destination, 0, 2, 7), Texel(1, 0, 2, 7));
    EXPECT_EQ(ReadTexel(destination, 0, 1, 5), Texel(1, 0, 1, 5));
    source->Release();
    destination->Release();

    // A volume level clamps its box the same way.
    IDirect3DVolumeTexture8* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 2, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &volume), D3D_OK);
    D3DLOCKED_BOX all{}, part{};
    ASSERT_EQ(volume->LockBox(0, &all, nullptr, 0), D3D_OK);
    volume->UnlockBox(0);
    const D3DBOX deep{1, 1, 9, 9, 1, 5};
    ASSERT_EQ(volume->LockBox(0, &part, &deep, 0), D3D_OK);
    EXPECT_EQ(part.pBits, static_cast<BYTE*>(all.pBits) + 16 + 4 + 1);
    EXPECT_EQ(volume->UnlockBox(0), D3D_OK);
    volume->Release();
}

// UpdateTexture lines the destination's levels up with the source's levels of the same
// sizes (a smaller destination takes the source's level of its size and those below it),
// for 2-D, cube and volume textures, between A8R8G8B8 and X8R8G8B8 either way; it fails
// where no source level has the destination's size, between other formats, from any pool
// but system memory, into any but the default pool, and while a source level is locked.
TEST_F(TextureUpdateTest, UpdateTextureLinesUpLevelsOfTheSameSize) {
    IDirect3DTexture8* source = nullptr;  // 16x8, 8x4, 4x2, 2x1, 1x1
    ASSERT_EQ(device_->CreateTexture(16, 8, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &source), D3D_OK);
    WriteQuietly(source, 0x12);
    auto make = [&](UINT width, UINT height, UINT levels, D3DFORMAT format, D3DPOOL pool = D3DPOOL_DEFAULT) {
        IDirect3DTexture8* texture = nullptr;
        EXPECT_EQ(device_->CreateTexture(width, height, levels, pool == D3DPOOL_DEFAULT ? D3DUSAGE_DYNAMIC : 0, format,
                                         pool, &texture),
                  D3D_OK);
        return texture;
    };
    IDirect3DTexture8* smaller = make(4, 2, 0, D3DFMT_A8R8G8B8);  // 3 levels: source levels 2 to 4
    ASSERT_EQ(device_->UpdateTexture(source, smaller), D3D_OK);
    for (UINT level = 0; level < 3; ++level)
        EXPECT_EQ(ReadTexel(smaller, level, 0, 0), Texel(0xFF, level + 2, 0, 0)) << level;  // opaque alpha
    IDirect3DTexture8* fewer = make(8, 4, 2, D3DFMT_X8R8G8B8);
    ASSERT_EQ(source->AddDirtyRect(nullptr), D3D_OK);
    ASSERT_EQ(device_->UpdateTexture(source, fewer), D3D_OK);
    EXPECT_EQ(ReadTexel(fewer, 0, 7, 3), Texel(0x12, 1, 7, 3));
    EXPECT_EQ(ReadTexel(fewer, 1, 3, 1), Texel(0x12, 2, 3, 1));
    // A8R8G8B8 into X8R8G8B8: the bytes as they are.
    IDirect3DTexture8* alpha = make(2, 1, 1, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
    WriteQuietly(alpha, 0x34);
    IDirect3DTexture8* plain = make(2, 1, 1, D3DFMT_X8R8G8B8);
    ASSERT_EQ(device_->UpdateTexture(alpha, plain), D3D_OK);
    EXPECT_EQ(ReadTexel(plain, 0, 1, 0), Texel(0x34, 0, 1, 0));

    IDirect3DTexture8* refused[] = {make(8, 8, 1, D3DFMT_X8R8G8B8),                          // no 8x8 level
                                    make(32, 16, 1, D3DFMT_X8R8G8B8),                        // larger than all
                                    make(4, 2, 1, D3DFMT_R5G6B5),                            // another format
                                    make(4, 2, 1, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM),       // not default
                                    make(4, 2, 1, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED)};
    for (IDirect3DTexture8* t : refused) EXPECT_EQ(device_->UpdateTexture(source, t), D3DERR_INVALIDCALL);
    for (D3DPOOL pool : {D3DPOOL_MANAGED, D3DPOOL_SCRATCH, D3DPOOL_DEFAULT}) {
        IDirect3DTexture8* from = make(8, 4, 1, D3DFMT_X8R8G8B8, pool);
        EXPECT_EQ(device_->UpdateTexture(from, fewer), D3DERR_INVALIDCALL) << pool;
        from->Release();
    }
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(source->LockRect(4, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(device_->UpdateTexture(source, smaller), D3DERR_INVALIDCALL);
    source->UnlockRect(4);
    for (IDirect3DTexture8* t : refused) t->Release();
    for (IDirect3DTexture8* t : {source, smaller, fewer, alpha, plain}) t->Release();

    // A cube of edge 8 into one of edge 2, a volume 4x4x4 into one 2x2x2.
    IDirect3DCubeTexture8* cubes[2] = {};
    ASSERT_EQ(device_->CreateCubeTexture(8, 0, 0, D3DFMT_L8, D3DPOOL_SYSTEMMEM, &cubes[0]), D3D_OK);
    ASSERT_EQ(device_->CreateCubeTexture(2, 0, D3DUSAGE_DYNAMIC, D3DFMT_L8, D3DPOOL_DEFAULT, &cubes[1]), D3D_OK);
    Lock(cubes[0], D3DCUBEMAP_FACE_POSITIVE_Z, 2, 0)[3] = 0x77;
    Unlock(cubes[0], D3DCUBEMAP_FACE_POSITIVE_Z, 2);
    ASSERT_EQ(device_->UpdateTexture(cubes[0], cubes[1]), D3D_OK);
    EXPECT_EQ(Read(cubes[1], D3DCUBEMAP_FACE_POSITIVE_Z, 0, 4)[3], 0x77);
    for (auto* cube : cubes) cube->Release();

    IDirect3DVolumeTexture8* volumes[2] = {};
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 0, 0, D3DFMT_L8, D3DPOOL_SYSTEMMEM, &volumes[0]), D3D_OK);
    ASSERT_EQ(device_->CreateVolumeTexture(2, 2, 2, 0, D3DUSAGE_DYNAMIC, D3DFMT_L8, D3DPOOL_DEFAULT, &volumes[1]),
              D3D_OK);
    Lock(volumes[0], 0, 1, 0)[7] = 0x42;
    Unlock(volumes[0], 0, 1);
    ASSERT_EQ(device_->UpdateTexture(volumes[0], volumes[1]), D3D_OK);
    EXPECT_EQ(Read(volumes[1], 0, 0, 8)[7], 0x42);
    for (auto* volume : volumes) volume->Release();
}

// Volume textures of DXT1 to DXT5: checked with the volume resource type, locked by rows of
// 4x4 blocks (a row pitch per block row, a slice pitch per slice), and sampled slice by
// slice. V16U16 stays unavailable: the sampler has no signed channels.
TEST_F(TextureUpdateTest, DxtVolumesLockByBlocksAndSample) {
    D3DCAPS8 caps{};
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP, 0u);
    EXPECT_NE(caps.Caps2 & D3DCAPS2_DYNAMICTEXTURES, 0u);  // the dynamic textures these tests make
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5})
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_VOLUMETEXTURE, format), D3D_OK)
            << format;
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_V16U16),
              D3DERR_NOTAVAILABLE);

    IDirect3DVolumeTexture8* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(8, 4, 2, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &volume), D3D_OK);
    D3DLOCKED_BOX box{};
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, 0), D3D_OK);
    EXPECT_EQ(box.RowPitch, 16);    // two blocks of 8 bytes
    EXPECT_EQ(box.SlicePitch, 16);  // one row of blocks
    // Solid blocks: colour 0 of R5G6B5, every index 0. Slice 0: red, green; slice 1: blue, white.
    const std::uint16_t colours[2][2] = {{0xF800, 0x07E0}, {0x001F, 0xFFFF}};
    for (int z = 0; z < 2; ++z)
        for (int b = 0; b < 2; ++b) {
            BYTE* block = static_cast<BYTE*>(box.pBits) + z * box.SlicePitch + b * 8;
            std::memset(block, 0, 8);
            block[0] = static_cast<BYTE>(colours[z][b]);
            block[1] = static_cast<BYTE>(colours[z][b] >> 8);
        }
    volume->UnlockBox(0);
    const D3DBOX second{4, 0, 8, 4, 1, 2};
    ASSERT_EQ(volume->LockBox(0, &box, &second, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<BYTE*>(box.pBits)[1], 0xFF);  // slice 1, block 1: white
    volume->UnlockBox(0);

    const float at[4][3] = {{0.25f, 0.5f, 0.25f}, {0.75f, 0.5f, 0.25f}, {0.25f, 0.5f, 0.75f}, {0.75f, 0.5f, 0.75f}};
    const D3DCOLOR drawn[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(DrawAt<SpaceVertex>(volume, at[i]), drawn[i]) << i;
    EXPECT_EQ(volume->Release(), 0u);
}

}  // namespace
