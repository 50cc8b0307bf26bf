// The methods the platform's interfaces have beyond drawing: private data, containers, a
// second swap chain, clip status, the adapter's identity and sampling, palettes, patches
// and the shader calls of a device without shaders.
#include <cstring>

#include "device_fixture.h"

namespace {

constexpr GUID kTag = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};

class InterfaceTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
    }
};

TEST_F(InterfaceTest, PrivateDataIsStoredAndAnInterfaceInItIsHeld) {
    IDirect3DVertexBuffer8* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &buffer), D3D_OK);
    const char bytes[5] = {'d', 'a', 't', 'a', '!'};
    ASSERT_EQ(buffer->SetPrivateData(kTag, bytes, sizeof bytes, 0), D3D_OK);
    char out[8] = {};
    DWORD size = 2;
    EXPECT_EQ(buffer->GetPrivateData(kTag, out, &size), D3DERR_MOREDATA);
    EXPECT_EQ(size, 5u);
    size = sizeof out;
    ASSERT_EQ(buffer->GetPrivateData(kTag, out, &size), D3D_OK);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(out, bytes, 5), 0);
    EXPECT_EQ(buffer->FreePrivateData(kTag), D3D_OK);
    EXPECT_EQ(buffer->GetPrivateData(kTag, out, &size), D3DERR_NOTFOUND);
    EXPECT_EQ(buffer->FreePrivateData(kTag), D3DERR_NOTFOUND);

    // D3DSPD_IUNKNOWN: the resource holds a reference until the data goes, and a Get
    // hands out one of its own.
    IDirect3DSurface8* surface = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(4, 4, D3DFMT_A8R8G8B8, &surface), D3D_OK);
    IUnknown* held = surface;
    EXPECT_EQ(buffer->SetPrivateData(kTag, &held, 3, D3DSPD_IUNKNOWN), D3DERR_INVALIDCALL);
    ASSERT_EQ(buffer->SetPrivateData(kTag, &held, sizeof held, D3DSPD_IUNKNOWN), D3D_OK);
    EXPECT_EQ(surface->AddRef(), 3u);
    surface->Release();
    IUnknown* got = nullptr;
    size = sizeof got;
    ASSERT_EQ(buffer->GetPrivateData(kTag, &got, &size), D3D_OK);
    EXPECT_EQ(got, held);
    EXPECT_EQ(got->Release(), 2u);
    // Setting the same GUID again lets go of the interface; so does the resource's end.
    ASSERT_EQ(buffer->SetPrivateData(kTag, bytes, 1, 0), D3D_OK);
    EXPECT_EQ(surface->AddRef(), 2u);
    surface->Release();
    ASSERT_EQ(buffer->SetPrivateData(kTag, &held, sizeof held, D3DSPD_IUNKNOWN), D3D_OK);
    EXPECT_EQ(Drop(buffer), 0u);
    EXPECT_EQ(Drop(surface), 0u);
}

TEST_F(InterfaceTest, GetContainerAnswersTheOwningTextureOrTheDevice) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(1, &level), D3D_OK);
    void* container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture8, &container), D3D_OK);
    EXPECT_EQ(container, static_cast<void*>(texture));
    static_cast<IUnknown*>(container)->Release();
    container = reinterpret_cast<void*>(1);
    EXPECT_EQ(level->GetContainer(IID_IDirect3DDevice8, &container), E_NOINTERFACE);
    EXPECT_EQ(container, nullptr);
    level->Release();
    EXPECT_EQ(Drop(texture), 0u);

    IDirect3DVolumeTexture8* volumeTexture = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volumeTexture), D3D_OK);
    IDirect3DVolume8* volume = nullptr;
    ASSERT_EQ(volumeTexture->GetVolumeLevel(0, &volume), D3D_OK);
    ASSERT_EQ(volume->GetContainer(IID_IDirect3DBaseTexture8, &container), D3D_OK);
    EXPECT_EQ(container, static_cast<void*>(volumeTexture));
    static_cast<IUnknown*>(container)->Release();
    volume->Release();
    EXPECT_EQ(Drop(volumeTexture), 0u);

    // A surface of its own and the device's back buffer belong to the device.
    IDirect3DSurface8* image = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(4, 4, D3DFMT_A8R8G8B8, &image), D3D_OK);
    ASSERT_EQ(image->GetContainer(IID_IDirect3DDevice8, &container), D3D_OK);
    EXPECT_EQ(container, static_cast<void*>(device_));
    static_cast<IUnknown*>(container)->Release();
    EXPECT_EQ(Drop(image), 0u);
    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(back->GetContainer(IID_IDirect3DDevice8, &container), D3D_OK);
    EXPECT_EQ(container, static_cast<void*>(device_));
    static_cast<IUnknown*>(container)->Release();
    back->Release();
}

TEST_F(InterfaceTest, ASwapChainPresentsItsOwnBackBufferToItsWindow) {
    HWND second = CreateWindowExA(0, "DeviceTest", "Second", WS_POPUP, 0, 0, 32, 16, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(second, nullptr);
    D3DPRESENT_PARAMETERS params = Params(false);
    params.hDeviceWindow = second;
    IDirect3DSwapChain8* chain = nullptr;
    ASSERT_EQ(device_->CreateAdditionalSwapChain(&params, &chain), D3D_OK);
    EXPECT_EQ(params.BackBufferWidth, 32u);
    EXPECT_EQ(params.BackBufferHeight, 16u);
    IDirect3DSurface8* back = nullptr;
    EXPECT_EQ(chain->GetBackBuffer(1, D3DBACKBUFFER_TYPE_MONO, &back), D3DERR_INVALIDCALL);
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    void* container = nullptr;
    ASSERT_EQ(back->GetContainer(IID_IDirect3DSwapChain8, &container), D3D_OK);
    EXPECT_EQ(container, static_cast<void*>(chain));
    static_cast<IUnknown*>(container)->Release();

    // Drawn into as a render target, shown on the second window; the device's own back
    // buffer is untouched.
    IDirect3DSurface8* original = nullptr;
    ASSERT_EQ(device_->GetRenderTarget(&original), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    ASSERT_EQ(device_->SetRenderTarget(back, nullptr), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(original, nullptr), D3D_OK);
    original->Release();
    ASSERT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.window, second);
    EXPECT_EQ(frame_.width, 32);
    EXPECT_EQ(frame_.height, 16);
    EXPECT_EQ(frame_.At(5, 5) & 0xFFFFFF, 0x00FF00u);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.window, window_);
    EXPECT_EQ(frame_.At(5, 5) & 0xFFFFFF, 0x0000FFu);
    // Rectangles are for swap effects that copy.
    RECT part{0, 0, 4, 4};
    EXPECT_EQ(chain->Present(&part, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);

    back->Release();
    EXPECT_EQ(Drop(chain), 0u);
    DestroyWindow(second);
}

TEST_F(InterfaceTest, ClipStatusReturnsWhatWasSetAndDrawsLeaveIt) {
    D3DCLIPSTATUS8 status{};
    ASSERT_EQ(device_->GetClipStatus(&status), D3D_OK);
    EXPECT_EQ(status.ClipUnion, 0u);
    EXPECT_EQ(status.ClipIntersection, 0u);
    const D3DCLIPSTATUS8 set{D3DCS_LEFT | D3DCS_PLANE0, D3DCS_TOP};
    ASSERT_EQ(device_->SetClipStatus(&set), D3D_OK);
    struct {
        float x, y, z, rhw;
        D3DCOLOR color;
    } far[3] = {{-50, -50, 0.5f, 1, 0}, {-40, -50, 0.5f, 1, 0}, {-50, -40, 0.5f, 1, 0}};
    device_->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device_->BeginScene();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, far, sizeof far[0]), D3D_OK);
    device_->EndScene();
    ASSERT_EQ(device_->GetClipStatus(&status), D3D_OK);
    EXPECT_EQ(status.ClipUnion, set.ClipUnion);
    EXPECT_EQ(status.ClipIntersection, set.ClipIntersection);
    EXPECT_EQ(device_->SetClipStatus(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetClipStatus(nullptr), D3DERR_INVALIDCALL);
}

TEST_F(InterfaceTest, TheAdapterIdentifiesItselfAndSamplesOnce) {
    D3DADAPTER_IDENTIFIER8 id;
    std::memset(&id, 0xCC, sizeof id);
    ASSERT_EQ(d3d_->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_GT(std::strlen(id.Driver), 0u);
    EXPECT_LT(std::strlen(id.Driver), sizeof id.Driver);
    EXPECT_GT(std::strlen(id.Description), 0u);
    EXPECT_LT(std::strlen(id.Description), sizeof id.Description);
    EXPECT_NE(id.VendorId, 0u);
    EXPECT_NE(id.DriverVersion.QuadPart, 0);
    D3DADAPTER_IDENTIFIER8 again{};
    ASSERT_EQ(d3d_->GetAdapterIdentifier(0, D3DENUM_NO_WHQL_LEVEL, &again), D3D_OK);
    EXPECT_EQ(std::memcmp(&id.DeviceIdentifier, &again.DeviceIdentifier, sizeof(GUID)), 0);
    EXPECT_EQ(d3d_->GetAdapterIdentifier(1, 0, &id), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->GetAdapterIdentifier(0, 0x100, &id), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->GetAdapterIdentifier(0, 0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_NE(d3d_->GetAdapterMonitor(0), nullptr);
    EXPECT_EQ(d3d_->GetAdapterMonitor(1), nullptr);

    EXPECT_EQ(d3d_->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_NONE), D3D_OK);
    EXPECT_EQ(d3d_->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_2_SAMPLES),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_D16, FALSE, D3DMULTISAMPLE_4_SAMPLES),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->CheckDeviceMultiSampleType(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_NONE),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d_->RegisterSoftwareDevice(nullptr), D3DERR_INVALIDCALL);
}

TEST_F(InterfaceTest, PalettesAreStoredAndPatchesAreNotOffered) {
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = {BYTE(i), BYTE(255 - i), BYTE(i / 2), 0xFF};
    EXPECT_EQ(device_->SetCurrentTexturePalette(3), D3DERR_INVALIDCALL);  // never set
    ASSERT_EQ(device_->SetPaletteEntries(3, entries), D3D_OK);
    ASSERT_EQ(device_->SetCurrentTexturePalette(3), D3D_OK);
    UINT current = 0;
    ASSERT_EQ(device_->GetCurrentTexturePalette(&current), D3D_OK);
    EXPECT_EQ(current, 3u);
    PALETTEENTRY back[256] = {};
    ASSERT_EQ(device_->GetPaletteEntries(3, back), D3D_OK);
    EXPECT_EQ(std::memcmp(back, entries, sizeof entries), 0);
    EXPECT_EQ(device_->GetPaletteEntries(4, back), D3DERR_INVALIDCALL);

    EXPECT_EQ(device_->DrawRectPatch(1, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawTriPatch(1, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DeletePatch(1), D3DERR_INVALIDCALL);

    D3DCAPS8 caps{};
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.VertexShaderVersion, DWORD{D3DVS_VERSION(1, 1)});
    EXPECT_EQ(caps.PixelShaderVersion, DWORD{D3DPS_VERSION(1, 4)});
    const DWORD function[] = {0xFFFF0101, 0x0000FFFF};
    DWORD handle = 7;
    EXPECT_EQ(device_->CreateVertexShader(nullptr, function, &handle, 0), D3DERR_INVALIDCALL);  // no declaration
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(device_->SetPixelShader(0), D3D_OK);
    ASSERT_EQ(device_->GetPixelShader(&handle), D3D_OK);
    EXPECT_EQ(handle, 0u);
    // An FVF code is still a vertex shader.
    ASSERT_EQ(device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
    ASSERT_EQ(device_->GetVertexShader(&handle), D3D_OK);
    EXPECT_EQ(handle, DWORD{D3DFVF_XYZ | D3DFVF_DIFFUSE});
    float constants[4] = {};
    EXPECT_EQ(device_->SetVertexShaderConstant(0, constants, 1), D3D_OK);
    EXPECT_EQ(device_->DeleteVertexShader(1), D3DERR_INVALIDCALL);  // no shader has this handle
}

}  // namespace
