// Device reset: new buffers at the new size and formats, the states of a new device, the
// device's references let go of, bad parameters refused with nothing changed.
#include <cstring>
#include <functional>

#include "device_fixture.h"

namespace {

D3DSURFACE_DESC Desc(IDirect3DSurface8* surface) {
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(surface->GetDesc(&desc), D3D_OK);
    return desc;
}

// The render and stage states, a transform, the material and a clip plane of a device.
struct States {
    DWORD render[D3DRS_COUNT] = {};
    DWORD stage[D3DMAXTEXTURESTAGES][D3DTSS_COUNT] = {};
    D3DMATRIX world{};
    D3DMATERIAL8 material{};
    float plane[4] = {};
    explicit States(IDirect3DDevice8* device) {
        for (DWORD r = 0; r < D3DRS_COUNT; ++r) device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(r), &render[r]);
        for (DWORD t = 0; t < D3DMAXTEXTURESTAGES; ++t)
            for (DWORD k = 0; k < D3DTSS_COUNT; ++k)
                device->GetTextureStageState(t, static_cast<D3DTEXTURESTAGESTATETYPE>(k), &stage[t][k]);
        device->GetTransform(D3DTS_WORLD, &world);
        device->GetMaterial(&material);
        device->GetClipPlane(0, plane);
    }
};

TEST_F(DeviceTest, ResetRebuildsTheBuffersAndReturnsToTheStatesOfANewDevice) {
    ASSERT_EQ(MakeDevice(true), D3D_OK);
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    IDirect3DVertexBuffer8* stream = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &stream), D3D_OK);
    IDirect3DIndexBuffer8* indices = nullptr;
    ASSERT_EQ(device_->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices), D3D_OK);
    IDirect3DSurface8* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, &target), D3D_OK);
    device_->SetTexture(0, texture);
    device_->SetStreamSource(0, stream, 12);
    device_->SetIndices(indices, 3);
    ASSERT_EQ(device_->SetRenderTarget(target, nullptr), D3D_OK);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    const D3DMATRIX scale = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}}};
    device_->SetTransform(D3DTS_WORLD, &scale);
    D3DMATERIAL8 material{};
    material.Power = 7.0f;
    device_->SetMaterial(&material);
    device_->LightEnable(2, TRUE);
    const float plane[4] = {1, 2, 3, 4};
    device_->SetClipPlane(0, plane);
    device_->SetVertexShader(D3DFVF_XYZ);
    IDirect3DSurface8* heldBack = nullptr;  // kept by the application across the reset
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &heldBack), D3D_OK);
    // A render target of the default pool is let go of before a reset; the device's hold,
    // as the current target, is what is left of it, and Reset ends that too.
    EXPECT_EQ(Drop(target), 1u);

    D3DPRESENT_PARAMETERS params = Params(true);
    params.BackBufferWidth = 32;
    params.BackBufferHeight = 16;
    params.BackBufferFormat = D3DFMT_A8R8G8B8;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(params.BackBufferCount, 1u);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    const D3DSURFACE_DESC back = Desc(heldBack);
    EXPECT_EQ(back.Width * 100 + back.Height, 3216u);
    EXPECT_EQ(back.Format, D3DFMT_A8R8G8B8);
    IDirect3DSurface8* current = nullptr;
    ASSERT_EQ(device_->GetRenderTarget(&current), D3D_OK);
    EXPECT_EQ(current, heldBack);
    current->Release();
    heldBack->Release();
    ASSERT_EQ(device_->GetDepthStencilSurface(&current), D3D_OK);
    const D3DSURFACE_DESC depth = Desc(current);
    EXPECT_EQ(depth.Format, D3DFMT_D24S8);
    EXPECT_EQ(depth.Width * 100 + depth.Height, 3216u);
    current->Release();
    D3DVIEWPORT8 viewport{};
    device_->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width * 100 + viewport.Height, 3216u);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0), D3D_OK);

    // The states are those of a device made with the same parameters.
    IDirect3DDevice8* fresh = nullptr;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &fresh),
              D3D_OK);
    const States after(device_), expected(fresh);
    fresh->Release();
    EXPECT_EQ(std::memcmp(&after, &expected, sizeof after), 0);
    DWORD shader = 1;
    device_->GetVertexShader(&shader);
    EXPECT_EQ(shader, 0u);
    D3DLIGHT8 light{};
    EXPECT_EQ(device_->GetLight(2, &light), D3DERR_INVALIDCALL);

    // The device let go of its references; the application's are the last.
    EXPECT_EQ(Drop(texture), 0u);
    EXPECT_EQ(Drop(stream), 0u);
    EXPECT_EQ(Drop(indices), 0u);
}

TEST_F(DeviceTest, ResetRefusesBadParametersAndKeepsTheDevice) {
    ASSERT_EQ(MakeDevice(true), D3D_OK);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const std::function<void(D3DPRESENT_PARAMETERS&)> changes[] = {
        [](auto& p) { p.SwapEffect = static_cast<D3DSWAPEFFECT>(9); },
        [](auto& p) { p.BackBufferCount = 4; },
        [](auto& p) { p.AutoDepthStencilFormat = D3DFMT_A8R8G8B8; },
        [](auto& p) { p.BackBufferFormat = D3DFMT_R5G6B5; },
        [](auto& p) { p.Windowed = FALSE; },
        [](auto& p) { p.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(2); },
        [](auto& p) { p.BackBufferWidth = 20000; },
    };
    for (const auto& change : changes) {
        D3DPRESENT_PARAMETERS params = Params(true);
        change(params);
        EXPECT_EQ(device_->Reset(&params), D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(device_->Reset(nullptr), D3DERR_INVALIDCALL);
    IDirect3DSurface8* back = nullptr;  // a locked back buffer cannot be replaced
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(back->LockRect(&locked, nullptr, 0), D3D_OK);
    D3DPRESENT_PARAMETERS params = Params(true);
    params.BackBufferWidth = 8;
    EXPECT_EQ(device_->Reset(&params), D3DERR_INVALIDCALL);
    back->UnlockRect();

    DWORD cull = 0;
    device_->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
    EXPECT_EQ(Desc(back).Width, static_cast<UINT>(kWidth));
    back->Release();
}

TEST_F(DeviceTest, ResetKeepsStateBlocksAndCanDropTheDepthBuffer) {
    ASSERT_EQ(MakeDevice(true), D3D_OK);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    DWORD token = 0;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &token), D3D_OK);
    IDirect3DSurface8* oldDepth = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&oldDepth), D3D_OK);

    D3DPRESENT_PARAMETERS params = Params(false);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    IDirect3DSurface8* depth = nullptr;
    EXPECT_EQ(device_->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND);
    DWORD value = 99;
    device_->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DZB_FALSE));
    EXPECT_EQ(Desc(oldDepth).Format, D3DFMT_D16);  // the old pointer still answers
    oldDepth->Release();
    ASSERT_EQ(device_->ApplyStateBlock(token), D3D_OK);
    device_->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CW));
}

}  // namespace
