// Programs written against the platform's interfaces: a C program and its C++ twin draw the
// same frame, and QueryInterface walks an interface chain with the platform's identifiers.
#define COBJMACROS  // the call macros of C++ callers too
#include <cstring>
#include <vector>

#include "c_programs.h"
#include "device_fixture.h"

namespace {

struct Vertex {  // D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

// c_frame.c written in C++, call for call.
HRESULT CppFrame(std::uint32_t* pixels, int width, int height) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "TolvaneCppFrame";
    if (RegisterClassA(&wc) == 0) return E_FAIL;
    HWND window = CreateWindowExA(0, "TolvaneCppFrame", "C++", WS_OVERLAPPEDWINDOW, 0, 0, width, height, nullptr,
                                  nullptr, nullptr, nullptr);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    HRESULT hr = window != nullptr && d3d != nullptr ? S_OK : E_FAIL;
    IDirect3DDevice8* device = nullptr;
    if (SUCCEEDED(hr)) {
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferWidth = static_cast<UINT>(width);
        params.BackBufferHeight = static_cast<UINT>(height);
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = TRUE;
        params.EnableAutoDepthStencil = TRUE;
        params.AutoDepthStencilFormat = D3DFMT_D16;
        params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;  // the frame is read back
        hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                               &device);
    }
    IDirect3DTexture8* texture = nullptr;
    if (SUCCEEDED(hr)) hr = device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture);
    if (SUCCEEDED(hr)) {
        D3DLOCKED_RECT locked;
        hr = texture->LockRect(0, &locked, nullptr, 0);
        if (SUCCEEDED(hr)) {
            static const DWORD texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
            for (int y = 0; y < 2; ++y)
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, texels + 2 * y, 2 * sizeof(DWORD));
            hr = texture->UnlockRect(0);
        }
    }
    if (SUCCEEDED(hr)) {
        D3DMATERIAL8 material{};
        material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
        material.Ambient = {0.25f, 0.25f, 0.25f, 0.0f};
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {0.9f, 0.8f, 0.7f, 0.0f};
        light.Direction = {0.3f, -0.4f, 1.0f};
        static const Vertex triangle[3] = {
            {-0.8f, -0.8f, 0.5f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f},
            {0.0f, 0.8f, 0.5f, 0.0f, 0.0f, -1.0f, 0.5f, 0.0f},
            {0.8f, -0.8f, 0.5f, 0.0f, 0.0f, -1.0f, 1.0f, 1.0f},
        };
        device->SetMaterial(&material);
        device->SetLight(0, &light);
        device->LightEnable(0, TRUE);
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(40, 40, 40));
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetTexture(0, texture);
        device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(16, 32, 48), 1.0f, 0);
        device->BeginScene();
        hr = device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex));
        device->EndScene();
        device->SetTexture(0, nullptr);
    }
    if (texture != nullptr) texture->Release();
    if (SUCCEEDED(hr)) {
        IDirect3DSurface8* back = nullptr;
        hr = device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
        if (SUCCEEDED(hr)) {
            D3DLOCKED_RECT locked;
            hr = back->LockRect(&locked, nullptr, D3DLOCK_READONLY);
            if (SUCCEEDED(hr)) {
                for (int y = 0; y < height; ++y)
                    std::memcpy(pixels + y * width, static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch,
                                static_cast<std::size_t>(width) * 4);
                back->UnlockRect();
            }
            back->Release();
        }
    }
    if (device != nullptr) device->Release();
    if (d3d != nullptr) d3d->Release();
    if (window != nullptr) DestroyWindow(window);
    UnregisterClassA("TolvaneCppFrame", nullptr);
    return hr;
}

TEST(CCallers, TheCProgramDrawsTheSamePixelsAsItsCppTwin) {
    host::Shutdown();
    host::SetHeadless(true);
    constexpr int kW = 64, kH = 48;
    std::vector<unsigned> c(kW * kH, 0xDEADBEEF);
    std::vector<std::uint32_t> cpp(kW * kH, 0);
    ASSERT_EQ(TolvaneCFrame(c.data(), kW, kH), 0);
    ASSERT_EQ(CppFrame(cpp.data(), kW, kH), D3D_OK);
    host::Shutdown();
    EXPECT_EQ(d3d8::LiveObjectCount(), 0);
    int differing = 0;
    for (int i = 0; i < kW * kH; ++i) differing += c[i] != cpp[i];
    EXPECT_EQ(differing, 0);
    // The frame holds the clear color at a corner and a lit texel, not the clear color, inside.
    EXPECT_EQ(cpp[0] & 0xFFFFFF, 0x102030u);
    const std::uint32_t middle = cpp[(kH / 2) * kW + kW / 2] & 0xFFFFFF;
    EXPECT_NE(middle, 0x102030u);
    EXPECT_NE(middle, 0u);
}

class QueryTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
    }
};

TEST_F(QueryTest, ATextureAnswersItsChainAndNothingElse) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    IDirect3DBaseTexture8* base = texture;

    void* out = nullptr;
    ASSERT_EQ(base->QueryInterface(IID_IDirect3DTexture8, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(texture));
    auto* again = static_cast<IDirect3DTexture8*>(out);
    EXPECT_EQ(again->AddRef(), 3u);  // the creation's, the query's, this one
    again->Release();

    void* back = nullptr;
    ASSERT_EQ(again->QueryInterface(IID_IDirect3DBaseTexture8, &back), S_OK);
    EXPECT_EQ(back, static_cast<void*>(base));
    void* unknown = nullptr;
    ASSERT_EQ(texture->QueryInterface(IID_IUnknown, &unknown), S_OK);
    void* resource = nullptr;
    ASSERT_EQ(texture->QueryInterface(IID_IDirect3DResource8, &resource), S_OK);
    EXPECT_EQ(unknown, resource);

    void* wrong = reinterpret_cast<void*>(1);
    EXPECT_EQ(texture->QueryInterface(IID_IDirect3DCubeTexture8, &wrong), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);
    wrong = reinterpret_cast<void*>(1);
    EXPECT_EQ(texture->QueryInterface(IID_IDirect3DDevice8, &wrong), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);

    static_cast<IUnknown*>(resource)->Release();
    static_cast<IUnknown*>(unknown)->Release();
    static_cast<IUnknown*>(back)->Release();
    again->Release();
    EXPECT_EQ(texture->Release(), 0u);  // failed queries added nothing
}

TEST_F(QueryTest, TheDeviceAndDirect3DAnswerTheirOwnIdentifiers) {
    void* out = nullptr;
    ASSERT_EQ(IDirect3DDevice8_QueryInterface(device_, IID_IDirect3DDevice8, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(device_));
    EXPECT_EQ(IUnknown_Release(static_cast<IUnknown*>(out)), 1u);
    EXPECT_EQ(d3d_->QueryInterface(IID_IDirect3DDevice8, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(d3d_->QueryInterface(IID_IDirect3D8, &out), S_OK);
    static_cast<IUnknown*>(out)->Release();
}

}  // namespace
