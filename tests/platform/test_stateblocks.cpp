// State blocks: recording, the states each predefined kind holds, apply and capture,
// and the references blocks keep to textures.
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "platform/d3d8/shader_asm.h"

namespace {

class StateBlockTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(true), D3D_OK);
    }
    DWORD Render(D3DRENDERSTATETYPE state) {
        DWORD value = 0;
        device_->GetRenderState(state, &value);
        return value;
    }
    DWORD Stage(DWORD stage, D3DTEXTURESTAGESTATETYPE type) {
        DWORD value = 0;
        device_->GetTextureStageState(stage, type, &value);
        return value;
    }
    IDirect3DBaseTexture8* Bound(DWORD stage) {
        IDirect3DBaseTexture8* texture = nullptr;
        device_->GetTexture(stage, &texture);
        if (texture != nullptr) texture->Release();
        return texture;
    }
};

TEST_F(StateBlockTest, RecordedBlocksHoldWhatWasSetAndLeaveTheDeviceAlone) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    const D3DMATRIX view = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 5, 6, 7, 1}}};
    const DWORD zfunc = Render(D3DRS_ZFUNC), cull = Render(D3DRS_CULLMODE);

    ASSERT_EQ(device_->BeginStateBlock(), D3D_OK);
    EXPECT_EQ(device_->BeginStateBlock(), D3DERR_INVALIDCALL);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    device_->SetTexture(1, texture);
    device_->SetTransform(D3DTS_VIEW, &view);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    DWORD refused = 0;
    EXPECT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &refused), D3DERR_INVALIDCALL);
    DWORD token = 0;
    ASSERT_EQ(device_->EndStateBlock(&token), D3D_OK);
    EXPECT_EQ(device_->EndStateBlock(&token), D3DERR_INVALIDCALL);
    // Recording changed nothing on the device.
    EXPECT_EQ(Render(D3DRS_ZFUNC), zfunc);
    EXPECT_EQ(Bound(1), nullptr);
    EXPECT_EQ(Stage(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));

    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device_->ApplyStateBlock(token), D3D_OK);
    EXPECT_EQ(Render(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_GREATER));
    EXPECT_EQ(Render(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_NONE));  // not in the block
    EXPECT_EQ(Bound(1), texture);
    EXPECT_EQ(Stage(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_ADD));
    D3DMATRIX got{};
    device_->GetTransform(D3DTS_VIEW, &got);
    EXPECT_EQ(got._42, 6.0f);

    // Capture takes the current values of the block's states only.
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    device_->SetTexture(1, nullptr);
    ASSERT_EQ(device_->CaptureStateBlock(token), D3D_OK);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_NEVER);
    device_->SetRenderState(D3DRS_CULLMODE, cull);
    device_->SetTexture(1, texture);
    device_->ApplyStateBlock(token);
    EXPECT_EQ(Render(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_ALWAYS));
    EXPECT_EQ(Render(D3DRS_CULLMODE), cull);
    EXPECT_EQ(Bound(1), nullptr);

    EXPECT_EQ(device_->ApplyStateBlock(token + 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateStateBlock(static_cast<D3DSTATEBLOCKTYPE>(4), &refused), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateStateBlock(D3DSBT_ALL, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->EndStateBlock(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DeleteStateBlock(token), D3D_OK);
    EXPECT_EQ(device_->DeleteStateBlock(token), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->ApplyStateBlock(token), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->Release(), 0u);  // neither the device nor a block holds it now
}

TEST_F(StateBlockTest, PixelVertexAndAllBlocksHoldTheirOwnStates) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    device_->SetTexture(0, texture);
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_POINT;
    light.Range = 10.0f;
    device_->SetLight(3, &light);
    device_->LightEnable(3, TRUE);
    DWORD pixel = 0, vertex = 0, all = 0;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_PIXELSTATE, &pixel), D3D_OK);
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_VERTEXSTATE, &vertex), D3D_OK);
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &all), D3D_OK);
    EXPECT_EQ(texture->Release(), 1u);  // the block of all states; the binding is not counted

    auto scramble = [&] {
        device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_NEVER);             // pixel
        device_->SetRenderState(D3DRS_STENCILREF, 9);                   // pixel
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);                 // vertex
        device_->SetRenderState(D3DRS_AMBIENT, 0x123456);               // vertex
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);   // pixel
        device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);      // both
        device_->SetTexture(0, nullptr);                                // all only
        device_->LightEnable(3, FALSE);                                 // vertex
        D3DVIEWPORT8 viewport{1, 1, 8, 8, 0.0f, 1.0f};
        device_->SetViewport(&viewport);                                // all only
    };
    auto lightOn = [&] {
        BOOL on = FALSE;
        device_->GetLightEnable(3, &on);
        return on != FALSE;
    };
    auto viewportWidth = [&] {
        D3DVIEWPORT8 viewport{};
        device_->GetViewport(&viewport);
        return viewport.Width;
    };

    scramble();
    device_->ApplyStateBlock(pixel);
    EXPECT_EQ(Render(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_LESSEQUAL));
    EXPECT_EQ(Render(D3DRS_STENCILREF), 0u);
    EXPECT_EQ(Render(D3DRS_LIGHTING), static_cast<DWORD>(FALSE));
    EXPECT_EQ(Render(D3DRS_AMBIENT), 0x123456u);
    EXPECT_EQ(Stage(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(Stage(0, D3DTSS_TEXCOORDINDEX), 0u);
    EXPECT_FALSE(lightOn());
    EXPECT_EQ(Bound(0), nullptr);

    scramble();
    device_->ApplyStateBlock(vertex);
    EXPECT_EQ(Render(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_NEVER));
    EXPECT_EQ(Render(D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
    EXPECT_EQ(Render(D3DRS_AMBIENT), 0u);
    EXPECT_EQ(Stage(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_ADD));
    EXPECT_EQ(Stage(0, D3DTSS_TEXCOORDINDEX), 0u);
    EXPECT_TRUE(lightOn());
    EXPECT_EQ(viewportWidth(), 8u);

    scramble();
    device_->ApplyStateBlock(all);
    EXPECT_EQ(Render(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_LESSEQUAL));
    EXPECT_EQ(Render(D3DRS_AMBIENT), 0u);
    EXPECT_EQ(Stage(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_TRUE(lightOn());
    EXPECT_EQ(Bound(0), texture);
    EXPECT_EQ(viewportWidth(), static_cast<DWORD>(kWidth));
    // The blocks still alive are freed with the device: TearDown counts the objects.
}

}  // namespace

namespace {

TEST_F(StateBlockTest, MultiplyTransformWhileRecordingIsRecordedNotApplied) {
    D3DMATRIX scale{};
    scale._11 = 2.0f;
    scale._22 = 3.0f;
    scale._33 = 1.0f;
    scale._44 = 1.0f;
    ASSERT_EQ(device_->BeginStateBlock(), D3D_OK);
    ASSERT_EQ(device_->MultiplyTransform(D3DTS_WORLD, &scale), D3D_OK);
    ASSERT_EQ(device_->MultiplyTransform(D3DTS_WORLD, &scale), D3D_OK);
    DWORD token = 0;
    ASSERT_EQ(device_->EndStateBlock(&token), D3D_OK);
    D3DMATRIX world{};
    device_->GetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(world._11, 1.0f);
    ASSERT_EQ(device_->ApplyStateBlock(token), D3D_OK);
    device_->GetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(world._11, 4.0f);
    EXPECT_EQ(world._22, 9.0f);
    device_->DeleteStateBlock(token);
}

TEST_F(StateBlockTest, LightEnableBeyondMaxActiveLightsFails) {
    D3DCAPS8 caps{};
    device_->GetDeviceCaps(&caps);
    for (DWORD i = 0; i < caps.MaxActiveLights; ++i) EXPECT_EQ(device_->LightEnable(i * 3, TRUE), D3D_OK);
    EXPECT_EQ(device_->LightEnable(100, TRUE), D3DERR_INVALIDCALL);
    BOOL enabled = TRUE;
    EXPECT_EQ(device_->LightEnable(0, FALSE), D3D_OK);
    EXPECT_EQ(device_->LightEnable(100, TRUE), D3D_OK);
    EXPECT_EQ(device_->GetLightEnable(100, &enabled), D3D_OK);
    EXPECT_EQ(enabled, TRUE);
}

TEST_F(StateBlockTest, NullStreamSourceKeepsTheStride) {
    ASSERT_EQ(device_->SetStreamSource(0, nullptr, 24), D3D_OK);
    IDirect3DVertexBuffer8* buffer = nullptr;
    UINT stride = 0;
    ASSERT_EQ(device_->GetStreamSource(0, &buffer, &stride), D3D_OK);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(stride, 24u);
}

// Pixel blocks hold the pixel shader and its constants, vertex blocks the vertex shader and
// its constants, all blocks both and the sixteen streams; recording holds what was set.
TEST_F(StateBlockTest, BlocksHoldShadersTheirConstantsAndEveryStream) {
    const char* text = "ps.1.1\ntex t0\nmov r0, t0\n";
    std::vector<DWORD> pixelTokens;
    std::string errors;
    ASSERT_EQ(TolvaneAssembleShader(text, std::strlen(text), &pixelTokens, &errors), D3D_OK) << errors;
    DWORD ps = 0;
    ASSERT_EQ(device_->CreatePixelShader(pixelTokens.data(), &ps), D3D_OK);
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_STREAM(5),
                                 D3DVSD_REG(5, D3DVSDT_D3DCOLOR), D3DVSD_END()};
    DWORD vs = 0;
    ASSERT_EQ(device_->CreateVertexShader(declaration, nullptr, &vs, 0), D3D_OK);
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &buffer), D3D_OK);

    const float a[4] = {0.25f, 0.5f, 0.75f, 1.0f}, b[4] = {-1.0f, 2.0f, -3.0f, 4.0f}, zero[4] = {};
    auto set = [&](const float* value, DWORD pixel, DWORD vertex, IDirect3DVertexBuffer8* stream) {
        device_->SetPixelShader(pixel);
        device_->SetPixelShaderConstant(7, value, 1);
        device_->SetVertexShader(vertex);
        device_->SetVertexShaderConstant(95, value, 1);
        device_->SetStreamSource(5, stream, stream ? 12 : 0);
    };
    auto expect = [&](const float* pc, DWORD pixel, const float* vc, DWORD vertex, IDirect3DVertexBuffer8* stream) {
        float back[4];
        DWORD handle = 0;
        device_->GetPixelShader(&handle);
        EXPECT_EQ(handle, pixel);
        device_->GetPixelShaderConstant(7, back, 1);
        EXPECT_EQ(std::memcmp(back, pc, sizeof back), 0);
        device_->GetVertexShader(&handle);
        EXPECT_EQ(handle, vertex);
        device_->GetVertexShaderConstant(95, back, 1);
        EXPECT_EQ(std::memcmp(back, vc, sizeof back), 0);
        IDirect3DVertexBuffer8* held = nullptr;
        UINT stride = 0;
        device_->GetStreamSource(5, &held, &stride);
        EXPECT_EQ(held, stream);
        if (held) held->Release();
    };
    set(a, ps, vs, buffer);
    DWORD all = 0, pixel = 0, vertex = 0;
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_ALL, &all), D3D_OK);
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_PIXELSTATE, &pixel), D3D_OK);
    ASSERT_EQ(device_->CreateStateBlock(D3DSBT_VERTEXSTATE, &vertex), D3D_OK);
    set(b, 0, D3DFVF_XYZ, nullptr);
    ASSERT_EQ(device_->ApplyStateBlock(pixel), D3D_OK);
    expect(a, ps, b, D3DFVF_XYZ, nullptr);
    set(b, 0, D3DFVF_XYZ, nullptr);
    ASSERT_EQ(device_->ApplyStateBlock(vertex), D3D_OK);
    expect(b, 0, a, vs, nullptr);
    set(b, 0, D3DFVF_XYZ, nullptr);
    ASSERT_EQ(device_->ApplyStateBlock(all), D3D_OK);
    expect(a, ps, a, vs, buffer);

    // Recorded: the calls go to the block, not the device.
    set(b, 0, D3DFVF_XYZ, nullptr);
    ASSERT_EQ(device_->BeginStateBlock(), D3D_OK);
    set(a, ps, vs, buffer);
    DWORD recorded = 0;
    ASSERT_EQ(device_->EndStateBlock(&recorded), D3D_OK);
    expect(b, 0, b, D3DFVF_XYZ, nullptr);
    ASSERT_EQ(device_->ApplyStateBlock(recorded), D3D_OK);
    expect(a, ps, a, vs, buffer);
    // Capture reads the recorded registers back only: constant 6 was not recorded.
    device_->SetPixelShaderConstant(6, zero, 1);
    set(b, 0, D3DFVF_XYZ, nullptr);
    ASSERT_EQ(device_->CaptureStateBlock(recorded), D3D_OK);
    device_->SetPixelShaderConstant(6, a, 1);
    set(a, ps, vs, buffer);
    ASSERT_EQ(device_->ApplyStateBlock(recorded), D3D_OK);
    expect(b, 0, b, D3DFVF_XYZ, nullptr);
    float six[4];
    device_->GetPixelShaderConstant(6, six, 1);
    EXPECT_EQ(std::memcmp(six, a, sizeof six), 0);
    // A pixel shader deleted since its block was made is not set again.
    ASSERT_EQ(device_->DeletePixelShader(ps), D3D_OK);
    ASSERT_EQ(device_->ApplyStateBlock(all), D3D_OK);
    DWORD handle = 7;
    device_->GetPixelShader(&handle);
    EXPECT_EQ(handle, 0u);
    for (DWORD block : {all, pixel, vertex, recorded}) device_->DeleteStateBlock(block);
    device_->SetStreamSource(5, nullptr, 0);
    device_->SetVertexShader(D3DFVF_XYZ);
    device_->DeleteVertexShader(vs);
    buffer->Release();
}

TEST_F(StateBlockTest, ApplyStateBlockZeroFails) {
    EXPECT_EQ(device_->ApplyStateBlock(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CaptureStateBlock(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DeleteStateBlock(0), D3DERR_INVALIDCALL);
}

}  // namespace
