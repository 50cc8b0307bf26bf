// Additional swap chains: a second window's back buffer, presented to that window.
//
// CreateAdditionalSwapChain takes presentation parameters as CreateDevice does for a
// windowed device (one to three back buffers, one for swap effects that copy, X8R8G8B8 or
// A8R8G8B8; hDeviceWindow, or else the device's focus window); a full-screen chain is the
// device's own only. Each back buffer is a render target: SetRenderTarget draws into it
// like any other. Their surfaces share the swap chain's count, and GetContainer on one
// answers the swap chain. Present shows back buffer 0 on the chain's window as the
// device's own Present does: source and destination rectangles only for swap effects that
// copy; a discarding or flipping Present moves the buffers along (FlipChain).
#include <utility>

#include "platform/d3d8/device.h"
#include "platform/win32/host.h"

namespace d3d8 {

HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* params, IDirect3DSwapChain8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (params == nullptr || !params->Windowed) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS resolved = *params;
    HWND window = nullptr;
    if (HRESULT result = d3d_->ResolvePresentParameters(resolved, focusWindow_, window); FAILED(result)) {
        OfferBackBufferCount(*params);
        return result;
    }
    auto* chain = new SwapChain(this, window, resolved.SwapEffect);
    if (!chain->Initialize(resolved)) {
        chain->Release();
        return E_OUTOFMEMORY;
    }
    *params = resolved;
    *out = chain;
    TrackDefaultPool(chain);  // Reset waits until the application lets go of it
    return D3D_OK;
}

SwapChain::SwapChain(Device* device, HWND window, D3DSWAPEFFECT swapEffect)
    : device_(device), window_(window), swapEffect_(swapEffect) {
    device_->RetainResource();
}

SwapChain::~SwapChain() {
    device_->FlushRaster();  // no queued draw may still write the back buffers
    backBuffers_.clear();
    device_->ForgetDefaultPool(this);
    device_->ReleaseResource();
}

bool SwapChain::Initialize(const D3DPRESENT_PARAMETERS& params) {
    for (UINT i = 0; i < params.BackBufferCount; ++i) {
        auto& buffer = backBuffers_.emplace_back(
            std::make_unique<Surface>(device_, this, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT));
        buffer->flushBeforeLock = true;
        if (!buffer->memory.Allocate(*FindFormat(params.BackBufferFormat), params.BackBufferWidth,
                                     params.BackBufferHeight, 1))
            return false;
    }
    return true;
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
    std::vector<Surface*> buffers;
    for (const auto& buffer : backBuffers_) {
        if (buffer->memory.IsLocked()) return D3DERR_INVALIDCALL;
        buffers.push_back(buffer.get());
    }
    device_->FlushRaster();
    HWND window = destWindowOverride != nullptr ? destWindowOverride : window_;
    PixelMemory& color = backBuffers_[0]->memory;
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(color.Bits());
    const int width = static_cast<int>(color.Width());
    const int height = static_cast<int>(color.Height());
    const int pitch = static_cast<int>(color.GetLayout().pitch);
    if (!copies) {
        if (!host::PresentFrame(window, pixels, width, height, pitch)) return D3DERR_INVALIDCALL;
        FlipChain(buffers, presented_);
        return D3D_OK;
    }
    return front_.Show(window, pixels, width, height, pitch, sourceRect, destRect);
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (index >= backBuffers_.size() || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
    backBuffers_[index]->AddRef();
    *out = backBuffers_[index].get();
    return D3D_OK;
}

// Buffer i takes the pixels of buffer i + 1 and the last those shown before, by exchanging
// memory along the chain: no pixel is copied.
bool FlipChain(const std::vector<Surface*>& buffers, PixelMemory& presented) {
    PixelMemory& first = buffers.front()->memory;
    if (presented.Width() != first.Width() || presented.Height() != first.Height() ||
        presented.Format() != first.Format()) {
        if (!presented.Allocate(first.Info(), first.Width(), first.Height(), 1)) return false;
    }
    first.SwapBits(presented);
    for (std::size_t i = 0; i + 1 < buffers.size(); ++i) buffers[i]->memory.SwapBits(buffers[i + 1]->memory);
    return true;
}

}  // namespace d3d8
