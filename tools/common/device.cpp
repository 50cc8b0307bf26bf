#include "tools/common/device.h"

#include <utility>

#include "image/convert.h"
#include "platform/win32/host.h"

namespace {

LRESULT ToolWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

HeadlessDevice::~HeadlessDevice() {
    devices_.clear();
    d3d_.Reset();
    if (window_) DestroyWindow(window_);
    host::Shutdown();
}

std::vector<IDirect3DDevice8*> HeadlessDevice::All() const {
    std::vector<IDirect3DDevice8*> all;
    for (const auto& d : devices_) all.push_back(d.Get());
    return all;
}

HRESULT HeadlessDevice::Create(const D3DDeviceProfile& profile, unsigned count) {
    host::SetHeadless(true);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ToolWindowProc;
    wc.lpszClassName = "tolvane-tex";
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, "tolvane-tex", "tolvane-tex", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                              nullptr, nullptr);
    if (!window_) {
        const DWORD error = GetLastError();
        return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    d3d_.Attach(Direct3DCreate8WithProfile(D3D_SDK_VERSION, profile));
    if (!d3d_) return E_FAIL;
    D3DDISPLAYMODE mode = {};
    HRESULT hr = d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
    if (FAILED(hr)) return hr;
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = mode.Format;
    pp.hDeviceWindow = window_;
    devices_.resize(count);
    for (ComRef<IDirect3DDevice8>& device : devices_) {
        hr = d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                device.Out());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT ToRgba(const void* pixels, D3DFORMAT format, UINT pitch, UINT width, UINT height, const PALETTEENTRY* palette,
               std::vector<std::uint8_t>* rgba) {
    rgba->assign(static_cast<std::size_t>(width) * height * 4, 0);
    SurfaceDesc dst;
    dst.Data = rgba->data();
    dst.Format = D3DFMT_A8R8G8B8;
    dst.RowPitch = width * 4;
    dst.Whole = dst.Region = {0, 0, width, height, 0, 1};
    SurfaceDesc src;
    src.Data = const_cast<void*>(pixels);
    src.Format = format;
    src.RowPitch = pitch;
    src.Whole = src.Region = {0, 0, width, height, 0, 1};
    src.Palette = palette;
    HRESULT hr = ConvertSurface(&dst, &src, FILTER_NONE);
    if (FAILED(hr)) return hr;
    // A8R8G8B8 is stored blue, green, red, alpha.
    for (std::size_t i = 0; i < rgba->size(); i += 4) std::swap((*rgba)[i], (*rgba)[i + 2]);
    return S_OK;
}
