// d3d8.dll as a program finds it: LoadLibraryA, GetProcAddress, GetModuleHandleA and
// FreeLibrary, with the platform's errors for what is not there.
#include <gtest/gtest.h>

#include "platform/d3d8/d3d8.h"
#include "platform/win32/host.h"

namespace {

using CreateFunction = IDirect3D8* (*)(UINT);

LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return DefWindowProcA(hwnd, msg, wParam, lParam); }

class Modules : public ::testing::Test {
protected:
    void SetUp() override {
        host::Shutdown();
        host::SetHeadless(true);
    }
    void TearDown() override { host::Shutdown(); }
};

// Names match as the platform matches them; the export makes a device that draws.
TEST_F(Modules, LoadLibraryOfD3d8GivesDirect3DCreate8) {
    HMODULE module = LoadLibraryA("d3d8.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(LoadLibraryA("D3D8"), module);
    EXPECT_EQ(LoadLibraryA("C:\\WINDOWS\\system32\\D3D8.DLL"), module);
    EXPECT_EQ(GetModuleHandleA("d3d8"), module);
    auto create = reinterpret_cast<CreateFunction>(reinterpret_cast<void (*)()>(GetProcAddress(module, "Direct3DCreate8")));
    ASSERT_EQ(create, &Direct3DCreate8);

    IDirect3D8* d3d = create(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "ModuleTest";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND window = CreateWindowExA(0, "ModuleTest", "t", WS_POPUP, 0, 0, 16, 8, nullptr, nullptr, nullptr, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    IDirect3DDevice8* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                &device),
              D3D_OK);
    std::uint32_t corner = 0;
    int frames = 0;
    host::SetFrameSink([&](HWND, const std::uint32_t* pixels, int, int, int) {
        corner = pixels[0];
        ++frames;
    });
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00336699u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(corner & 0xFFFFFFu, 0x336699u);
    device->Release();
    d3d->Release();
    host::SetFrameSink(nullptr);

    for (int i = 0; i < 3; ++i) EXPECT_TRUE(FreeLibrary(module));
}

// The module's other exports: the shader validators, called as a program finds them.
TEST_F(Modules, D3d8ExportsTheShaderValidators) {
    HMODULE module = LoadLibraryA("d3d8.dll");
    ASSERT_NE(module, nullptr);
    using PixelValidator = HRESULT (*)(const DWORD*, const D3DCAPS8*, BOOL, char**);
    using VertexValidator = HRESULT (*)(const DWORD*, const DWORD*, const D3DCAPS8*, BOOL, char**);
    auto pixel = reinterpret_cast<PixelValidator>(reinterpret_cast<void (*)()>(GetProcAddress(module, "ValidatePixelShader")));
    auto vertex =
        reinterpret_cast<VertexValidator>(reinterpret_cast<void (*)()>(GetProcAddress(module, "ValidateVertexShader")));
    ASSERT_NE(pixel, nullptr);
    ASSERT_NE(vertex, nullptr);
    const DWORD ps[] = {D3DPS_VERSION(1, 1), 0x00000001, 0x800F0000, 0x90E40000, D3DPS_END()};  // mov r0, v0
    const DWORD vs[] = {D3DVS_VERSION(1, 1), 0x00000001, 0xC00F0000, 0x90E40000, D3DVS_END()};  // mov oPos, v0
    EXPECT_EQ(pixel(ps, nullptr, FALSE, nullptr), D3D_OK);
    EXPECT_EQ(vertex(vs, nullptr, nullptr, FALSE, nullptr), D3D_OK);
    EXPECT_EQ(pixel(vs, nullptr, FALSE, nullptr), E_FAIL);  // a vertex program is no pixel program
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(Modules, UnknownModulesAndProceduresFailWithThePlatformsErrors) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("d3d9.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryA("d3d8."), nullptr);  // a trailing dot: no extension at all
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    HMODULE module = LoadLibraryA("d3d8.dll");
    ASSERT_NE(module, nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "Direct3DCreate9"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(1)), nullptr);  // no ordinals
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "Direct3DCreate8"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(0x1234), "Direct3DCreate8"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(module));
}

// A module is found by GetModuleHandleA only while a load holds it.
TEST_F(Modules, ModuleHandleOnlyWhileLoaded) {
    static int value = 0;
    static const host::ModuleExport exports[] = {{"Value", reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(+[] { return value; }))}};
    host::RegisterModule("tolvane_test.dll", exports, 1);
    EXPECT_EQ(GetModuleHandleA("tolvane_test.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    HMODULE module = LoadLibraryA("TOLVANE_TEST");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(LoadLibraryA("tolvane_test.dll"), module);
    EXPECT_NE(GetProcAddress(module, "Value"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleA("tolvane_test.dll"), module);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleA("tolvane_test.dll"), nullptr);
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
