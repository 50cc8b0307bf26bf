// The front buffer copy, the gamma ramp, the cursor and the device's small queries.
#include <cstring>

#include "device_fixture.h"

namespace {

class FrontBufferTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(MakeDevice(false), D3D_OK);
    }

    // An image surface filled with one value.
    IDirect3DSurface8* Image(UINT width, UINT height, std::uint32_t value, D3DFORMAT format = D3DFMT_A8R8G8B8) {
        IDirect3DSurface8* surface = nullptr;
        EXPECT_EQ(device_->CreateImageSurface(width, height, format, &surface), D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x) std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x, &value, 4);
        surface->UnlockRect();
        return surface;
    }

    static std::uint32_t At(IDirect3DSurface8* surface, int x, int y) {
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::uint32_t value = 0;
        std::memcpy(&value, static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x, 4);
        surface->UnlockRect();
        return value;
    }
};

TEST_F(FrontBufferTest, CopiesTheLastPresentedFrameBlackBeforeTheFirst) {
    IDirect3DSurface8* front = Image(kWidth, kHeight, 0x12345678);
    ASSERT_EQ(device_->GetFrontBuffer(front), D3D_OK);
    EXPECT_EQ(At(front, kWidth - 1, kHeight - 1), 0xFF000000u);

    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00C01020, 1.0f, 0);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);  // drawn, not presented
    ASSERT_EQ(device_->GetFrontBuffer(front), D3D_OK);
    EXPECT_EQ(At(front, 0, 0), 0xFFC01020u);
    EXPECT_EQ(At(front, kWidth - 1, kHeight - 1), 0xFFC01020u);
    // A larger surface: the frame at the top left, black around it.
    IDirect3DSurface8* large = Image(kWidth + 8, kHeight + 4, 0x12345678);
    ASSERT_EQ(device_->GetFrontBuffer(large), D3D_OK);
    EXPECT_EQ(At(large, kWidth - 1, kHeight - 1), 0xFFC01020u);
    EXPECT_EQ(At(large, kWidth, 0), 0xFF000000u);
    EXPECT_EQ(At(large, 0, kHeight + 3), 0xFF000000u);

    // Null, another format, too small, not an image surface.
    IDirect3DSurface8* x8 = Image(kWidth, kHeight, 0, D3DFMT_X8R8G8B8);
    IDirect3DSurface8* small = Image(kWidth - 1, kHeight, 0);
    IDirect3DSurface8* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(kWidth, kHeight, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, &target),
              D3D_OK);
    for (IDirect3DSurface8* bad : {static_cast<IDirect3DSurface8*>(nullptr), x8, small, target})
        EXPECT_EQ(device_->GetFrontBuffer(bad), D3DERR_INVALIDCALL);
    for (IDirect3DSurface8* s : {front, large, x8, small, target}) s->Release();
}

TEST_F(FrontBufferTest, GammaRampCursorAndQueries) {
    D3DGAMMARAMP ramp{};
    device_->GetGammaRamp(&ramp);
    EXPECT_EQ(ramp.red[0] + ramp.green[128] + ramp.blue[255], 128 * 257 + 65535);  // identity
    ramp.green[10] = 1234;
    device_->SetGammaRamp(D3DSGR_NO_CALIBRATION, &ramp);
    device_->SetGammaRamp(0, nullptr);  // ignored
    D3DGAMMARAMP back{};
    device_->GetGammaRamp(&back);
    EXPECT_EQ(std::memcmp(&ramp, &back, sizeof ramp), 0);

    // Cursors: A8R8G8B8, sides powers of two below the display's, alpha 0 or 1, hot spot inside.
    IDirect3DSurface8* cursor = Image(32, 16, 0xFF808080);
    EXPECT_EQ(device_->SetCursorProperties(3, 4, cursor), D3D_OK);
    EXPECT_EQ(device_->SetCursorProperties(32, 0, cursor), D3DERR_INVALIDCALL);
    D3DDISPLAYMODE mode{};
    device_->GetDisplayMode(&mode);
    UINT wide = 1;
    while (wide < mode.Width) wide *= 2;
    IDirect3DSurface8* bad[] = {Image(32, 16, 0x80808080), Image(24, 16, 0), Image(16, 16, 0, D3DFMT_X8R8G8B8),
                                Image(wide, 1, 0), nullptr};
    for (IDirect3DSurface8* s : bad) EXPECT_EQ(device_->SetCursorProperties(0, 0, s), D3DERR_INVALIDCALL);
    for (IDirect3DSurface8* s : bad)
        if (s != nullptr) s->Release();
    cursor->Release();
    device_->SetCursorPosition(10, 20, D3DCURSOR_IMMEDIATE_UPDATE);
    EXPECT_EQ(device_->ShowCursor(TRUE), FALSE);
    EXPECT_EQ(device_->ShowCursor(FALSE), TRUE);

    D3DCAPS8 caps{};
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.Caps & D3DCAPS_READ_SCANLINE, 0u);
    D3DRASTER_STATUS status{};
    EXPECT_EQ(device_->GetRasterStatus(&status), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->ResourceManagerDiscardBytes(0), D3D_OK);
    std::uint8_t info[64] = {};
    EXPECT_EQ(device_->GetInfo(5, info, sizeof info), S_FALSE);
    EXPECT_EQ(device_->GetInfo(5, nullptr, 0), D3DERR_INVALIDCALL);
}

}  // namespace
