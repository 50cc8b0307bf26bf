// The device the tools convert with: a hidden window on the headless display and windowed
// devices on it.
#pragma once

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
