// Draw calls through the device: what reaches the back buffer, what is refused without
// drawing anything, and the sampler copies of textures following their levels.
#include <cstring>
#include <functional>
#include <initializer_list>

#include "device_fixture.h"

namespace {

struct ScreenVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE
    float x, y, z, rhw;
    D3DCOLOR color;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

struct TexturedVertex {  // D3DFVF_XYZRHW | D3DFVF_TEX1
    float x, y, z, rhw;
    float u, v;
};
constexpr DWORD kTexturedFvf = D3DFVF_XYZRHW | D3DFVF_TEX1;

constexpr D3DCOLOR kClear = 0xFF203040;

DWORD Bits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A triangle far larger than the 64x48 target, covering all of it.
void CoverAll(ScreenVertex* v, D3DCOLOR color) {
    v[0] = {-10.0f, -10.0f, 0.5f, 1.0f, color};
    v[1] = {300.0f, -10.0f, 0.5f, 1.0f, color};
    v[2] = {-10.0f, 300.0f, 0.5f, 1.0f, color};
}

class DrawTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetVertexShader(kScreenFvf);
    }

    // Clears, runs the draws inside a scene, presents; returns the pixel in the middle.
    template <class Draws>
    D3DCOLOR Frame(Draws draws) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0);
        device_->BeginScene();
        draws();
        device_->EndScene();
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        return frame_.At(kWidth / 2, kHeight / 2) & 0xFFFFFF;
    }

    // A vertex buffer of the given vertices.
    IDirect3DVertexBuffer8* Vertices(const ScreenVertex* vertices, UINT count) {
        IDirect3DVertexBuffer8* buffer = nullptr;
        EXPECT_EQ(device_->CreateVertexBuffer(count * sizeof(ScreenVertex), 0, kScreenFvf, D3DPOOL_MANAGED, &buffer),
                  D3D_OK);
        BYTE* data = nullptr;
        buffer->Lock(0, 0, &data, 0);
        std::memcpy(data, vertices, count * sizeof(ScreenVertex));
        buffer->Unlock();
        return buffer;
    }

    template <class Index>
    IDirect3DIndexBuffer8* Indices(std::initializer_list<Index> values) {
        IDirect3DIndexBuffer8* buffer = nullptr;
        D3DFORMAT format = sizeof(Index) == 2 ? D3DFMT_INDEX16 : D3DFMT_INDEX32;
        EXPECT_EQ(device_->CreateIndexBuffer(static_cast<UINT>(values.size() * sizeof(Index)), 0, format,
                                             D3DPOOL_MANAGED, &buffer),
                  D3D_OK);
        BYTE* data = nullptr;
        buffer->Lock(0, 0, &data, 0);
        std::memcpy(data, values.begin(), values.size() * sizeof(Index));
        buffer->Unlock();
        return buffer;
    }
};

TEST_F(DrawTest, UserPointerDrawReachesTheBackBufferAndUnsetsTheStream) {
    ScreenVertex v[3];
    CoverAll(v, 0xFFFF8000);
    IDirect3DVertexBuffer8* unused = Vertices(v, 3);
    device_->SetStreamSource(0, unused, sizeof(ScreenVertex));
    EXPECT_EQ(Frame([&] {
                  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), D3D_OK);
              }),
              0xFF8000u);
    IDirect3DVertexBuffer8* stream = unused;
    UINT stride = 1;
    ASSERT_EQ(device_->GetStreamSource(0, &stream, &stride), D3D_OK);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(unused->Release(), 0u);
}

TEST_F(DrawTest, ZeroPrimitivesDrawNothingAndSucceed) {
    ScreenVertex v[3];
    CoverAll(v, 0xFFFFFFFF);
    IDirect3DVertexBuffer8* vb = Vertices(v, 3);
    IDirect3DIndexBuffer8* ib = Indices<std::uint16_t>({0, 1, 2});
    device_->SetStreamSource(0, vb, sizeof(ScreenVertex));
    device_->SetIndices(ib, 0);
    const std::uint16_t indices[] = {0, 1, 2};
    EXPECT_EQ(Frame([&] {
                  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 0), D3D_OK);
                  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 0), D3D_OK);
                  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0, v, sizeof(ScreenVertex)), D3D_OK);
                  EXPECT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 0, indices, D3DFMT_INDEX16, v,
                                                            sizeof(ScreenVertex)),
                            D3D_OK);
                  EXPECT_EQ(device_->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(7), 0, 0), D3DERR_INVALIDCALL);
              }),
              kClear & 0xFFFFFF);
    device_->SetStreamSource(0, nullptr, 0);
    device_->SetIndices(nullptr, 0);
    vb->Release();
    ib->Release();
}

TEST_F(DrawTest, LockingTheBackBufferWaitsForQueuedDraws) {
    ScreenVertex v[3];
    CoverAll(v, 0xFF00FF00);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0);
    device_->BeginScene();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), D3D_OK);
    device_->EndScene();
    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const BYTE*>(locked.pBits) + 5 * locked.Pitch);
    EXPECT_EQ(row[7] & 0xFFFFFF, 0x00FF00u);
    // Drawing into a locked target is refused.
    device_->BeginScene();
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), D3DERR_INVALIDCALL);
    device_->EndScene();
    back->UnlockRect();
    back->Release();
}

TEST_F(DrawTest, IndexedDrawsApplyTheBaseVertexWith16And32BitIndices) {
    ScreenVertex v[6];
    CoverAll(v, 0xFF0000FF);
    CoverAll(v + 3, 0xFFFF0000);
    IDirect3DVertexBuffer8* vb = Vertices(v, 6);
    device_->SetStreamSource(0, vb, sizeof(ScreenVertex));
    IDirect3DIndexBuffer8* ib16 = Indices<std::uint16_t>({2, 0, 1, 0});
    IDirect3DIndexBuffer8* ib32 = Indices<std::uint32_t>({9, 1, 2, 0});

    device_->SetIndices(ib16, 3);
    EXPECT_EQ(Frame([&] { EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK); }),
              0xFF0000u);
    device_->SetIndices(ib16, 0);
    EXPECT_EQ(Frame([&] { EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK); }),
              0x0000FFu);
    device_->SetIndices(ib32, 3);
    EXPECT_EQ(Frame([&] { EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 1, 1), D3D_OK); }),
              0xFF0000u);
    device_->SetIndices(nullptr, 0);
    device_->SetStreamSource(0, nullptr, 0);
    vb->Release();
    ib16->Release();
    ib32->Release();
}

TEST_F(DrawTest, BadDrawsAreRefusedAndDrawNothing) {
    ScreenVertex v[4];
    CoverAll(v, 0xFFFFFFFF);
    v[3] = v[0];
    IDirect3DVertexBuffer8* vb = Vertices(v, 4);
    IDirect3DIndexBuffer8* ib = Indices<std::uint16_t>({0, 1, 2, 4});  // the last index is past the buffer
    const std::uint16_t userIndices[] = {0, 1, 7};

    struct Case {
        const char* what;
        std::function<HRESULT()> draw;
    };
    auto bind = [&](UINT stride, DWORD fvf = kScreenFvf) {
        device_->SetStreamSource(0, vb, stride);
        device_->SetIndices(ib, 0);
        device_->SetVertexShader(fvf);
    };
    const UINT stride = sizeof(ScreenVertex);
    const Case cases[] = {
        {"unknown primitive type",
         [&] { bind(stride); return device_->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(7), 0, 1); }},
        {"vertices past the buffer", [&] { bind(stride); return device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1); }},
        {"strip past the buffer", [&] { bind(stride); return device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 3); }},
        // (0xFFFFFFFF + 131075) * 4294836226 + 20 is 24 modulo 2^64: a wrapped product
        // would pass for a range inside the buffer.
        {"range whose byte size overflows",
         [&] { bind(4294836226u); return device_->DrawPrimitive(D3DPT_POINTLIST, 0xFFFFFFFFu, 131076); }},
        {"stride of zero", [&] { bind(0); return device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1); }},
        {"stride below the vertex size",
         [&] { bind(16); return device_->DrawPrimitive(D3DPT_POINTLIST, 0, 1); }},
        {"no stream",
         [&] {
             bind(stride);
             device_->SetStreamSource(0, nullptr, 0);
             return device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
         }},
        {"blend weights",
         [&] { bind(stride, D3DFVF_XYZB1 | D3DFVF_DIFFUSE); return device_->DrawPrimitive(D3DPT_POINTLIST, 0, 1); }},
        {"three texture sets wider than the stride",
         [&] { bind(stride, D3DFVF_XYZ | D3DFVF_TEX3); return device_->DrawPrimitive(D3DPT_POINTLIST, 0, 1); }},
        {"3D texture coordinates wider than the stride",
         [&] {
             bind(stride, D3DFVF_XYZ | D3DFVF_TEX1 | (1u << 16));
             return device_->DrawPrimitive(D3DPT_POINTLIST, 0, 1);
         }},
        {"no index buffer",
         [&] {
             bind(stride);
             device_->SetIndices(nullptr, 0);
             return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1);
         }},
        {"index past the vertex buffer",
         [&] { bind(stride); return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 5, 1, 1); }},
        {"index outside the vertex range",
         [&] { bind(stride); return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 2, 0, 1); }},
        {"indices past the index buffer",
         [&] { bind(stride); return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 2, 1); }},
        {"zero vertices", [&] { bind(stride); return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 0, 1); }},
        {"base vertex past the buffer",
         [&] {
             bind(stride);
             device_->SetIndices(ib, 2);
             return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1);
         }},
        {"null user vertices", [&] { bind(stride); return device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, stride); }},
        {"user index outside the range",
         [&] {
             bind(stride);
             return device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 1, userIndices, D3DFMT_INDEX16, v,
                                                    stride);
         }},
        {"user index format",
         [&] {
             bind(stride);
             return device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 1, userIndices, D3DFMT_L8, v, stride);
         }},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Frame([&] { EXPECT_EQ(c.draw(), D3DERR_INVALIDCALL) << c.what; }), kClear & 0xFFFFFF) << c.what;
    }
    // Outside a scene nothing is drawn either.
    bind(stride);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    // And the same buffers draw when the call is right.
    EXPECT_EQ(Frame([&] { EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK); }),
              0xFFFFFFu);
    device_->SetStreamSource(0, nullptr, 0);
    device_->SetIndices(nullptr, 0);
    vb->Release();
    ib->Release();
    EXPECT_EQ(device_->SetVertexShader(0x043), D3DERR_INVALIDCALL);  // a programmable shader handle
}

class TexturedDrawTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        device_->SetVertexShader(kTexturedFvf);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        quad_[0] = {-10.0f, -10.0f, 0.5f, 1.0f, 0.0f, 0.0f};
        quad_[1] = {300.0f, -10.0f, 0.5f, 1.0f, 1.0f, 0.0f};
        quad_[2] = {-10.0f, 300.0f, 0.5f, 1.0f, 0.0f, 1.0f};
    }

    D3DCOLOR DrawTextured() {
        return Frame([&] {
            EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, quad_, sizeof(TexturedVertex)), D3D_OK);
        });
    }

    static void Fill(IDirect3DTexture8* texture, UINT level, std::uint32_t argb) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
            for (UINT x = 0; x < desc.Width; ++x) row[x] = argb;
        }
        texture->UnlockRect(level);
    }

    TexturedVertex quad_[3];
};

// Point and bilinear filtering alike (bilinear filtering with wrapping also reads the
// levels' interleaved rows, which have to follow the texels).
TEST_F(TexturedDrawTest, SamplerFollowsEveryChangeOfTheLevels) {
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        SCOPED_TRACE(filter);
        device_->SetTextureStageState(0, D3DTSS_MINFILTER, filter);
        device_->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
        IDirect3DTexture8* texture = nullptr;
        // A dynamic default-pool texture: every write is drawn, and UpdateTexture may fill it.
        ASSERT_EQ(device_->CreateTexture(2, 2, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture),
                  D3D_OK);
        Fill(texture, 0, 0xFFFF0000);
        ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
        EXPECT_EQ(DrawTextured(), 0xFF0000u);

        Fill(texture, 0, 0xFF00FF00);  // a writing lock
        EXPECT_EQ(DrawTextured(), 0x00FF00u);

        // A read-only lock that scribbles anyway is not a change.
        D3DLOCKED_RECT locked{};
        texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
        static_cast<std::uint32_t*>(locked.pBits)[0] = 0xFFFFFFFF;
        texture->UnlockRect(0);
        EXPECT_EQ(DrawTextured(), 0x00FF00u);

        IDirect3DTexture8* staging = nullptr;
        ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &staging), D3D_OK);
        Fill(staging, 0, 0xFF0000FF);
        ASSERT_EQ(device_->UpdateTexture(staging, texture), D3D_OK);
        EXPECT_EQ(DrawTextured(), 0x0000FFu);

        IDirect3DSurface8* level = nullptr;
        texture->GetSurfaceLevel(0, &level);
        level->LockRect(&locked, nullptr, 0);
        for (int i = 0; i < 2; ++i)
            for (int x = 0; x < 2; ++x)
                reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(locked.pBits) + i * locked.Pitch)[x] = 0xFFFFFF00;
        level->UnlockRect();
        level->Release();
        EXPECT_EQ(DrawTextured(), 0xFFFF00u);

        staging->Release();
        device_->SetTexture(0, nullptr);
        EXPECT_EQ(texture->Release(), 0u);
    }
}

TEST_F(TexturedDrawTest, LevelOfDetailChoosesTheFirstSampledLevel) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 3, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    Fill(texture, 0, 0xFFFF0000);
    Fill(texture, 1, 0xFF00FF00);
    Fill(texture, 2, 0xFF0000FF);
    device_->SetTexture(0, texture);
    EXPECT_EQ(DrawTextured(), 0xFF0000u);  // no mip filter: the most detailed level
    EXPECT_EQ(texture->SetLOD(1), 0u);
    EXPECT_EQ(DrawTextured(), 0x00FF00u);
    EXPECT_EQ(texture->SetLOD(7), 1u);  // clamped to the last level
    EXPECT_EQ(texture->GetLOD(), 2u);
    EXPECT_EQ(DrawTextured(), 0x0000FFu);
    texture->SetLOD(0);
    EXPECT_EQ(DrawTextured(), 0xFF0000u);
    device_->SetTexture(0, nullptr);
    texture->Release();

    // Only managed textures have a level of detail.
    ASSERT_EQ(device_->CreateTexture(4, 4, 3, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture), D3D_OK);
    texture->SetLOD(2);
    EXPECT_EQ(texture->GetLOD(), 0u);
    texture->Release();
}

// Vertices carry 2D coordinates only; the missing third reads as 0. At the centre pixel
// u > v > 0, so the cube's direction (u, v, 0) points at +x, its first face, and the
// volume reads its first slice.
// A two-component set on cube and volume textures: the missing coordinate is 0. At the
// centre pixel u > v > 0, so the cube's direction (u, v, 0) has +x as its major axis
// (face 0), and the volume's point sample at w = 0 is in its first slice.
TEST_F(TexturedDrawTest, CubeAndVolumeTexturesTakeTwoComponentCoordinates) {
    IDirect3DCubeTexture8* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube), D3D_OK);
    for (int face = 0; face < 6; ++face) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] =
                    face == 0 ? 0xFF00FFFFu : 0xFF000000u;
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    device_->SetTexture(0, cube);
    EXPECT_EQ(DrawTextured(), 0x00FFFFu);
    device_->SetTexture(0, nullptr);
    cube->Release();

    IDirect3DVolumeTexture8* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(2, 2, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &volume), D3D_OK);
    D3DLOCKED_BOX box{};
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, 0), D3D_OK);
    auto* texels = static_cast<std::uint32_t*>(box.pBits);
    for (int i = 0; i < 8; ++i) texels[i] = i < 4 ? 0xFFFF00FFu : 0xFF000000u;
    volume->UnlockBox(0);
    device_->SetTexture(0, volume);
    EXPECT_EQ(DrawTextured(), 0xFF00FFu);
    device_->SetTexture(0, nullptr);
    volume->Release();
}

TEST_F(TexturedDrawTest, SixteenBitAndBlockTexturesAreSampled) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            reinterpret_cast<std::uint16_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] = 0x07E0;
    texture->UnlockRect(0);
    device_->SetTexture(0, texture);
    EXPECT_EQ(DrawTextured(), 0x00FF00u);
    device_->SetTexture(0, nullptr);
    texture->Release();

    // A DXT1 block whose two colours are both pure blue.
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture), D3D_OK);
    texture->LockRect(0, &locked, nullptr, 0);
    const BYTE block[8] = {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
    std::memcpy(locked.pBits, block, sizeof block);
    texture->UnlockRect(0);
    device_->SetTexture(0, texture);
    EXPECT_EQ(DrawTextured(), 0x0000FFu);
    device_->SetTexture(0, nullptr);
    texture->Release();
}

}  // namespace

// Destination-alpha blending reads the alpha an A8R8G8B8 back buffer holds; an X8R8G8B8
// one has none and reads as opaque. (The device once described every target as X8R8G8B8.)
TEST_F(DeviceTest, DestinationAlphaComesFromAnAlphaBackBufferOnly) {
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) {
        D3DPRESENT_PARAMETERS params = Params(false);
        params.BackBufferFormat = format;
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                     &params, &device_),
                  D3D_OK);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
        device_->SetVertexShader(kScreenFvf);
        ScreenVertex v[3];
        CoverAll(v, 0xFFFFFFFF);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);  // alpha 0 where it is kept
        device_->BeginScene();
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), D3D_OK);
        device_->EndScene();
        ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(frame_.At(kWidth / 2, kHeight / 2) & 0xFFFFFFu, format == D3DFMT_A8R8G8B8 ? 0u : 0xFFFFFFu)
            << "back buffer format " << format;
        device_->Release();
        device_ = nullptr;
    }
}

namespace {

// Depth-stencil formats: advertised, made as the automatic depth buffer, cleared (stencil
// only where the format has stencil bits), read back in the format's layout, and tested
// by draws; the caps name the stencil operations and pixel fog.
TEST_F(DeviceTest, DepthStencilFormatsClearAndDraw) {
    D3DCAPS8 caps{};
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.StencilCaps, 0xFFu);                  // KEEP .. DECR
    EXPECT_EQ(caps.RasterCaps & 0x00300100u, 0x00300100u);  // FOGTABLE, WFOG, ZFOG
    EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D24S8), D3D_OK);
    EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D32),
              D3DERR_NOTAVAILABLE);
    // A profile that lists a format the rasterizer cannot draw with does not advertise it.
    D3DDeviceProfile profile = D3DDefaultDeviceProfile();
    profile.DepthStencilFormats.push_back(D3DFMT_D32);
    IDirect3D8* listing = Direct3DCreate8WithProfile(D3D_SDK_VERSION, profile);
    ASSERT_NE(listing, nullptr);
    EXPECT_EQ(listing->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D32),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(listing->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                         D3DFMT_D32),
              D3DERR_NOTAVAILABLE);
    listing->Release();
    struct Case {
        D3DFORMAT format;
        std::uint32_t word;  // after a clear to z 0.25 and stencil 5
    };
    for (const Case& c : {Case{D3DFMT_D24S8, 0x40000005u}, Case{D3DFMT_D24X4S4, 0x40000005u},
                          Case{D3DFMT_D15S1, 0x4001u}, Case{D3DFMT_D24X8, 0x40000000u}}) {
        SCOPED_TRACE(c.format);
        D3DPRESENT_PARAMETERS params = Params(true);
        params.AutoDepthStencilFormat = c.format;
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device_),
                  D3D_OK);
        const bool stencil = c.format != D3DFMT_D24X8;
        EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 0.25f, 5),
                  stencil ? D3D_OK : D3DERR_INVALIDCALL);
        if (!stencil) {
            ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.25f, 5), D3D_OK);
        }
        IDirect3DSurface8* depth = nullptr;
        ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(depth->GetDesc(&desc), D3D_OK);
        EXPECT_EQ(desc.Format, c.format);
        const void* stored = StoredBits(depth);
        ASSERT_NE(stored, nullptr);
        std::uint32_t word = 0;
        std::memcpy(&word, stored, c.format == D3DFMT_D15S1 ? 2 : 4);
        EXPECT_EQ(word, c.word);
        depth->Release();

        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_STENCILENABLE, TRUE);
        device_->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
        device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetVertexShader(kScreenFvf);
        ScreenVertex v[3];
        auto middle = [&](DWORD ref) {
            device_->SetRenderState(D3DRS_STENCILREF, ref);
            device_->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0);
            CoverAll(v, 0xFF00FF00u);
            device_->BeginScene();
            EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), D3D_OK);
            device_->EndScene();
            EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
            return frame_.At(kWidth / 2, kHeight / 2) & 0xFFFFFFu;
        };
        // Without stencil bits the test is off and every draw passes.
        EXPECT_EQ(middle(5), 0x00FF00u);
        EXPECT_EQ(middle(6), stencil ? (kClear & 0xFFFFFFu) : 0x00FF00u);
        Drop(device_);
    }
}

struct DirectionVertex {  // D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)
    float x, y, z, rhw;
    float c[3];
};
constexpr DWORD kDirectionFvf = D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0);

// A triangle covering the target, every vertex with coordinates c.
void CoverAll(DirectionVertex* v, float c0, float c1, float c2) {
    const float corners[3][2] = {{-10.0f, -10.0f}, {300.0f, -10.0f}, {-10.0f, 300.0f}};
    for (int i = 0; i < 3; ++i) v[i] = {corners[i][0], corners[i][1], 0.5f, 1.0f, {c0, c1, c2}};
}

}  // namespace

// A cube texture filled face by face through LockRect is read by the face its coordinates
// point at, on whichever stage it is bound to; a volume filled through LockBox by the slice.
TEST_F(DrawTest, CubeAndVolumeTexturesSampleEveryFaceAndSlice) {
    const D3DCOLOR kFaces[6] = {0xFFFF0000, 0xFF00FFFF, 0xFF00FF00, 0xFFFF00FF, 0xFF0000FF, 0xFFFFFF00};
    IDirect3DCubeTexture8* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube), D3D_OK);
    for (int f = 0; f < 6; ++f) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(f), 0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                reinterpret_cast<D3DCOLOR*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] = kFaces[f];
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(f), 0);
    }
    device_->SetVertexShader(kDirectionFvf);
    DirectionVertex v[3];
    const float directions[6][3] = {{1, 0.2f, 0.1f}, {-1, 0.2f, 0.1f}, {0.1f, 1, 0.2f},
                                    {0.1f, -1, 0.2f}, {0.2f, 0.1f, 1}, {0.2f, 0.1f, -1}};
    for (DWORD stage = 0; stage < 8; ++stage) {
        // Earlier stages pass the diffuse colour on; this one selects its texel.
        for (DWORD s = 0; s < stage; ++s) {
            device_->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
            device_->SetTextureStageState(s, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        }
        device_->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, 0);
        ASSERT_EQ(device_->SetTexture(stage, cube), D3D_OK);
        for (int f = 0; f < 6; ++f) {
            CoverAll(v, directions[f][0], directions[f][1], directions[f][2]);
            EXPECT_EQ(Frame([&] { EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK); }),
                      kFaces[f] & 0xFFFFFFu)
                << "stage " << stage << ", face " << f;
        }
        device_->SetTexture(stage, nullptr);
    }
    for (DWORD s = 0; s < 8; ++s) device_->SetTextureStageState(s, D3DTSS_COLOROP, s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);

    IDirect3DVolumeTexture8* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(2, 2, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume), D3D_OK);
    D3DLOCKED_BOX box{};
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, 0), D3D_OK);
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                reinterpret_cast<D3DCOLOR*>(static_cast<BYTE*>(box.pBits) + z * box.SlicePitch + y * box.RowPitch)[x] = kFaces[z];
    volume->UnlockBox(0);
    device_->SetTexture(0, volume);
    for (int z = 0; z < 4; ++z) {
        CoverAll(v, 0.25f, 0.75f, (static_cast<float>(z) + 0.5f) / 4.0f);
        EXPECT_EQ(Frame([&] { EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]), D3D_OK); }),
                  kFaces[z] & 0xFFFFFFu)
            << "slice " << z;
    }
    device_->SetTexture(0, nullptr);
    EXPECT_EQ(cube->Release(), 0u);
    EXPECT_EQ(volume->Release(), 0u);
}

namespace {

// Vertex fog as drivers compute it: from the distance on either side of the eye, complete
// where start and end coincide, and from the specular alpha (interpolated, flat shading
// too) when fog is on with neither formula.
TEST_F(DeviceTest, VertexFogDistanceEqualEndsAndSpecularAlpha) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    struct Vertex {
        float x, y, z;
        D3DCOLOR diffuse, specular;
    };
    device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF000000);
    const float zero = 0.0f, one = 1.0f, third = 0.3f;
    // The view looks down -z: the projection turns view z -0.5 into clip z 0.5.
    D3DMATRIX flip{};
    flip._11 = flip._22 = flip._44 = 1.0f;
    flip._33 = -1.0f;
    device_->SetTransform(D3DTS_PROJECTION, &flip);
    auto middle = [&](DWORD leftAlpha, DWORD rightAlpha) {
        const D3DCOLOR l = leftAlpha << 24, r = rightAlpha << 24;
        const Vertex quad[4] = {{-1, 1, -0.5f, ~0u, l}, {1, 1, -0.5f, ~0u, r}, {-1, -1, -0.5f, ~0u, l}, {1, -1, -0.5f, ~0u, r}};
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        device_->EndScene();
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        return static_cast<int>(frame_.At(kWidth / 2, kHeight / 2) & 0xFF);
    };
    device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device_->SetRenderState(D3DRS_FOGSTART, Bits(zero));
    device_->SetRenderState(D3DRS_FOGEND, Bits(one));
    EXPECT_NEAR(middle(0xFF, 0xFF), 128, 1);  // |z| = 0.5 of the way
    device_->SetRenderState(D3DRS_FOGSTART, Bits(third));
    device_->SetRenderState(D3DRS_FOGEND, Bits(third));
    EXPECT_EQ(middle(0xFF, 0xFF), 0);  // complete fog
    device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    EXPECT_EQ(middle(0x40, 0x40), 0x40);
    device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    EXPECT_NEAR(middle(0x00, 0xFF), 128, 3);  // interpolated, not the first vertex's
}

}  // namespace

namespace {

// Normals go through the inverse transpose of the whole world-view matrix: a projective
// one whose upper 3x3 has no inverse still lights its vertices.
TEST_F(DeviceTest, NormalsTakeTheInverseTransposeOfTheWholeMatrix) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    struct Vertex {
        float x, y, z, nx, ny, nz;
    };
    device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    device_->SetRenderState(D3DRS_AMBIENT, 0);
    // (x, y, z, 1) -> (x, y, 1, z + 1): upper 3x3 singular, the whole matrix not; its
    // inverse transpose sends the normal (0, 0, 1) to (0, 0, -1).
    D3DMATRIX world{};
    world._11 = world._22 = 1.0f;
    world._34 = 1.0f;
    world._43 = world._44 = 1.0f;
    device_->SetTransform(D3DTS_WORLD, &world);
    D3DMATERIAL8 material{};
    material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    device_->SetMaterial(&material);
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    const Vertex quad[4] = {{-2, 2, 1, 0, 0, 1}, {2, 2, 1, 0, 0, 1}, {-2, -2, 1, 0, 0, 1}, {2, -2, 1, 0, 0, 1}};
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device_->BeginScene();
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    device_->EndScene();
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.At(kWidth / 2, kHeight / 2) & 0xFFFFFF, 0xFFFFFFu);
}

}  // namespace
