// A headless window with a Direct3D object and a device, and a frame sink that keeps
// the last presented frame.
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/device.h"
#include "platform/d3d8/objects.h"
#include "platform/win32/host.h"

struct PresentedFrame {
    HWND window = nullptr;
    int width = 0;
    int height = 0;
    int count = 0;
    std::vector<std::uint32_t> pixels;  // packed, width x height
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

class DeviceTest : public ::testing::Test {
protected:
    static LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }

    void SetUp() override {
        host::Shutdown();
        host::SetHeadless(true);
        baseline_ = d3d8::LiveObjectCount();
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "DeviceTest";
        ASSERT_NE(RegisterClassA(&wc), 0);
        window_ = CreateWindowExA(0, "DeviceTest", "Tolvane", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        host::SetFrameSink([this](HWND hwnd, const std::uint32_t* pixels, int width, int height, int pitch) {
            frame_.window = hwnd;
            frame_.width = width;
            frame_.height = height;
            ++frame_.count;
            frame_.pixels.resize(static_cast<std::size_t>(width) * height);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    frame_.pixels[static_cast<std::size_t>(y) * width + x] =
                        pixels[static_cast<std::size_t>(y) * (pitch / 4) + x];
        });
        d3d_ = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
    }

    void TearDown() override {
        if (device_ != nullptr) device_->Release();
        if (d3d_ != nullptr) d3d_->Release();
        host::SetFrameSink(nullptr);
        host::Shutdown();
        EXPECT_EQ(d3d8::LiveObjectCount(), baseline_) << "objects leaked or freed twice";
    }

    static D3DPRESENT_PARAMETERS Params(bool depth) {
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = TRUE;
        params.EnableAutoDepthStencil = depth ? TRUE : FALSE;
        params.AutoDepthStencilFormat = D3DFMT_D16;
        params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;  // the tests read what they drew
        return params;
    }

    HRESULT MakeDevice(bool depth = true) {
        D3DPRESENT_PARAMETERS params = Params(depth);
        return d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                  &params, &device_);
    }

    // The pixels of one of the device's surfaces that the application may not lock (depth
    // buffers of every format but D16_LOCKABLE), once queued draws have written them: the
    // tests look at how the device stores what it draws.
    static const void* StoredBits(IDirect3DSurface8* surface) {
        auto* ours = dynamic_cast<d3d8::Surface*>(surface);
        if (ours == nullptr) return nullptr;
        ours->OwnerDevice()->FlushRaster();
        return ours->memory.Bits();
    }

    // Releases an interface and returns the count it reported.
    template <class T>
    static ULONG Drop(T*& object) {
        ULONG left = object->Release();
        object = nullptr;
        return left;
    }

    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;
    HWND window_ = nullptr;
    IDirect3D8* d3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
    PresentedFrame frame_;
    int baseline_ = 0;
};
