// Additional swap chains: a second window's back buffer, presented to that window.
//
// CreateAdditionalSwapChain takes presentation parameters as CreateDevice does (windowed,
// one back buffer, X8R8G8B8 or A8R8G8B8; hDeviceWindow, or else the device's focus window).
// The back buffer is a render target: SetRenderTarget draws into it like any other. Its
// surface shares the swap chain's count, and GetContainer on it answers the swap chain.
// Present shows it on the chain's window as the device's own Present does: source and
// destination rectangles only for swap effects that copy; after a discarding or flipping
// Present the back buffer holds the frame before.
#include <utility>

#include "platform/d3d8/device.h"
#include "platform/win32/host.h"

namespace d3d8 {

HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* params, IDirect3DSwapChain8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (params == nullptr) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS resolved = *params;
    HWND window = nullptr;
    if (HRESULT result = d3d_->ResolvePresentParameters(resolved, focusWindow_, window); FAILED(result)) return result;
    auto* chain = new SwapChain(this, window, resolved.SwapEffect);
    if (!chain->Initialize(resolved)) {
        chain->Release();
        return E_OUTOFMEMORY;
    }
    *params = resolved;
    *out = chain;
    return D3D_OK;
}

SwapChain::SwapChain(Device* device, HWND window, D3DSWAPEFFECT swapEffect)
    : device_(device), window_(window), swapEffect_(swapEffect) {
    device_->RetainResource();
}

SwapChain::~SwapChain() {
    device_->FlushRaster();  // no queued draw may still write the back buffer
    backBuffer_.reset();
    device_->ReleaseResource();
}

bool SwapChain::Initialize(const D3DPRESENT_PARAMETERS& params) {
    backBuffer_ = std::make_unique<Surface>(device_, this, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    backBuffer_->flushBeforeLock = true;
    backBuffer_->lockable = LockableBackBuffer(params);
    return backBuffer_->memory.Allocate(*FindFormat(params.BackBufferFormat), params.BackBufferWidth,
                                        params.BackBufferHeight, 1);
}

HRESULT SwapChain::QueryInterface(REFIID riid, void** out) {
    return AnswerQuery(this, riid, out, {&IID_IUnknown, &IID_IDirect3DSwapChain8});
}

ULONG SwapChain::Release() {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT SwapChain::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                           const RGNDATA* /*dirtyRegion*/) {
    const bool copies = swapEffect_ == D3DSWAPEFFECT_COPY || swapEffect_ == D3DSWAPEFFECT_COPY_VSYNC;
    if ((sourceRect != nullptr || destRect != nullptr) && !copies) return D3DERR_INVALIDCALL;
    if (backBuffer_->memory.IsLocked()) return D3DERR_INVALIDCALL;
    device_->FlushRaster();
    HWND window = destWindowOverride != nullptr ? destWindowOverride : window_;
    PixelMemory& color = backBuffer_->memory;
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(color.Bits());
    const int width = static_cast<int>(color.Width());
    const int height = static_cast<int>(color.Height());
    const int pitch = static_cast<int>(color.GetLayout().pitch);
    if (!copies) {
        if (!host::PresentFrame(window, pixels, width, height, pitch)) return D3DERR_INVALIDCALL;
        if (presented_.Width() != color.Width() || presented_.Height() != color.Height()) {
            if (!presented_.Allocate(color.Info(), color.Width(), color.Height(), 1)) return D3D_OK;
        }
        color.SwapBits(presented_);
        return D3D_OK;
    }
    return front_.Show(window, pixels, width, height, pitch, sourceRect, destRect);
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *out = backBuffer_.get();
    return D3D_OK;
}

}  // namespace d3d8
