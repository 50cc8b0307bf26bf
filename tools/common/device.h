// What the texture tool, the web inspector and the texture benchmark share on the device
// side: a hidden window on the headless display with windowed devices to convert with,
// and pixels read back as RGBA.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/scoped.h"

// A headless window and windowed devices on it with the given profile. A device is not to
// be shared between threads (releasing a texture flushes the device's rasterizer), so a
// batch makes one per thread.
class HeadlessDevice {
public:
    ~HeadlessDevice();
    // Creates the window and count devices.
    HRESULT Create(const D3DDeviceProfile& profile, unsigned count = 1);
    IDirect3DDevice8* Get(unsigned i = 0) const { return devices_[i].Get(); }
    std::vector<IDirect3DDevice8*> All() const;

private:
    ComRef<IDirect3D8> d3d_;
    std::vector<ComRef<IDirect3DDevice8>> devices_;
    HWND window_ = nullptr;
};

// Converts a region of pixels to 8-bit RGBA, palette applied.
HRESULT ToRgba(const void* pixels, D3DFORMAT format, UINT pitch, UINT width, UINT height, const PALETTEENTRY* palette,
               std::vector<std::uint8_t>* rgba);
