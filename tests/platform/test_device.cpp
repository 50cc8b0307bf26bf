// The Direct3D object and the device on the headless display: creation, profiles and
// format checks, caps, states, buffers, Clear and Present, and reference counting.
#include <cstring>
#include <functional>
#include <limits>
#include <utility>

#include "device_fixture.h"

namespace {

DWORD FloatBits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(Direct3DCreate, OnlyTheSdkVersionOfTheDeviceInterface) {
    EXPECT_EQ(Direct3DCreate8(119), nullptr);
    EXPECT_EQ(Direct3DCreate8WithProfile(0, D3DDefaultDeviceProfile()), nullptr);
    IDirect3D8* d3d = Direct3DCreate8(120);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->AddRef(), 2u);
    EXPECT_EQ(d3d->Release(), 1u);
    EXPECT_EQ(d3d->Release(), 0u);
}

TEST_F(DeviceTest, HeadlessAdapterReportsAnX8R8G8B8DesktopMode) {
    EXPECT_EQ(d3d_->GetAdapterCount(), 1u);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(mode.Width, 1024u);
    EXPECT_EQ(mode.Height, 768u);
    EXPECT_EQ(d3d_->GetAdapterDisplayMode(1, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->GetAdapterDisplayMode(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3D_OK);
    EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, TRUE), D3DERR_NOTAVAILABLE);
}

TEST_F(DeviceTest, DefaultProfileAcceptsItsFormatsPerResourceType) {
    auto check = [&](DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) {
        return d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, type, format);
    };
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A4L4, D3DFMT_DXT1, D3DFMT_DXT5}) {
        EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, format), D3D_OK) << format;
        EXPECT_EQ(check(0, D3DRTYPE_CUBETEXTURE, format), D3D_OK) << format;
    }
    EXPECT_EQ(check(0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_L8), D3D_OK);
    EXPECT_EQ(check(0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_DXT1), D3D_OK);
    EXPECT_EQ(check(0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_V16U16), D3DERR_NOTAVAILABLE);  // not sampled
    for (D3DFORMAT format : {D3DFMT_V8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8})
        EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, format), D3D_OK) << format;
    for (D3DFORMAT format : {D3DFMT_R8G8B8, D3DFMT_P8, D3DFMT_A8P8, D3DFMT_V16U16, D3DFMT_UYVY, D3DFMT_D16})
        EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, format), D3DERR_NOTAVAILABLE) << format;
    EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), D3D_OK);
    EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_R5G6B5), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(check(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D16), D3D_OK);
    for (D3DFORMAT format : {D3DFMT_D15S1, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D24X4S4})
        EXPECT_EQ(check(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format), D3D_OK) << format;
    EXPECT_EQ(check(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D32), D3DERR_NOTAVAILABLE);
    // Bad arguments are refused rather than answered.
    EXPECT_EQ(d3d_->CheckDeviceFormat(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_L8),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(check(0, static_cast<D3DRESOURCETYPE>(99), D3DFMT_L8), D3DERR_INVALIDCALL);
    EXPECT_EQ(check(D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, ProfileDecidesFormatsAndCaps) {
    D3DDeviceProfile profile = D3DDefaultDeviceProfile();
    profile.TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
    profile.MaxTextureWidth = 256;
    profile.MaxTextureHeight = 128;
    profile.TextureFormats = {D3DFMT_R5G6B5};
    IDirect3D8* small = Direct3DCreate8WithProfile(D3D_SDK_VERSION, profile);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_R5G6B5), D3D_OK);
    EXPECT_EQ(small->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_NOTAVAILABLE);
    D3DCAPS8 caps{};
    ASSERT_EQ(small->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.MaxTextureWidth, 256u);
    EXPECT_EQ(caps.MaxTextureHeight, 128u);
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY, 0u);

    // The device of that profile refuses what the profile rules out.
    D3DPRESENT_PARAMETERS params = Params(false);
    IDirect3DDevice8* device = nullptr;
    ASSERT_EQ(small->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              D3D_OK);
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(64, 64, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture), D3D_OK);
    if (texture != nullptr) texture->Release();
    texture = nullptr;  // a failed creation leaves the pointer as it was
    EXPECT_EQ(device->CreateTexture(64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(64, 32, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(256, 256, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    device->Release();
    small->Release();
}

TEST_F(DeviceTest, CapsDescribeTheDefaultDevice) {
    D3DCAPS8 caps{};
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(caps.AdapterOrdinal, 0u);
    EXPECT_EQ(caps.TextureCaps, D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                                    D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP |
                                    D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_MIPCUBEMAP |
                                    D3DPTEXTURECAPS_CUBEMAP_POW2 | D3DPTEXTURECAPS_VOLUMEMAP_POW2 |
                                    D3DPTEXTURECAPS_PROJECTED | D3DPTEXTURECAPS_NONPOW2CONDITIONAL);
    EXPECT_EQ(caps.MaxTextureWidth, 4096u);
    EXPECT_EQ(caps.MaxTextureHeight, 4096u);
    EXPECT_EQ(caps.MaxVolumeExtent, 512u);
    EXPECT_EQ(caps.MaxTextureAspectRatio, 4096u);
    EXPECT_EQ(caps.MaxTextureBlendStages, 8u);
    // Every stage samples, and every coordinate set and the coordinate generation reach them.
    EXPECT_EQ(caps.MaxSimultaneousTextures, 8u);
    EXPECT_EQ(caps.FVFCaps & D3DFVFCAPS_TEXCOORDCOUNTMASK, 8u);
    EXPECT_NE(caps.VertexProcessingCaps & D3DVTXPCAPS_TEXGEN, 0u);
    EXPECT_EQ(caps.MaxActiveLights, 8u);
    EXPECT_EQ(caps.MaxStreams, 16u);
    EXPECT_EQ(caps.VertexShaderVersion, DWORD{D3DVS_VERSION(1, 1)});
    EXPECT_EQ(caps.MaxVertexShaderConst, 96u);
    EXPECT_GE(caps.MaxPrimitiveCount, 0xFFFFu);
    EXPECT_GE(caps.MaxVertexIndex, 0xFFFFu);
    EXPECT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_SW, &caps), D3DERR_INVALIDCALL);
}

// What a capable device of the time reported, each bit true to the device: DOTPRODUCT3
// (validated), the temporary register, sizes other than powers of two under conditions
// beside POW2 (the default profile's creation rules keep POW2).
TEST_F(DeviceTest, CapsOfACapableDeviceOfTheTime) {
    constexpr DWORD kDotProduct3Cap = 0x00800000, kTemporaryRegisterCap = 0x00000400;
    D3DCAPS8 caps{};
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_NE(caps.TextureOpCaps & kDotProduct3Cap, 0u);
    EXPECT_NE(caps.PrimitiveMiscCaps & kTemporaryRegisterCap, 0u);
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_POW2, 0u);
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0u);
    ASSERT_EQ(MakeDevice(), D3D_OK);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    device_->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEMP);
    DWORD passes = 0;
    EXPECT_EQ(device_->ValidateDevice(&passes), D3D_OK);
    // NONPOW2CONDITIONAL holds: one level of any size, no full chain.
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(device_->CreateTexture(48, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->CreateTexture(48, 32, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    EXPECT_EQ(texture->Release(), 0u);
}

TEST_F(DeviceTest, BackBufferTakesTheClientAreaAndDepthBufferIsD16) {
    D3DPRESENT_PARAMETERS params = Params(true);
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device_),
              D3D_OK);
    // A zero size stays 0 in the caller's structure; the device takes the client area.
    EXPECT_EQ(params.BackBufferWidth, 0u);
    EXPECT_EQ(params.BackBufferHeight, 0u);

    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Width, static_cast<UINT>(kWidth));
    EXPECT_EQ(desc.Height, static_cast<UINT>(kHeight));
    EXPECT_EQ(desc.Usage, D3DUSAGE_RENDERTARGET);
    IDirect3DSurface8* target = nullptr;
    ASSERT_EQ(device_->GetRenderTarget(&target), D3D_OK);
    EXPECT_EQ(target, back);
    target->Release();
    back->Release();
    EXPECT_EQ(device_->GetBackBuffer(1, D3DBACKBUFFER_TYPE_MONO, &back), D3DERR_INVALIDCALL);

    IDirect3DSurface8* depth = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    ASSERT_EQ(depth->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_D16);
    EXPECT_EQ(desc.Width, static_cast<UINT>(kWidth));
    depth->Release();

    DWORD zenable = 99;
    ASSERT_EQ(device_->GetRenderState(D3DRS_ZENABLE, &zenable), D3D_OK);
    EXPECT_EQ(zenable, static_cast<DWORD>(D3DZB_TRUE));
    D3DDEVICE_CREATION_PARAMETERS creation{};
    ASSERT_EQ(device_->GetCreationParameters(&creation), D3D_OK);
    EXPECT_EQ(creation.hFocusWindow, window_);
    EXPECT_EQ(creation.BehaviorFlags, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    IDirect3D8* d3d = nullptr;
    ASSERT_EQ(device_->GetDirect3D(&d3d), D3D_OK);
    EXPECT_EQ(d3d, d3d_);
    d3d->Release();
}

TEST_F(DeviceTest, WithoutDepthBufferZStartsDisabledAndThereIsNoDepthSurface) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    DWORD zenable = 99;
    ASSERT_EQ(device_->GetRenderState(D3DRS_ZENABLE, &zenable), D3D_OK);
    EXPECT_EQ(zenable, static_cast<DWORD>(D3DZB_FALSE));
    IDirect3DSurface8* depth = reinterpret_cast<IDirect3DSurface8*>(1);
    EXPECT_EQ(device_->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND);
    EXPECT_EQ(depth, nullptr);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, CreationRefusesWhatThePlatformRefuses) {
    auto create = [&](D3DPRESENT_PARAMETERS params, HWND window = nullptr,
                      DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING) {
        IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(1);
        HRESULT result = d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window != nullptr ? window : window_, flags, &params,
                                            &device);
        EXPECT_EQ(device, nullptr);
        return result;
    };
    D3DPRESENT_PARAMETERS params = Params(true);
    params.Windowed = FALSE;  // no full-screen mode is 0 by 0
    EXPECT_EQ(create(params), D3DERR_INVALIDCALL);
    params = Params(true);
    params.BackBufferFormat = D3DFMT_R5G6B5;
    EXPECT_EQ(create(params), D3DERR_NOTAVAILABLE);
    params = Params(true);
    params.AutoDepthStencilFormat = D3DFMT_D32;
    EXPECT_EQ(create(params), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(create(Params(true), reinterpret_cast<HWND>(0x1234)), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(Params(true), nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(Params(true), nullptr,
                     D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING),
              D3DERR_INVALIDCALL);
    IDirect3DDevice8* device = nullptr;
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, nullptr, &device),
              D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS good = Params(true);
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &good, nullptr),
              D3DERR_INVALIDCALL);
    // A back buffer of a given size need not match the window.
    D3DPRESENT_PARAMETERS sized = Params(false);
    sized.BackBufferWidth = 20;
    sized.BackBufferHeight = 10;
    sized.BackBufferFormat = D3DFMT_A8R8G8B8;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &sized, &device),
              D3D_OK);
    D3DVIEWPORT8 viewport{};
    device->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 20u);
    EXPECT_EQ(viewport.Height, 10u);
    device->Release();
}

TEST_F(DeviceTest, StatesStartAtThePlatformDefaults) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    struct Expected {
        D3DRENDERSTATETYPE state;
        DWORD value;
    };
    const Expected render[] = {
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_SPECULARENABLE, FALSE},
        {D3DRS_FOGENABLE, FALSE},
        {D3DRS_AMBIENT, 0},
        {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu},
        {D3DRS_FOGEND, FloatBits(1.0f)},
    };
    for (const Expected& e : render) {
        DWORD value = 0xDEADBEEF;
        ASSERT_EQ(device_->GetRenderState(e.state, &value), D3D_OK) << e.state;
        EXPECT_EQ(value, e.value) << "render state " << e.state;
    }
    DWORD value = 0;
    device_->GetTextureStageState(0, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTOP_MODULATE));
    device_->GetTextureStageState(1, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTOP_DISABLE));
    device_->GetTextureStageState(0, D3DTSS_ALPHAOP, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTOP_SELECTARG1));
    device_->GetTextureStageState(0, D3DTSS_COLORARG1, &value);
    EXPECT_EQ(value, D3DTA_TEXTURE);
    device_->GetTextureStageState(3, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(value, 3u);
    device_->GetTextureStageState(0, D3DTSS_MINFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_POINT));
    device_->GetTextureStageState(0, D3DTSS_ADDRESSU, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTADDRESS_WRAP));
}

TEST_F(DeviceTest, StatesAreKeptUntilChangedAndUnknownOnesRefused) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(device_->SetRenderState(D3DRS_FOGSTART, FloatBits(2.5f)), D3D_OK);
    DWORD value = 0;
    device_->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_NONE));
    device_->GetRenderState(D3DRS_FOGSTART, &value);
    EXPECT_EQ(value, FloatBits(2.5f));
    EXPECT_EQ(device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(0), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(400), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);

    ASSERT_EQ(device_->SetTextureStageState(1, D3DTSS_MAGFILTER, D3DTEXF_LINEAR), D3D_OK);
    device_->GetTextureStageState(1, D3DTSS_MAGFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_LINEAR));
    EXPECT_EQ(device_->SetTextureStageState(8, D3DTSS_MAGFILTER, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(40), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(12), 1), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, TransformsViewportAndMaterial) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    D3DMATRIX matrix{};
    for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE1}) {
        ASSERT_EQ(device_->GetTransform(t, &matrix), D3D_OK);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(matrix.m[r][c], r == c ? 1.0f : 0.0f);
    }
    D3DMATRIX scale{};
    scale._11 = 2;
    scale._22 = 3;
    scale._33 = 4;
    scale._44 = 1;
    scale._41 = 7;
    ASSERT_EQ(device_->SetTransform(D3DTS_VIEW, &scale), D3D_OK);
    ASSERT_EQ(device_->GetTransform(D3DTS_VIEW, &matrix), D3D_OK);
    EXPECT_EQ(std::memcmp(&matrix, &scale, sizeof matrix), 0);
    ASSERT_EQ(device_->GetTransform(D3DTS_WORLD, &matrix), D3D_OK);
    EXPECT_EQ(matrix._41, 0.0f);
    EXPECT_EQ(device_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(1), &scale), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);

    D3DVIEWPORT8 viewport{};
    ASSERT_EQ(device_->GetViewport(&viewport), D3D_OK);
    EXPECT_EQ(viewport.X, 0u);
    EXPECT_EQ(viewport.Width, static_cast<DWORD>(kWidth));
    EXPECT_EQ(viewport.Height, static_cast<DWORD>(kHeight));
    EXPECT_EQ(viewport.MinZ, 0.0f);
    EXPECT_EQ(viewport.MaxZ, 1.0f);
    D3DVIEWPORT8 outside{10, 10, kWidth, 10, 0.0f, 1.0f};
    EXPECT_EQ(device_->SetViewport(&outside), D3DERR_INVALIDCALL);
    D3DVIEWPORT8 empty{0, 0, 0, 10, 0.0f, 1.0f};
    EXPECT_EQ(device_->SetViewport(&empty), D3DERR_INVALIDCALL);
    D3DVIEWPORT8 inside{4, 6, 10, 12, 0.25f, 0.75f};
    ASSERT_EQ(device_->SetViewport(&inside), D3D_OK);
    device_->GetViewport(&viewport);
    EXPECT_EQ(viewport.Y, 6u);
    EXPECT_EQ(viewport.MaxZ, 0.75f);

    D3DMATERIAL8 material{};
    ASSERT_EQ(device_->GetMaterial(&material), D3D_OK);
    EXPECT_EQ(material.Diffuse.r, 0.0f);
    material.Diffuse = D3DCOLORVALUE{1, 0.5f, 0.25f, 1};
    material.Power = 8;
    ASSERT_EQ(device_->SetMaterial(&material), D3D_OK);
    D3DMATERIAL8 back{};
    device_->GetMaterial(&back);
    EXPECT_EQ(std::memcmp(&back, &material, sizeof back), 0);
}

TEST_F(DeviceTest, LightsEnableUpToEightAndDefaultWhenNeverSet) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    D3DLIGHT8 light{};
    EXPECT_EQ(device_->GetLight(3, &light), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->LightEnable(3, TRUE), D3D_OK);
    ASSERT_EQ(device_->GetLight(3, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.Diffuse.r, 1.0f);
    EXPECT_EQ(light.Direction.z, 1.0f);
    BOOL enabled = FALSE;
    ASSERT_EQ(device_->GetLightEnable(3, &enabled), D3D_OK);
    EXPECT_TRUE(enabled);

    for (DWORD i = 10; i < 17; ++i) ASSERT_EQ(device_->LightEnable(i, TRUE), D3D_OK) << i;
    EXPECT_EQ(device_->LightEnable(20, TRUE), D3DERR_INVALIDCALL);  // a ninth light
    ASSERT_EQ(device_->LightEnable(10, FALSE), D3D_OK);
    EXPECT_EQ(device_->LightEnable(20, TRUE), D3D_OK);

    D3DLIGHT8 bad{};
    bad.Type = D3DLIGHT_DIRECTIONAL;  // with no direction
    EXPECT_EQ(device_->SetLight(0, &bad), D3DERR_INVALIDCALL);
    D3DLIGHT8 point{};
    point.Type = D3DLIGHT_POINT;
    point.Range = 100;
    point.Attenuation0 = 1;
    EXPECT_EQ(device_->SetLight(0, &point), D3D_OK);
    point.Attenuation1 = -1;
    EXPECT_EQ(device_->SetLight(0, &point), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, VertexBufferLocksCheckOffsetAndSize) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(160, 0, 0x042, D3DPOOL_MANAGED, &buffer), D3D_OK);
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(buffer->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 160u);
    EXPECT_EQ(desc.FVF, 0x042u);
    EXPECT_EQ(desc.Type, D3DRTYPE_VERTEXBUFFER);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);

    BYTE* whole = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &whole, 0), D3D_OK);
    std::memset(whole, 0xAB, 160);
    BYTE* again = nullptr;
    EXPECT_EQ(buffer->Lock(0, 16, &again, 0), D3DERR_INVALIDCALL);  // already locked
    ASSERT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);

    BYTE* part = nullptr;
    ASSERT_EQ(buffer->Lock(16, 144, &part, 0), D3D_OK);
    EXPECT_EQ(part, whole + 16);
    EXPECT_EQ(part[143], 0xAB);
    buffer->Unlock();
    EXPECT_EQ(buffer->Lock(16, 145, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Lock(161, 0, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Lock(0xFFFFFFF0u, 0x20, &part, 0), D3DERR_INVALIDCALL);  // wraps around
    EXPECT_EQ(buffer->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);
    buffer->Release();

    EXPECT_EQ(device_->CreateVertexBuffer(0, 0, 0, D3DPOOL_MANAGED, &buffer), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateVertexBuffer(8, 0, 0x112, D3DPOOL_MANAGED, &buffer), D3DERR_INVALIDCALL);  // < 1 vertex
    EXPECT_EQ(device_->CreateVertexBuffer(64, 0, 0x042, static_cast<D3DPOOL>(7), &buffer), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateVertexBuffer(64, 0, 0x042, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, IndexBuffersOf16And32BitIndices) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DIndexBuffer8* buffer = nullptr;
    ASSERT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &buffer), D3D_OK);
    D3DINDEXBUFFER_DESC desc{};
    ASSERT_EQ(buffer->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
    EXPECT_EQ(desc.Size, 12u);
    buffer->Release();
    EXPECT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_L8, D3DPOOL_MANAGED, &buffer), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateIndexBuffer(1, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &buffer), D3DERR_INVALIDCALL);

    IDirect3DIndexBuffer8* bound = nullptr;
    ASSERT_EQ(device_->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &bound), D3D_OK);
    ASSERT_EQ(device_->SetIndices(bound, 5), D3D_OK);
    IDirect3DIndexBuffer8* got = nullptr;
    UINT base = 0;
    ASSERT_EQ(device_->GetIndices(&got, &base), D3D_OK);
    EXPECT_EQ(got, bound);
    EXPECT_EQ(base, 5u);
    EXPECT_EQ(got->Release(), 1u);  // the caller's; the binding is not counted
    EXPECT_EQ(bound->Release(), 0u);
}

TEST_F(DeviceTest, ClearFillsTargetOrRectanglesClippedToTheViewport) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(frame_.count, 1);
    EXPECT_EQ(frame_.window, window_);
    EXPECT_EQ(frame_.width, kWidth);
    EXPECT_EQ(frame_.height, kHeight);
    EXPECT_EQ(frame_.At(0, 0) & 0xFFFFFF, 0x102030u);
    EXPECT_EQ(frame_.At(kWidth - 1, kHeight - 1) & 0xFFFFFF, 0x102030u);

    // (After a discarding Present the back buffer holds an older frame: cleared again.)
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0), D3D_OK);
    D3DVIEWPORT8 viewport{8, 8, 32, 24, 0.0f, 1.0f};
    ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
    D3DRECT rects[2] = {{0, 0, 12, 12}, {30, 20, 100, 100}};
    ASSERT_EQ(device_->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.At(7, 7) & 0xFFFFFF, 0x102030u);   // in the rectangle, outside the viewport
    EXPECT_EQ(frame_.At(8, 8) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(frame_.At(11, 11) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(frame_.At(12, 12) & 0xFFFFFF, 0x102030u);
    EXPECT_EQ(frame_.At(30, 20) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(frame_.At(39, 31) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(frame_.At(40, 31) & 0xFFFFFF, 0x102030u);  // right of the viewport
    EXPECT_EQ(frame_.At(39, 32) & 0xFFFFFF, 0x102030u);  // below it

    // Without rectangles the whole viewport is cleared.
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    device_->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(frame_.At(8, 8) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(frame_.At(39, 31) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(frame_.At(0, 0) & 0xFFFFFF, 0x102030u);
}

TEST_F(DeviceTest, ClearWritesTheDepthBuffer) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);
    IDirect3DSurface8* depth = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(depth->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3DERR_INVALIDCALL);  // D16 does not lock
    auto* values = static_cast<const std::uint16_t*>(StoredBits(depth));
    ASSERT_NE(values, nullptr);
    EXPECT_NEAR(values[0], 32768, 1);
    EXPECT_NEAR(values[(kHeight - 1) * kWidth + kWidth - 1], 32768, 1);
    depth->Release();
}

// Rectangles without a count clear nothing; a count without rectangles clears the whole
// viewport, as no rectangles do.
TEST_F(DeviceTest, ClearCountAndRectanglesDisagreeing) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0), D3D_OK);
    D3DRECT rect{0, 0, 8, 8};
    EXPECT_EQ(device_->Clear(0, &rect, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.At(2, 2) & 0xFFFFFF, 0x102030u);
    EXPECT_EQ(device_->Clear(2, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.At(0, 0) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(frame_.At(kWidth - 1, kHeight - 1) & 0xFFFFFF, 0x00FF00u);
}

// A depth range beyond 0..1 is accepted; the depth written is clamped to the buffer's range.
TEST_F(DeviceTest, ViewportDepthBeyondZeroToOneIsClampedWhenWritten) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    D3DVIEWPORT8 wide{0, 0, kWidth, kHeight, -0.5f, 2.0f};
    ASSERT_EQ(device_->SetViewport(&wide), D3D_OK);
    D3DVIEWPORT8 back{};
    device_->GetViewport(&back);
    EXPECT_EQ(back.MinZ, -0.5f);
    EXPECT_EQ(back.MaxZ, 2.0f);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    };
    // Clip-space z 0.1 maps to depth -0.25 on the left half, 0.9 to 1.75 on the right.
    const Vertex left[4] = {{-1, 1, 0.1f, ~0u}, {0, 1, 0.1f, ~0u}, {-1, -1, 0.1f, ~0u}, {0, -1, 0.1f, ~0u}};
    const Vertex right[4] = {{0, 1, 0.9f, ~0u}, {1, 1, 0.9f, ~0u}, {0, -1, 0.9f, ~0u}, {1, -1, 0.9f, ~0u}};
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);
    device_->BeginScene();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, left, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, right, sizeof(Vertex)), D3D_OK);
    device_->EndScene();
    IDirect3DSurface8* depth = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    auto* values = static_cast<const std::uint16_t*>(StoredBits(depth));
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(values[20 * kWidth + 8], 0);
    EXPECT_EQ(values[20 * kWidth + kWidth - 8], 0xFFFF);
    depth->Release();
    D3DVIEWPORT8 notANumber{0, 0, 8, 8, 0.0f, std::numeric_limits<float>::quiet_NaN()};
    EXPECT_EQ(device_->SetViewport(&notANumber), D3DERR_INVALIDCALL);
}

// The device's buffers count the application's references only; a buffer held past the
// device's last release keeps it alive.
TEST_F(DeviceTest, BackAndDepthBufferCountsShowTheApplicationsReferencesOnly) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DSurface8* back = nullptr;
    IDirect3DSurface8* depth = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_EQ(back->AddRef(), 2u);
    EXPECT_EQ(back->Release(), 1u);
    EXPECT_EQ(back->Release(), 0u);
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    EXPECT_EQ(depth->Release(), 0u);
    // Still the device's: usable after the application let go.
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(back->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, static_cast<UINT>(kWidth));
    EXPECT_EQ(Drop(device_), 0u);
    EXPECT_EQ(back->GetDesc(&desc), D3D_OK);  // the device lives on for the buffer
    EXPECT_EQ(back->Release(), 0u);            // and goes with it (the fixture counts live objects)
}

// A window the window layer does not know, as the focus or the device window, or one
// destroyed, fails the creation cleanly with INVALIDCALL and no device.
TEST_F(DeviceTest, DeviceForAnUnknownWindowFailsCleanly) {
    const HWND unknown = reinterpret_cast<HWND>(0x5678);
    HWND gone = CreateWindowExA(0, "DeviceTest", "Gone", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    ASSERT_TRUE(DestroyWindow(gone));
    const std::pair<HWND, HWND> cases[] = {{unknown, nullptr}, {unknown, window_}, {window_, unknown}, {gone, nullptr},
                                           {window_, gone}};
    for (const auto& [focus, deviceWindow] : cases) {
        D3DPRESENT_PARAMETERS params = Params(true);
        params.hDeviceWindow = deviceWindow;
        IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(1);
        EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, focus, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(device, nullptr);
    }
}

TEST_F(DeviceTest, ClearRefusesBadArguments) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    EXPECT_EQ(device_->Clear(0, nullptr, 0, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Clear(0, nullptr, 0x100, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, ScenesDoNotNestAndPresentFailsWhenTheWindowIsGone) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);  // allowed inside a scene
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    ASSERT_TRUE(DestroyWindow(window_));
    EXPECT_LT(device_->Present(nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_LT(device_->TestCooperativeLevel(), 0);
    EXPECT_EQ(frame_.count, 1);
}

// Rectangles are for swap effects that copy: the source rectangle of the back buffer,
// clipped to it, goes stretched (point sampled) into the destination rectangle, clipped
// to the client area; the rest of the client area keeps what it showed. The dirty region
// is accepted and changes nothing.
TEST_F(DeviceTest, PresentCopiesRectanglesWhenTheSwapEffectCopies) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    const RECT quarter{0, 0, kWidth / 2, kHeight / 2};
    RGNDATA region{};
    region.rdh = RGNDATAHEADER{sizeof(RGNDATAHEADER), 1, 0, 0, RECT{0, 0, 1, 1}};
    const RGNDATA* dirty = &region;
    EXPECT_EQ(device_->Present(&quarter, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Present(nullptr, &quarter, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, dirty), D3D_OK);
    Drop(device_);

    D3DPRESENT_PARAMETERS params = Params(false);
    params.SwapEffect = D3DSWAPEFFECT_COPY;
    ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &params, &device_),
              D3D_OK);
    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(back->LockRect(&locked, nullptr, 0), D3D_OK);
    auto pattern = [](int x, int y) { return 0xFF000000u | static_cast<std::uint32_t>(x << 8 | y); };
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            static_cast<std::uint32_t*>(locked.pBits)[y * (locked.Pitch / 4) + x] = pattern(x, y);
    ASSERT_EQ(back->UnlockRect(), D3D_OK);
    back->Release();

    const RECT lowerRight{kWidth / 2, kHeight / 2, kWidth, kHeight};
    ASSERT_EQ(device_->Present(&quarter, &lowerRight, nullptr, dirty), D3D_OK);
    ASSERT_EQ(frame_.width, kWidth);
    ASSERT_EQ(frame_.height, kHeight);
    EXPECT_EQ(frame_.At(0, 0), 0u);  // never presented: black
    EXPECT_EQ(frame_.At(kWidth / 2 - 1, kHeight - 1), 0u);
    EXPECT_EQ(frame_.At(kWidth / 2, kHeight / 2), pattern(0, 0));
    EXPECT_EQ(frame_.At(kWidth - 1, kHeight - 1), pattern(kWidth / 2 - 1, kHeight / 2 - 1));

    // The whole back buffer into the upper left quarter: every other pixel, by centres.
    ASSERT_EQ(device_->Present(nullptr, &quarter, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.At(0, 0), pattern(1, 1));
    EXPECT_EQ(frame_.At(5, 7), pattern(11, 15));
    EXPECT_EQ(frame_.At(kWidth - 1, kHeight - 1), pattern(kWidth / 2 - 1, kHeight / 2 - 1));  // kept

    // A source past the back buffer is clipped to it (4 by 8 pixels here), then doubled
    // into the 8 by 16 destination; a destination past the client area loses what lies outside.
    const RECT pastSource{kWidth - 4, kHeight - 8, kWidth + 36, kHeight + 52};
    const RECT lowerLeft{0, kHeight / 2, 8, kHeight / 2 + 16};
    ASSERT_EQ(device_->Present(&pastSource, &lowerLeft, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.At(0, kHeight / 2), pattern(kWidth - 4, kHeight - 8));
    EXPECT_EQ(frame_.At(7, kHeight / 2 + 15), pattern(kWidth - 1, kHeight - 1));
    EXPECT_EQ(frame_.At(8, kHeight / 2), 0u);
    const RECT strip{0, 0, 16, 8};
    const RECT pastClient{kWidth - 8, 0, kWidth + 8, 8};
    ASSERT_EQ(device_->Present(&strip, &pastClient, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.At(kWidth - 8, 3), pattern(0, 3));
    EXPECT_EQ(frame_.At(kWidth - 1, 3), pattern(7, 3));

    const int shown = frame_.count;
    const RECT inverted{10, 0, 5, 8};
    EXPECT_EQ(device_->Present(&inverted, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(frame_.count, shown);
}

TEST_F(DeviceTest, LastReleaseFreesEveryObject) {
    const int before = d3d8::LiveObjectCount();
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0x042, D3DPOOL_MANAGED, &vb), D3D_OK);
    ASSERT_EQ(device_->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 4u);
    // Device, back buffer, depth buffer, two buffers, a texture and its four levels.
    EXPECT_EQ(d3d8::LiveObjectCount() - before, 3 + 2 + 1 + 4);

    // A level handed out keeps its texture alive and counts as the texture's reference.
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(2, &level), D3D_OK);
    EXPECT_EQ(Drop(texture), 1u);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(level->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);

    // Bindings hold the buffers out of their counts; the device lets go of them at its last
    // release.
    ASSERT_EQ(device_->SetStreamSource(0, vb, 16), D3D_OK);
    ASSERT_EQ(device_->SetIndices(ib, 0), D3D_OK);
    EXPECT_EQ(Drop(vb), 0u);
    EXPECT_EQ(Drop(ib), 0u);
    EXPECT_EQ(Drop(device_), 0u);
    // The level still works and finds its device.
    IDirect3DDevice8* device = nullptr;
    ASSERT_EQ(level->GetDevice(&device), D3D_OK);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(level->Release(), 0u);
    EXPECT_EQ(d3d8::LiveObjectCount(), before);
}

TEST_F(DeviceTest, SetTextureCountsReferences) {
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &texture), D3D_OK);
    ASSERT_EQ(device_->SetTexture(1, texture), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 2u);
    texture->Release();
    IDirect3DBaseTexture8* got = nullptr;
    ASSERT_EQ(device_->GetTexture(1, &got), D3D_OK);
    EXPECT_EQ(got, texture);
    got->Release();
    ASSERT_EQ(device_->GetTexture(0, &got), D3D_OK);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(device_->SetTexture(8, texture), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->SetTexture(1, nullptr), D3D_OK);
    EXPECT_EQ(texture->Release(), 0u);
}

}  // namespace

TEST_F(DeviceTest, ConditionalNonPowerOfTwoRefusesAFullChain) {
    D3DDeviceProfile profile = D3DDefaultDeviceProfile();
    profile.TextureCaps |= D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    IDirect3D8* d3d = Direct3DCreate8WithProfile(D3D_SDK_VERSION, profile);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS params = Params(false);
    IDirect3DDevice8* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              D3D_OK);
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(24, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(24, 16, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->CreateTexture(24, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    texture->Release();
    device->Release();
    d3d->Release();
}

TEST_F(DeviceTest, PresentParametersAreCheckedInThePlatformsOrder) {
    // A bad swap effect, back-buffer count or interval is a bad call even with no window
    // and full-screen asked for.
    const std::function<void(D3DPRESENT_PARAMETERS&)> changes[] = {
        [](auto& p) { p.SwapEffect = static_cast<D3DSWAPEFFECT>(0); },
        [](auto& p) { p.BackBufferCount = 4; },
        [](auto& p) { p.FullScreen_PresentationInterval = 3; },
    };
    for (const auto& change : changes) {
        D3DPRESENT_PARAMETERS params = Params(false);
        params.Windowed = FALSE;
        change(params);
        IDirect3DDevice8* device = nullptr;
        EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
                  D3DERR_INVALIDCALL);
    }
    D3DPRESENT_PARAMETERS params = Params(false);
    params.FullScreen_PresentationInterval = 1;  // windowed: the default interval only
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device_),
              D3DERR_INVALIDCALL);
    params = Params(false);
    params.Windowed = FALSE;  // full screen at no listed mode (0 by 0)
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device_),
              D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, BindingsHoldTheDevicesReferenceOutOfTheApplicationsCount) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    IDirect3DTexture8* texture = nullptr;
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb), D3D_OK);
    ASSERT_EQ(device_->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
    ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
    ASSERT_EQ(device_->SetStreamSource(0, vb, 16), D3D_OK);
    ASSERT_EQ(device_->SetIndices(ib, 0), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 2u);
    EXPECT_EQ(texture->Release(), 1u);
    EXPECT_EQ(vb->AddRef(), 2u);
    EXPECT_EQ(vb->Release(), 1u);
    EXPECT_EQ(ib->AddRef(), 2u);
    EXPECT_EQ(ib->Release(), 1u);
    // At an application count of 0 a bound object stays usable until it is unbound.
    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    IDirect3DBaseTexture8* bound = nullptr;
    ASSERT_EQ(device_->GetTexture(0, &bound), D3D_OK);
    EXPECT_EQ(bound, texture);
    EXPECT_EQ(bound->Release(), 0u);
    EXPECT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(ib->Release(), 0u);  // freed with the device: TearDown checks nothing leaks
}

TEST_F(DeviceTest, GetBackBufferIgnoresTheTypeAndNullsOnABadIndex) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    IDirect3DSurface8* back = reinterpret_cast<IDirect3DSurface8*>(std::uintptr_t{0x1230});
    EXPECT_EQ(device_->GetBackBuffer(1, D3DBACKBUFFER_TYPE_MONO, &back), D3DERR_INVALIDCALL);
    EXPECT_EQ(back, nullptr);
    IDirect3DSurface8* mono = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &mono), D3D_OK);
    ASSERT_EQ(device_->GetBackBuffer(0, static_cast<D3DBACKBUFFER_TYPE>(1), &back), D3D_OK);
    EXPECT_EQ(back, mono);
    back->Release();
    mono->Release();
}
