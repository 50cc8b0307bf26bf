// Render targets other than the back buffer: surfaces and texture levels set with
// SetRenderTarget, their depth surfaces, and the references the device keeps to them;
// CopyRects between surfaces, MultiplyTransform and ValidateDevice.
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

    // The pixel at (x, y) of a 32-bit surface that locks.
    static D3DCOLOR Pixel(IDirect3DSurface8* surface, int x, int y) {
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        if (locked.pBits == nullptr) return 0xDEADBEEF;
        D3DCOLOR value = static_cast<const D3DCOLOR*>(locked.pBits)[y * (locked.Pitch / 4) + x];
        surface->UnlockRect();
        return value;
    }

    // The same for a surface that does not lock (a level of a render-target texture), read as
    // a program reads one: copied into an image surface.
    D3DCOLOR CopiedPixel(IDirect3DSurface8* surface, int x, int y) {
        D3DSURFACE_DESC desc{};
        EXPECT_EQ(surface->GetDesc(&desc), D3D_OK);
        IDirect3DSurface8* image = nullptr;
        EXPECT_EQ(device_->CreateImageSurface(desc.Width, desc.Height, desc.Format, &image), D3D_OK);
        if (image == nullptr) return 0xDEADBEEF;
        EXPECT_EQ(device_->CopyRects(surface, nullptr, 0, image, nullptr), D3D_OK);
        const D3DCOLOR value = Pixel(image, x, y);
        image->Release();
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
        EXPECT_EQ(CopiedPixel(level, 7, 3), paint);
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
              D3DERR_NOTAVAILABLE);
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

    ASSERT_EQ(device_->CreateRenderTarget(32, 32, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, &out), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(out->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);  // made without the lockable flag
    out->Release();
    ASSERT_EQ(device_->CreateRenderTarget(32, 32, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, &target), D3D_OK);
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
    ASSERT_EQ(target->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    target->UnlockRect();
    for (IDirect3DSurface8* s : {small, image, depth}) s->Release();
    target->Release();
    // The device lets go of its targets at its last release: TearDown counts the objects.
}

TEST_F(TargetTest, CopyRectsMovesRectanglesToPointsOrRefusesTheWholeCall) {
    IDirect3DSurface8 *from = nullptr, *to = nullptr, *other = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(8, 8, D3DFMT_A8R8G8B8, &from), D3D_OK);
    ASSERT_EQ(device_->CreateImageSurface(8, 8, D3DFMT_A8R8G8B8, &to), D3D_OK);
    ASSERT_EQ(device_->CreateImageSurface(8, 8, D3DFMT_R5G6B5, &other), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(from->LockRect(&locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) static_cast<D3DCOLOR*>(locked.pBits)[y * (locked.Pitch / 4) + x] = y * 16 + x + 1;
    from->UnlockRect();

    const RECT rects[2] = {{1, 1, 3, 3}, {0, 0, 2, 1}};
    const POINT points[2] = {{4, 4}, {6, 7}};
    ASSERT_EQ(device_->CopyRects(from, rects, 2, to, points), D3D_OK);
    int copied = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            D3DCOLOR expected = 0;
            if (x >= 4 && x < 6 && y >= 4 && y < 6) expected = (y - 3) * 16 + (x - 3) + 1;
            if (x >= 6 && y == 7) expected = x - 6 + 1;
            EXPECT_EQ(Pixel(to, x, y), expected) << x << "," << y;
            copied += expected != 0;
        }
    }
    EXPECT_EQ(copied, 6);
    // Without points each rectangle keeps its place.
    ASSERT_EQ(device_->CopyRects(from, rects, 1, to, nullptr), D3D_OK);
    EXPECT_EQ(Pixel(to, 2, 2), 2u * 16 + 2 + 1);

    const RECT outside[2] = {{0, 0, 1, 1}, {6, 6, 9, 8}};
    const RECT empty = {2, 2, 2, 4};
    const POINT far[1] = {{7, 0}};
    EXPECT_EQ(device_->CopyRects(from, outside, 2, to, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(Pixel(to, 0, 0), 0u);  // the valid first rectangle was not copied either
    EXPECT_EQ(device_->CopyRects(from, &empty, 1, to, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CopyRects(from, rects, 1, to, far), D3DERR_INVALIDCALL);  // does not fit
    EXPECT_EQ(device_->CopyRects(from, nullptr, 0, other, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CopyRects(from, nullptr, 0, from, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CopyRects(nullptr, nullptr, 0, to, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(to->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(device_->CopyRects(from, nullptr, 0, to, nullptr), D3DERR_INVALIDCALL);
    to->UnlockRect();
    ASSERT_EQ(device_->CopyRects(from, nullptr, 0, to, nullptr), D3D_OK);  // the whole surface
    EXPECT_EQ(Pixel(to, 7, 7), 7u * 16 + 7 + 1);
    for (IDirect3DSurface8* s : {from, to, other}) s->Release();

    // Block formats copy whole blocks only.
    IDirect3DTexture8 *a = nullptr, *b = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &a), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &b), D3D_OK);
    IDirect3DSurface8 *la = nullptr, *lb = nullptr;
    a->GetSurfaceLevel(0, &la);
    b->GetSurfaceLevel(0, &lb);
    const RECT block = {4, 0, 8, 4}, split = {2, 0, 6, 4};
    EXPECT_EQ(device_->CopyRects(la, &block, 1, lb, nullptr), D3D_OK);
    EXPECT_EQ(device_->CopyRects(la, &split, 1, lb, nullptr), D3DERR_INVALIDCALL);
    la->Release();
    lb->Release();
    a->Release();
    b->Release();
}

TEST_F(TargetTest, MultiplyTransformPutsTheGivenMatrixFirst) {
    D3DMATRIX translate = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}}};
    D3DMATRIX scale = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}}};
    ASSERT_EQ(device_->SetTransform(D3DTS_VIEW, &translate), D3D_OK);
    ASSERT_EQ(device_->MultiplyTransform(D3DTS_VIEW, &scale), D3D_OK);
    D3DMATRIX result{};
    device_->GetTransform(D3DTS_VIEW, &result);
    // scale x translate: points are scaled, then moved by the unscaled offset.
    EXPECT_EQ(result._11, 2.0f);
    EXPECT_EQ(result._41, 1.0f);
    EXPECT_EQ(result._43, 3.0f);
    EXPECT_EQ(device_->MultiplyTransform(D3DTS_VIEW, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->MultiplyTransform(static_cast<D3DTRANSFORMSTATETYPE>(1), &scale), D3DERR_INVALIDCALL);
}

TEST_F(TargetTest, ValidateDeviceNamesWhatThePixelStageCannotRun) {
    DWORD passes = 7;
    EXPECT_EQ(device_->ValidateDevice(nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->ValidateDevice(&passes), D3D_OK);
    EXPECT_EQ(passes, 1u);
    auto check = [&](auto set, HRESULT expected) {
        set(DWORD{1});
        DWORD n = 7;
        EXPECT_EQ(device_->ValidateDevice(&n), expected);
        if (expected != D3D_OK) {
            EXPECT_EQ(n, 0u);
        }
        set(DWORD{0});
    };
    auto stage = [&](DWORD s, D3DTEXTURESTAGESTATETYPE type, DWORD bad, DWORD good) {
        return [=, this](DWORD on) { device_->SetTextureStageState(s, type, on ? bad : good); };
    };
    check(stage(0, D3DTSS_COLOROP, D3DTOP_PREMODULATE, D3DTOP_MODULATE), D3DERR_UNSUPPORTEDCOLOROPERATION);
    // A bump stage needs a stage after it to move; bump mapping is no alpha operation.
    check(stage(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP, D3DTOP_MODULATE), D3DERR_UNSUPPORTEDCOLOROPERATION);
    check(stage(0, D3DTSS_ALPHAOP, D3DTOP_BUMPENVMAPLUMINANCE, D3DTOP_SELECTARG1), D3DERR_UNSUPPORTEDALPHAOPERATION);
    // Bump mapping draws within six stages.
    check([&](DWORD on) {
        for (DWORD s = 0; s < 7; ++s)
            device_->SetTextureStageState(s, D3DTSS_COLOROP, s == 0 ? (on ? D3DTOP_BUMPENVMAP : D3DTOP_MODULATE)
                                                                    : (on ? D3DTOP_SELECTARG2 : D3DTOP_DISABLE));
    }, D3DERR_UNSUPPORTEDCOLOROPERATION);
    check(stage(0, D3DTSS_ALPHAOP, D3DTOP_DOTPRODUCT3, D3DTOP_SELECTARG1), D3DERR_UNSUPPORTEDALPHAOPERATION);
    check(stage(0, D3DTSS_COLORARG1, 7, D3DTA_TEXTURE), D3DERR_UNSUPPORTEDCOLORARG);
    check(stage(0, D3DTSS_ALPHAARG1, 0x40 | D3DTA_TEXTURE, D3DTA_TEXTURE), D3DERR_UNSUPPORTEDALPHAARG);
    // A stage after a disabled one is not looked at.
    check(stage(2, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP, D3DTOP_DISABLE), D3D_OK);
    check([&](DWORD on) { device_->SetRenderState(D3DRS_ALPHABLENDENABLE, on); }, D3D_OK);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_BOTHSRCALPHA);
    check([&](DWORD on) { device_->SetRenderState(D3DRS_ALPHABLENDENABLE, on); }, D3DERR_UNSUPPORTEDFACTORVALUE);

    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    device_->SetTexture(0, texture);
    check(stage(0, D3DTSS_MAGFILTER, D3DTEXF_GAUSSIANCUBIC + 1, D3DTEXF_POINT), D3DERR_UNSUPPORTEDTEXTUREFILTER);
    check(stage(0, D3DTSS_MIPFILTER, 77, D3DTEXF_NONE), D3DERR_UNSUPPORTEDTEXTUREFILTER);
    // As many textured stages as the caps allow pass; one more does not.
    D3DCAPS8 caps{};
    device_->GetDeviceCaps(&caps);
    const DWORD allowed = caps.MaxSimultaneousTextures;
    for (DWORD s = 0; s < allowed && s < D3DMAXTEXTURESTAGES; ++s) {
        device_->SetTexture(s, texture);
        device_->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_MODULATE);
    }
    EXPECT_EQ(device_->ValidateDevice(&passes), D3D_OK);
    if (allowed < D3DMAXTEXTURESTAGES) {
        device_->SetTexture(allowed, texture);
        device_->SetTextureStageState(allowed, D3DTSS_COLOROP, D3DTOP_MODULATE);
        EXPECT_EQ(device_->ValidateDevice(&passes), D3DERR_TOOMANYOPERATIONS);
    }
    for (DWORD s = 0; s < D3DMAXTEXTURESTAGES; ++s) device_->SetTexture(s, nullptr);
    texture->Release();
}

}  // namespace

namespace {

TEST_F(TargetTest, ValidateDeviceAcceptsEveryPlatformFilter) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    device_->SetTexture(0, texture);
    for (DWORD filter = D3DTEXF_NONE; filter <= D3DTEXF_GAUSSIANCUBIC; ++filter) {
        SCOPED_TRACE(filter);
        for (D3DTEXTURESTAGESTATETYPE type : {D3DTSS_MAGFILTER, D3DTSS_MINFILTER, D3DTSS_MIPFILTER}) {
            device_->SetTextureStageState(0, type, filter);
            DWORD passes = 0;
            EXPECT_EQ(device_->ValidateDevice(&passes), D3D_OK);
            EXPECT_EQ(passes, 1u);
            device_->SetTextureStageState(0, type, type == D3DTSS_MIPFILTER ? D3DTEXF_NONE : D3DTEXF_POINT);
        }
    }
    device_->SetTexture(0, nullptr);
    texture->Release();
}

}  // namespace
