// Device reset: new buffers at the new size and formats, the states of a new device, the
// device's references let go of, bad parameters refused with nothing changed.
#include <cstring>

#include "device_fixture.h"

namespace {

class ResetTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(true), D3D_OK);
    }

    static D3DSURFACE_DESC Desc(IDirect3DSurface8* surface) {
        D3DSURFACE_DESC desc{};
        EXPECT_EQ(surface->GetDesc(&desc), D3D_OK);
        return desc;
    }

    // Every render and stage state, the transforms, viewport and material of a device.
    struct States {
        DWORD render[D3DRS_COUNT] = {};
        DWORD stage[D3DMAXTEXTURESTAGES][D3DTSS_COUNT] = {};
        D3DMATRIX world{}, view{}, texture0{};
        D3DMATERIAL8 material{};
        float plane[4] = {};
        DWORD shader = 0;
    };
    static States Read(IDirect3DDevice8* device) {
        States s;
        for (DWORD r = 0; r < D3DRS_COUNT; ++r) device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(r), &s.render[r]);
        for (DWORD t = 0; t < D3DMAXTEXTURESTAGES; ++t)
            for (DWORD k = 0; k < D3DTSS_COUNT; ++k)
                device->GetTextureStageState(t, static_cast<D3DTEXTURESTAGESTATETYPE>(k), &s.stage[t][k]);
        device->GetTransform(D3DTS_WORLD, &s.world);
        device->GetTransform(D3DTS_VIEW, &s.view);
        device->GetTransform(D3DTS_TEXTURE0, &s.texture0);
        device->GetMaterial(&s.material);
        device->GetClipPlane(0, s.plane);
        device->GetVertexShader(&s.shader);
        return s;
    }
};

TEST_F(ResetTest, RebuildsTheBuffersAndReturnsToTheStatesOfANewDevice) {
    // Bindings the application keeps its own references to, and changed states.
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
    device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    D3DMATRIX scale = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}}};
    device_->SetTransform(D3DTS_WORLD, &scale);
    device_->SetTransform(D3DTS_VIEW, &scale);
    device_->SetTransform(D3DTS_TEXTURE0, &scale);
    D3DMATERIAL8 material{};
    material.Power = 7.0f;
    device_->SetMaterial(&material);
    device_->LightEnable(2, TRUE);
    const float plane[4] = {1, 2, 3, 4};
    device_->SetClipPlane(0, plane);
    device_->SetVertexShader(D3DFVF_XYZ);
    IDirect3DSurface8* heldBack = nullptr;  // a pointer the application keeps across the reset
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &heldBack), D3D_OK);

    D3DPRESENT_PARAMETERS params = Params(true);
    params.BackBufferWidth = 32;
    params.BackBufferHeight = 16;
    params.BackBufferFormat = D3DFMT_A8R8G8B8;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(params.BackBufferCount, 1u);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);

    D3DSURFACE_DESC desc = Desc(heldBack);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Height, 16u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    IDirect3DSurface8* current = nullptr;
    ASSERT_EQ(device_->GetRenderTarget(&current), D3D_OK);
    EXPECT_EQ(current, heldBack);
    current->Release();
    heldBack->Release();
    ASSERT_EQ(device_->GetDepthStencilSurface(&current), D3D_OK);
    desc = Desc(current);
    EXPECT_EQ(desc.Format, D3DFMT_D24S8);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Height, 16u);
    current->Release();
    D3DVIEWPORT8 viewport{};
    device_->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 32u);
    EXPECT_EQ(viewport.Height, 16u);
    EXPECT_EQ(viewport.X + viewport.Y, 0u);
    // Drawing and clearing work on the new buffers.
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF112233, 1.0f, 0),
              D3D_OK);

    // The states are those of a device made with the same parameters.
    IDirect3DDevice8* fresh = nullptr;
    D3DPRESENT_PARAMETERS freshParams = params;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &freshParams, &fresh),
              D3D_OK);
    const States after = Read(device_), expected = Read(fresh);
    fresh->Release();
    EXPECT_EQ(std::memcmp(after.render, expected.render, sizeof after.render), 0);
    EXPECT_EQ(std::memcmp(after.stage, expected.stage, sizeof after.stage), 0);
    EXPECT_EQ(std::memcmp(&after.world, &expected.world, sizeof(D3DMATRIX)), 0);
    EXPECT_EQ(std::memcmp(&after.view, &expected.view, sizeof(D3DMATRIX)), 0);
    EXPECT_EQ(std::memcmp(&after.texture0, &expected.texture0, sizeof(D3DMATRIX)), 0);
    EXPECT_EQ(after.material.Power, 0.0f);
    EXPECT_EQ(after.plane[0] + after.plane[3], 0.0f);
    EXPECT_EQ(after.shader, 0u);
    D3DLIGHT8 light{};
    EXPECT_EQ(device_->GetLight(2, &light), D3DERR_INVALIDCALL);

    // The device let go of its references; the application's are the last.
    IDirect3DBaseTexture8* bound = reinterpret_cast<IDirect3DBaseTexture8*>(1);
    device_->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(Drop(texture), 0u);
    EXPECT_EQ(Drop(stream), 0u);
    EXPECT_EQ(Drop(indices), 0u);
    EXPECT_EQ(Drop(target), 0u);
}

TEST_F(ResetTest, RefusesBadParametersAndKeepsTheDevice) {
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    auto refused = [&](D3DPRESENT_PARAMETERS params) { return device_->Reset(&params) == D3DERR_INVALIDCALL; };
    D3DPRESENT_PARAMETERS bad = Params(true);
    bad.SwapEffect = static_cast<D3DSWAPEFFECT>(9);
    EXPECT_TRUE(refused(bad));
    bad = Params(true);
    bad.BackBufferCount = 2;
    EXPECT_TRUE(refused(bad));
    bad = Params(true);
    bad.AutoDepthStencilFormat = D3DFMT_A8R8G8B8;
    EXPECT_TRUE(refused(bad));
    bad = Params(true);
    bad.BackBufferFormat = D3DFMT_R5G6B5;
    EXPECT_TRUE(refused(bad));
    bad = Params(true);
    bad.Windowed = FALSE;
    EXPECT_TRUE(refused(bad));
    bad = Params(true);
    bad.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(2);
    EXPECT_TRUE(refused(bad));
    bad = Params(true);
    bad.BackBufferWidth = 20000;
    EXPECT_TRUE(refused(bad));
    EXPECT_EQ(device_->Reset(nullptr), D3DERR_INVALIDCALL);

    // A locked back buffer cannot be replaced.
    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(back->LockRect(&locked, nullptr, 0), D3D_OK);
    D3DPRESENT_PARAMETERS good = Params(true);
    good.BackBufferWidth = 8;
    good.BackBufferHeight = 8;
    EXPECT_TRUE(refused(good));
    back->UnlockRect();

    DWORD cull = 0;
    device_->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
    EXPECT_EQ(Desc(back).Width, static_cast<UINT>(kWidth));
    back->Release();
}

TEST_F(ResetTest, KeepsStateBlocksAndCanDropTheDepthBuffer) {
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    DWORD token = 0;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &token), D3D_OK);
    IDirect3DSurface8* oldDepth = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&oldDepth), D3D_OK);

    D3DPRESENT_PARAMETERS params = Params(false);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    IDirect3DSurface8* depth = reinterpret_cast<IDirect3DSurface8*>(1);
    EXPECT_EQ(device_->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND);
    DWORD value = 99;
    device_->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DZB_FALSE));
    EXPECT_EQ(Desc(oldDepth).Format, D3DFMT_D16);  // the old pointer still answers
    oldDepth->Release();

    device_->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CCW));
    ASSERT_EQ(device_->ApplyStateBlock(token), D3D_OK);
    device_->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CW));
    EXPECT_EQ(device_->DeleteStateBlock(token), D3D_OK);
}

}  // namespace
