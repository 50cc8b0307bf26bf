// Render targets other than the back buffer: surfaces and texture levels set with
// SetRenderTarget, their depth surfaces, and the references the device keeps to them.
#include "device_fixture.h"

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};
struct TexturedVertex {
    float x, y, z, rhw;
    float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
constexpr DWORD kTexturedFvf = D3DFVF_XYZRHW | D3DFVF_TEX1;

class TargetTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(true), D3D_OK);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    // A rectangle of one colour at depth z, drawn as a strip.
    void Rect(float x0, float y0, float x1, float y1, float z, D3DCOLOR color) {
        ScreenVertex v[4] = {{x0, y0, z, 1, color}, {x1, y0, z, 1, color}, {x0, y1, z, 1, color}, {x1, y1, z, 1, color}};
        device_->SetVertexShader(kScreenFvf);
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ScreenVertex)), D3D_OK);
    }

    // The pixel at (x, y) of a 32-bit surface.
    static D3DCOLOR Pixel(IDirect3DSurface8* surface, int x, int y) {
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        D3DCOLOR value = static_cast<const D3DCOLOR*>(locked.pBits)[y * (locked.Pitch / 4) + x];
        surface->UnlockRect();
        return value;
    }
};

TEST_F(TargetTest, DrawingIntoATextureChangesWhatLaterDrawsSample) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture),
              D3D_OK);
    IDirect3DSurface8 *level = nullptr, *back = nullptr, *depth = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device_->GetRenderTarget(&back), D3D_OK);
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);

    const TexturedVertex screen[4] = {{0, 0, 0.5f, 1, 0, 0}, {kWidth, 0, 0.5f, 1, 1, 0},
                                      {0, kHeight, 0.5f, 1, 0, 1}, {kWidth, kHeight, 0.5f, 1, 1, 1}};
    // Each round paints the texture's left half anew, then draws the screen with it.
    for (D3DCOLOR paint : {0xFFFF0000u, 0xFF00FF00u}) {
        ASSERT_EQ(device_->SetRenderTarget(level, nullptr), D3D_OK);
        D3DVIEWPORT8 viewport{};
        device_->GetViewport(&viewport);
        EXPECT_EQ(viewport.Width, 16u);
        EXPECT_EQ(viewport.Height, 16u);
        device_->BeginScene();
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
        Rect(0, 0, 8, 16, 0.5f, paint);
        device_->EndScene();

        ASSERT_EQ(device_->SetRenderTarget(back, depth), D3D_OK);
        device_->GetViewport(&viewport);
        EXPECT_EQ(viewport.Width, static_cast<DWORD>(kWidth));
        device_->BeginScene();
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device_->SetTexture(0, texture);
        device_->SetVertexShader(kTexturedFvf);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, screen, sizeof(TexturedVertex)), D3D_OK);
        device_->SetTexture(0, nullptr);
        device_->EndScene();
        ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(frame_.At(5, 20) & 0xFFFFFF, paint & 0xFFFFFF);
        EXPECT_EQ(frame_.At(31, 47) & 0xFFFFFF, paint & 0xFFFFFF);
        EXPECT_EQ(frame_.At(32, 0) & 0xFFFFFF, 0x0000FFu);
        EXPECT_EQ(Pixel(level, 7, 3), paint);
    }
    level->Release();
    back->Release();
    depth->Release();
    EXPECT_EQ(texture->Release(), 0u);
}

TEST_F(TargetTest, DepthSurfacesOfEveryDrawnFormatTestAgainstTheirTarget) {
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D15S1, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D24X4S4}) {
        IDirect3DSurface8 *target = nullptr, *depth = nullptr;
        ASSERT_EQ(device_->CreateRenderTarget(16, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, &target), D3D_OK);
        ASSERT_EQ(device_->CreateDepthStencilSurface(20, 8, format, D3DMULTISAMPLE_NONE, &depth), D3D_OK) << format;
        ASSERT_EQ(device_->SetRenderTarget(target, depth), D3D_OK);
        device_->BeginScene();
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        Rect(0, 0, 16, 8, 0.25f, 0xFF00FF00);  // near
        Rect(0, 0, 10, 8, 0.75f, 0xFFFF0000);  // far: hidden
        device_->EndScene();
        EXPECT_EQ(Pixel(target, 3, 3), 0xFF00FF00u) << format;
        EXPECT_EQ(Pixel(target, 15, 7), 0xFF00FF00u) << format;
        ASSERT_EQ(device_->SetRenderTarget(nullptr, nullptr), D3D_OK);  // keeps the target, drops the depth
        IDirect3DSurface8* none = depth;
        EXPECT_EQ(device_->GetDepthStencilSurface(&none), D3DERR_NOTFOUND);
        EXPECT_EQ(none, nullptr);
        EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
        IDirect3DSurface8* current = nullptr;
        ASSERT_EQ(device_->GetRenderTarget(&current), D3D_OK);
        EXPECT_EQ(current, target);
        EXPECT_EQ(current->Release(), 2u);  // ours and the device's
        EXPECT_EQ(depth->Release(), 0u);
        EXPECT_EQ(target->Release(), 1u);  // still the device's target
    }
}

TEST_F(TargetTest, TargetsAreCheckedAsThePlatformDoes) {
    IDirect3DSurface8 *target = nullptr, *small = nullptr, *image = nullptr, *depth = nullptr, *out = nullptr;
    EXPECT_EQ(device_->CreateRenderTarget(16, 16, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, TRUE, &out), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, static_cast<D3DMULTISAMPLE_TYPE>(2), TRUE, &out),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateRenderTarget(0, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, &out), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateDepthStencilSurface(16, 16, D3DFMT_D32, D3DMULTISAMPLE_NONE, &out), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateDepthStencilSurface(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, &out),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(out, nullptr);
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
              D3DERR_INVALIDCALL);

    ASSERT_EQ(device_->CreateRenderTarget(32, 32, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, &target), D3D_OK);
    ASSERT_EQ(device_->CreateDepthStencilSurface(32, 16, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, &small), D3D_OK);
    ASSERT_EQ(device_->CreateDepthStencilSurface(32, 32, D3DFMT_D16, D3DMULTISAMPLE_NONE, &depth), D3D_OK);
    ASSERT_EQ(device_->CreateImageSurface(32, 32, D3DFMT_A8R8G8B8, &image), D3D_OK);
    IDirect3DSurface8* before = nullptr;
    device_->GetRenderTarget(&before);
    EXPECT_EQ(device_->SetRenderTarget(target, small), D3DERR_INVALIDCALL);  // depth smaller than the target
    EXPECT_EQ(device_->SetRenderTarget(image, depth), D3DERR_INVALIDCALL);   // not a render target
    EXPECT_EQ(device_->SetRenderTarget(depth, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetRenderTarget(target, target), D3DERR_INVALIDCALL);  // not a depth surface
    IDirect3DSurface8* current = nullptr;
    device_->GetRenderTarget(&current);
    EXPECT_EQ(current, before);  // nothing refused changed anything
    current->Release();
    before->Release();
    // A viewport is checked against the current target.
    ASSERT_EQ(device_->SetRenderTarget(target, depth), D3D_OK);
    D3DVIEWPORT8 viewport{0, 0, 32, 32, 0.0f, 1.0f};
    EXPECT_EQ(device_->SetViewport(&viewport), D3D_OK);
    viewport.Width = 33;
    EXPECT_EQ(device_->SetViewport(&viewport), D3DERR_INVALIDCALL);
    // A locked target refuses draws and clears.
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(target->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    target->UnlockRect();
    for (IDirect3DSurface8* s : {small, image, depth}) s->Release();
    target->Release();
    // The device lets go of its targets at its last release: TearDown counts the objects.
}

}  // namespace
