// Back buffers, swap chains, full-screen devices, lost devices and the device's cursor, on
// the headless display: one test per rule of the platform.
#include <functional>
#include <vector>

#include "device_fixture.h"

namespace {

constexpr UINT kIntervalOne = 0x00000001;
constexpr UINT kIntervalTwo = 0x00000002;

class SwapRulesTest : public DeviceTest {
protected:
    static D3DPRESENT_PARAMETERS FullScreen(UINT width, UINT height, D3DFORMAT format = D3DFMT_X8R8G8B8) {
        D3DPRESENT_PARAMETERS params = Params(true);
        params.Windowed = FALSE;
        params.BackBufferWidth = width;
        params.BackBufferHeight = height;
        params.BackBufferFormat = format;
        return params;
    }

    HRESULT Create(D3DPRESENT_PARAMETERS& params) {
        return d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device_);
    }
    HRESULT Create(D3DPRESENT_PARAMETERS&& params) { return Create(params); }

    // Fills a surface of the device with a colour through a clear.
    void Fill(IDirect3DSurface8* surface, D3DCOLOR color) {
        IDirect3DSurface8* previous = nullptr;
        ASSERT_EQ(device_->GetRenderTarget(&previous), D3D_OK);
        ASSERT_EQ(device_->SetRenderTarget(surface, nullptr), D3D_OK);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, color, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device_->SetRenderTarget(previous, nullptr), D3D_OK);
        previous->Release();
    }

    // The top left pixel of a surface, read through a copy into an image surface (so that
    // the surface itself is never locked).
    std::uint32_t Pixel(IDirect3DSurface8* surface) {
        D3DSURFACE_DESC desc{};
        surface->GetDesc(&desc);
        IDirect3DSurface8* image = nullptr;
        EXPECT_EQ(device_->CreateImageSurface(desc.Width, desc.Height, desc.Format, &image), D3D_OK);
        if (image == nullptr) return 0xDEADBEEF;
        EXPECT_EQ(device_->CopyRects(surface, nullptr, 0, image, nullptr), D3D_OK);
        D3DLOCKED_RECT locked{};
        std::uint32_t pixel = 0xDEADBEEF;
        if (image->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
            pixel = *static_cast<const std::uint32_t*>(locked.pBits) & 0x00FFFFFF;
            image->UnlockRect();
        }
        image->Release();
        return pixel;
    }

    std::vector<IDirect3DSurface8*> BackBuffers(UINT count) {
        std::vector<IDirect3DSurface8*> buffers(count, nullptr);
        for (UINT i = 0; i < count; ++i) EXPECT_EQ(device_->GetBackBuffer(i, D3DBACKBUFFER_TYPE_MONO, &buffers[i]), D3D_OK);
        return buffers;
    }

    static void ReleaseAll(std::vector<IDirect3DSurface8*>& surfaces) {
        for (IDirect3DSurface8* s : surfaces)
            if (s != nullptr) s->Release();
        surfaces.clear();
    }
};

// A windowed device and an additional swap chain take 0 to 3 back buffers (0 meaning 1);
// 4 and more, or more than one for a swap effect that copies, is a bad call, and the
// caller's structure then holds the most there can be, for a second try.
TEST_F(SwapRulesTest, BackBufferCountZeroToThreeAndNoMore) {
    for (UINT count = 0; count <= 3; ++count) {
        D3DPRESENT_PARAMETERS params = Params(false);
        params.SwapEffect = D3DSWAPEFFECT_FLIP;
        params.BackBufferCount = count;
        ASSERT_EQ(Create(params), D3D_OK) << count;
        const UINT expected = count == 0 ? 1 : count;
        std::vector<IDirect3DSurface8*> buffers = BackBuffers(expected);
        for (UINT i = 1; i < expected; ++i) EXPECT_NE(buffers[i], buffers[i - 1]);
        IDirect3DSurface8* past = buffers[0];
        EXPECT_EQ(device_->GetBackBuffer(expected, D3DBACKBUFFER_TYPE_MONO, &past), D3DERR_INVALIDCALL);
        EXPECT_EQ(past, nullptr);
        ReleaseAll(buffers);
        Drop(device_);
    }
    D3DPRESENT_PARAMETERS params = Params(false);
    params.SwapEffect = D3DSWAPEFFECT_COPY;
    params.BackBufferCount = 2;
    EXPECT_EQ(Create(params), D3DERR_INVALIDCALL);
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.BackBufferCount = 4;
    EXPECT_EQ(Create(params), D3DERR_INVALIDCALL);
    EXPECT_EQ(params.BackBufferCount, static_cast<UINT>(D3DPRESENT_BACK_BUFFERS_MAX));
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    params.BackBufferCount = 4;
    IDirect3DSwapChain8* chain = nullptr;
    EXPECT_EQ(device_->CreateAdditionalSwapChain(&params, &chain), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->CreateAdditionalSwapChain(&params, &chain), D3D_OK);  // with the 3 written back
    IDirect3DSurface8* last = nullptr;
    ASSERT_EQ(chain->GetBackBuffer(2, D3DBACKBUFFER_TYPE_MONO, &last), D3D_OK);
    last->Release();
    EXPECT_EQ(chain->GetBackBuffer(3, D3DBACKBUFFER_TYPE_MONO, &last), D3DERR_INVALIDCALL);
    EXPECT_EQ(chain->Release(), 0u);
}

// D3DSWAPEFFECT_FLIP: Present shows back buffer 0; then back buffer 1's picture is in
// back buffer 0, 2's in 1, and the frame shown before goes to the last. The surfaces keep
// their places (the pointers the application holds stay back buffer i).
TEST_F(SwapRulesTest, FlipPresentMovesTheBackBuffersAlong) {
    D3DPRESENT_PARAMETERS params = Params(false);
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    params.BackBufferCount = 3;
    ASSERT_EQ(Create(params), D3D_OK);
    std::vector<IDirect3DSurface8*> buffers = BackBuffers(3);
    const D3DCOLOR colors[3] = {0x00112233, 0x00445566, 0x00778899};
    for (int i = 0; i < 3; ++i) Fill(buffers[i], colors[i]);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.At(0, 0) & 0x00FFFFFF, colors[0]);
    EXPECT_EQ(Pixel(buffers[0]), colors[1]);
    EXPECT_EQ(Pixel(buffers[1]), colors[2]);
    EXPECT_EQ(Pixel(buffers[2]), 0u);  // the front buffer was black before the first frame
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.At(0, 0) & 0x00FFFFFF, colors[1]);
    EXPECT_EQ(Pixel(buffers[2]), colors[0]);
    std::vector<IDirect3DSurface8*> again = BackBuffers(3);
    EXPECT_EQ(again, buffers);
    ReleaseAll(again);
    // Draws go to back buffer 0 after a flip as before it.
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00ABCDEF, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Pixel(buffers[0]), 0x00ABCDEFu);
    ReleaseAll(buffers);
}

// The back buffers and the automatic depth surface count the application's references
// only, start at 0, and outlive a count back at 0 (they are the device's); a back buffer
// a Reset no longer has stays valid for the pointer held.
TEST_F(SwapRulesTest, ImplicitSurfacesCountTheApplicationsReferencesOnly) {
    D3DPRESENT_PARAMETERS params = Params(true);
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    params.BackBufferCount = 3;
    ASSERT_EQ(Create(params), D3D_OK);
    for (UINT i = 0; i < 3; ++i) {
        IDirect3DSurface8* buffer = nullptr;
        ASSERT_EQ(device_->GetBackBuffer(i, D3DBACKBUFFER_TYPE_MONO, &buffer), D3D_OK);
        EXPECT_EQ(buffer->AddRef(), 2u) << i;
        EXPECT_EQ(buffer->Release(), 1u) << i;
        EXPECT_EQ(buffer->Release(), 0u) << i;
        D3DSURFACE_DESC desc{};
        EXPECT_EQ(buffer->GetDesc(&desc), D3D_OK);  // alive and usable at 0
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    IDirect3DSurface8* depth = nullptr;
    ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
    EXPECT_EQ(depth->Release(), 0u);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);

    IDirect3DSurface8* third = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(2, D3DBACKBUFFER_TYPE_MONO, &third), D3D_OK);
    params = Params(true);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);  // one back buffer now
    EXPECT_EQ(device_->GetBackBuffer(1, D3DBACKBUFFER_TYPE_MONO, &depth), D3DERR_INVALIDCALL);
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(third->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(third->Release(), 0u);
}

// The adapter lists 640x480, 800x600, 1024x768 and 1280x1024 at 16 and 32 bits and 60 Hz;
// the device type check accepts full screen for the formats the device draws in.
TEST_F(SwapRulesTest, AdapterListsTheUsualModesAtSixteenAndThirtyTwoBits) {
    const UINT count = d3d_->GetAdapterModeCount(0);
    EXPECT_EQ(d3d_->GetAdapterModeCount(1), 0u);
    std::vector<D3DDISPLAYMODE> modes(count);
    for (UINT i = 0; i < count; ++i) ASSERT_EQ(d3d_->EnumAdapterModes(0, i, &modes[i]), D3D_OK);
    D3DDISPLAYMODE mode{};
    EXPECT_EQ(d3d_->EnumAdapterModes(0, count, &mode), D3DERR_INVALIDCALL);
    const UINT sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
    for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}) {
        for (const auto& size : sizes) {
            int found = 0;
            for (const D3DDISPLAYMODE& m : modes)
                found += m.Width == size[0] && m.Height == size[1] && m.Format == format && m.RefreshRate == 60;
            EXPECT_EQ(found, 1) << size[0] << "x" << size[1] << " format " << format;
        }
    }
    ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &mode), D3D_OK);  // the desktop's, headless 1024x768
    EXPECT_EQ(mode.Width * 10000 + mode.Height, 1024u * 10000 + 768u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);

    auto check = [&](D3DFORMAT display, D3DFORMAT back) {
        return d3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, display, back, FALSE);
    };
    EXPECT_EQ(check(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8), D3D_OK);
    EXPECT_EQ(check(D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8), D3D_OK);
    EXPECT_EQ(check(D3DFMT_X8R8G8B8, D3DFMT_R5G6B5), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(check(D3DFMT_R5G6B5, D3DFMT_R5G6B5), D3DERR_NOTAVAILABLE);  // listed, but not drawn in
    EXPECT_EQ(check(D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, TRUE), D3DERR_NOTAVAILABLE);
}

// Windowed FALSE at a listed mode makes the device window the display at that size; the
// display mode is the one asked for. Sizes, rates and intervals outside the lists are bad
// calls; a 16-bit mode is not available. The window gets its rectangle back at the end.
TEST_F(SwapRulesTest, FullScreenDeviceTakesAListedModeAndTheWholeDisplay) {
    const std::function<void(D3DPRESENT_PARAMETERS&)> bad[] = {
        [](auto& p) { p.BackBufferWidth = 700; },
        [](auto& p) { p.FullScreen_RefreshRateInHz = 75; },
        [](auto& p) { p.FullScreen_PresentationInterval = kIntervalTwo; },
        [](auto& p) { p.BackBufferFormat = D3DFMT_UNKNOWN; },
    };
    for (const auto& change : bad) {
        D3DPRESENT_PARAMETERS params = FullScreen(640, 480);
        change(params);
        EXPECT_EQ(Create(params), D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(Create(FullScreen(640, 480, D3DFMT_R5G6B5)), D3DERR_NOTAVAILABLE);

    D3DPRESENT_PARAMETERS params = FullScreen(640, 480);
    params.FullScreen_RefreshRateInHz = 60;
    params.FullScreen_PresentationInterval = kIntervalOne;
    params.BackBufferCount = 2;
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    ASSERT_EQ(Create(params), D3D_OK);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(device_->GetDisplayMode(&mode), D3D_OK);
    EXPECT_EQ(mode.Width * 10000 + mode.Height, 640u * 10000 + 480u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    RECT client{}, rect{};
    ASSERT_TRUE(GetClientRect(window_, &client));
    ASSERT_TRUE(GetWindowRect(window_, &rect));
    EXPECT_EQ(client.right * 10000 + client.bottom, 640 * 10000 + 480);
    EXPECT_EQ(rect.left * 10000 + rect.top, 0);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(frame_.width * 10000 + frame_.height, 640 * 10000 + 480);
    device_->Release();
    device_ = nullptr;
    ASSERT_TRUE(GetClientRect(window_, &client));
    EXPECT_EQ(client.right * 10000 + client.bottom, kWidth * 10000 + kHeight);
}

// A full-screen frame is scaled onto the display with its aspect kept, centred (the warp
// of SetCursorPosition maps through the same rectangle).
TEST(FullScreenScaling, FramesKeepTheirAspectCentred) {
    const RECT wide = host::LetterboxRect(640, 480, 1920, 1080);
    EXPECT_EQ(wide.left * 1000 + wide.right, 240 * 1000 + 1680);
    const RECT tall = host::LetterboxRect(800, 600, 1280, 1024);
    EXPECT_EQ(tall.top * 1000 + tall.bottom, 32 * 1000 + 992);
    EXPECT_EQ(host::LetterboxRect(0, 480, 1024, 768).right, 0);
}

// Reset moves between windowed and full screen and between modes; back to windowed, the
// window has its own rectangle again.
TEST_F(SwapRulesTest, ResetMovesBetweenWindowedAndFullScreen) {
    ASSERT_EQ(MakeDevice(true), D3D_OK);
    RECT client{};
    D3DDISPLAYMODE mode{};
    for (UINT width : {800u, 1024u}) {
        D3DPRESENT_PARAMETERS params = FullScreen(width, width * 3 / 4);
        ASSERT_EQ(device_->Reset(&params), D3D_OK) << width;
        ASSERT_TRUE(GetClientRect(window_, &client));
        EXPECT_EQ(static_cast<UINT>(client.right), width);
        ASSERT_EQ(device_->GetDisplayMode(&mode), D3D_OK);
        EXPECT_EQ(mode.Width, width);
        EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    }
    D3DPRESENT_PARAMETERS params = Params(true);
    params.BackBufferWidth = kWidth;
    params.BackBufferHeight = kHeight;
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    ASSERT_TRUE(GetClientRect(window_, &client));
    EXPECT_EQ(client.right * 10000 + client.bottom, kWidth * 10000 + kHeight);
    ASSERT_EQ(device_->GetDisplayMode(&mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1024u);  // the desktop's again
}

// Reset waits until the application let go of its default-pool objects (render targets
// and depth surfaces of its own too) and additional swap chains; a refused Reset leaves the
// device to be reset (DEVICENOTRESET, and Present answers DEVICELOST) until one succeeds.
// Managed objects and a target only the device still holds are no obstacle.
TEST_F(SwapRulesTest, ResetIsRefusedWhileDefaultPoolObjectsAreHeld) {
    ASSERT_EQ(MakeDevice(true), D3D_OK);
    IDirect3DTexture8* texture = nullptr;
    IDirect3DVertexBuffer8* buffer = nullptr;
    IDirect3DSurface8* depth = nullptr;
    IDirect3DSwapChain8* chain = nullptr;
    D3DPRESENT_PARAMETERS chainParams = Params(false);
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), D3D_OK);
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &buffer), D3D_OK);
    ASSERT_EQ(device_->CreateDepthStencilSurface(8, 8, D3DFMT_D16, D3DMULTISAMPLE_NONE, &depth), D3D_OK);
    ASSERT_EQ(device_->CreateAdditionalSwapChain(&chainParams, &chain), D3D_OK);
    IUnknown* held[] = {texture, buffer, depth, chain};
    D3DPRESENT_PARAMETERS params = Params(true);
    for (IUnknown* object : held) {
        EXPECT_EQ(device_->Reset(&params), D3DERR_INVALIDCALL);
        EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
        EXPECT_EQ(object->Release(), 0u);  // one object fewer for the next round
    }
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    IDirect3DTexture8* managed = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed), D3D_OK);
    IDirect3DSurface8* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, &target), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(target, nullptr), D3D_OK);
    EXPECT_EQ(target->Release(), 1u);  // the device's hold is what is left
    EXPECT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    managed->Release();
}

// A full-screen device whose window loses the focus is lost (DEVICELOST, and Present and
// Reset answer DEVICELOST); with the focus back it is not reset (DEVICENOTRESET, Present
// still DEVICELOST) until Reset. A loss and return between two looks counts too. A
// windowed device is not lost with the focus.
TEST_F(SwapRulesTest, FullScreenDeviceIsLostWithoutTheFocusUntilReset) {
    D3DPRESENT_PARAMETERS params = FullScreen(640, 480);
    ASSERT_EQ(Create(params), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    ASSERT_TRUE(host::ActivateWindow(window_, false));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, window_, WM_ACTIVATE, WM_ACTIVATE, PM_REMOVE));
    EXPECT_EQ(LOWORD(msg.wParam), WA_INACTIVE);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Reset(&params), D3DERR_DEVICELOST);
    ASSERT_TRUE(host::ActivateWindow(window_, true));
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(frame_.count, 0);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    host::ActivateWindow(window_, false);
    host::ActivateWindow(window_, true);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);

    D3DPRESENT_PARAMETERS windowed = Params(true);
    ASSERT_EQ(device_->Reset(&windowed), D3D_OK);
    host::ActivateWindow(window_, false);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

// ShowCursor shows nothing until SetCursorProperties gave an image: it answers FALSE, and
// the request waits for the image; then it answers whether the cursor was shown.
TEST_F(SwapRulesTest, ShowCursorShowsNothingUntilAnImageIsSet) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    EXPECT_EQ(device_->ShowCursor(TRUE), FALSE);
    EXPECT_EQ(device_->ShowCursor(TRUE), FALSE);
    EXPECT_FALSE(host::DeviceCursorShown());
    IDirect3DSurface8* image = nullptr;
    ASSERT_EQ(device_->CreateImageSurface(32, 32, D3DFMT_A8R8G8B8, &image), D3D_OK);
    ASSERT_EQ(device_->SetCursorProperties(1, 1, image), D3D_OK);
    EXPECT_TRUE(host::DeviceCursorShown());
    EXPECT_EQ(device_->ShowCursor(FALSE), TRUE);
    EXPECT_FALSE(host::DeviceCursorShown());
    EXPECT_EQ(device_->ShowCursor(FALSE), FALSE);
    image->Release();
    EXPECT_EQ(device_->ShowCursor(TRUE), FALSE);
    EXPECT_TRUE(host::DeviceCursorShown());
    device_->Release();
    device_ = nullptr;
    EXPECT_FALSE(host::DeviceCursorShown());  // the system's cursor again once the device is gone
}

// The cursor image must be smaller than the display mode on each side (powers of two): in
// a 640x480 full-screen mode 512x256 fits, 512x512 does not.
TEST_F(SwapRulesTest, CursorImageIsSmallerThanTheDisplayMode) {
    ASSERT_EQ(Create(FullScreen(640, 480)), D3D_OK);
    for (UINT height : {256u, 512u}) {
        IDirect3DSurface8* image = nullptr;
        ASSERT_EQ(device_->CreateImageSurface(512, height, D3DFMT_A8R8G8B8, &image), D3D_OK);
        EXPECT_EQ(device_->SetCursorProperties(0, 0, image), height < 480 ? D3D_OK : D3DERR_INVALIDCALL);
        image->Release();
    }
}

// SetCursorPosition moves the pointer, in screen coordinates: the window under it gets
// WM_MOUSEMOVE with the client position; a position the pointer is at already sends none.
// (With a display SDL warps the pointer and the window system reports the motion; the
// headless display queues the message itself.)
TEST_F(SwapRulesTest, SetCursorPositionMovesThePointer) {
    ASSERT_EQ(MakeDevice(false), D3D_OK);
    host::SetCursorPosition(0, 0);
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    device_->SetCursorPosition(10, 20, 0);
    POINT cursor{};
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x * 10000 + cursor.y, 10 * 10000 + 20);
    ASSERT_TRUE(PeekMessageA(&msg, window_, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(msg.lParam, MAKELPARAM(10, 20));
    device_->SetCursorPosition(10, 20, D3DCURSOR_IMMEDIATE_UPDATE);
    EXPECT_FALSE(PeekMessageA(&msg, window_, 0, 0, PM_REMOVE));
    device_->SetCursorPosition(500, 500, 0);  // outside the client area: the pointer only
    EXPECT_FALSE(PeekMessageA(&msg, window_, 0, 0, PM_REMOVE));
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x, 500);
}

}  // namespace
