// The software device: creation, states, resources, scenes, Clear and Present.
//
// - The back buffer is the window's client area in X8R8G8B8 or A8R8G8B8 (in full screen,
//   the mode's size); there are one to three of them (a count of 0 means 1, one only for
//   swap effects that copy), each a surface of its own; an automatic depth buffer has
//   the format asked for (D16, D16_LOCKABLE, D15S1, D24S8, D24X8 or D24X4S4), each pixel
//   one word of the format's layout, depth in the high bits and stencil in the low ones.
//   The application locks a back buffer only when it asked for
//   D3DPRESENTFLAG_LOCKABLE_BACKBUFFER, and a depth buffer only in D16_LOCKABLE, as on the
//   platform. D3DRS_ZENABLE starts TRUE when there is a depth buffer, else
//   FALSE; every other render and stage state starts at the platform's default
//   (SetDefaultStates). Transforms start as identity, the viewport covers the
//   back buffer with depth 0 to 1, the material is all zero.
// - Resources are checked against the profile: a format it does not list for the
//   resource type and usage, a size beyond its limits, a size that is not a power of two
//   where its caps ask for one, or more levels than the full chain: D3DERR_INVALIDCALL.
// - Present hands back buffer 0 to host::PresentFrame; it is allowed inside a scene,
//   fails with D3DERR_INVALIDCALL when the window is gone or a back buffer is locked, and
//   with D3DERR_DEVICELOST while the device is lost or not reset. With D3DSWAPEFFECT_DISCARD
//   or FLIP the buffers then move along as a flipping chain does (FlipChain): back buffer
//   i takes the pixels of buffer i + 1 and the last one those of the frame shown before
//   (contents are undefined after a discarding Present), the surfaces keeping their
//   places, and the frame shown stays for GetFrontBuffer without a copy. Source and destination
//   rectangles are for swap effects that copy (D3DSWAPEFFECT_COPY, COPY_VSYNC), as on the
//   platform; with any other a rectangle is D3DERR_INVALIDCALL. Such a device keeps the
//   client area's picture (FrontImage) and composes each present into it. The dirty region
//   is only a hint of what changed: it is accepted, and the whole source rectangle copied.
// - Only FVF codes are vertex shaders; the code is checked when a draw uses it.
// - SetRenderTarget points draws and clears at a 32-bit render target surface or texture
//   level and a depth surface at least as large (or none); the device holds a reference
//   to each it did not make itself, and the viewport becomes the whole target. A draw or
//   clear into a texture level calls ContentsChanged on it, as a writing unlock does, so
//   what the sampler derived from the level is rebuilt before it is read again.
// - Reset takes presentation parameters as CreateDevice does (any it would refuse:
//   D3DERR_INVALIDCALL, with nothing changed; so is a locked back or depth buffer). The
//   back buffer and the depth buffer keep their surface objects with new memory at the
//   new size and formats, so pointers the application holds stay valid; a depth buffer
//   the new parameters no longer ask for is kept aside, unused, until the device goes.
//   The targets go back to them, every state to a new device's (SetNewDeviceStates,
//   which creation uses too), the scene ends, and the device releases its textures,
//   stream and indices (and the targets it held); the application's references live on.
//   State blocks are kept, tokens and contents: applying one sets what it holds again.
//   The front buffer is black until the next Present; gamma ramp and cursor are kept.
//   Reset is refused (D3DERR_INVALIDCALL) while the application holds an object of the
//   default pool (render targets and depth surfaces of its own included) or an additional
//   swap chain; a refused Reset leaves the device to be reset (DEVICENOTRESET) until one
//   succeeds, as on the platform. Reset moves between windowed and full screen and
//   between modes; more back buffers get new surfaces, fewer keep the rest aside.
// - Full screen (Windowed FALSE, a mode the adapter lists): the device window becomes the
//   display at the mode's size (host::SetFullScreen) and the display mode is the one asked
//   for until a Reset to windowed or the device's end gives the window back. While the
//   window is without the focus (lost, or minimised) TestCooperativeLevel answers
//   D3DERR_DEVICELOST; once it is back, D3DERR_DEVICENOTRESET until Reset. A loss the
//   device did not see as it happened still counts (the window layer counts them).
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/d3d8/device.h"
#include "platform/d3d8/fvf.h"
#include "platform/win32/host.h"

namespace d3d8 {
namespace {

constexpr D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

// The render states the device knows; any other value is refused.
constexpr D3DRENDERSTATETYPE kRenderStates[] = {
    D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_LINEPATTERN, D3DRS_ZWRITEENABLE,
    D3DRS_ALPHATESTENABLE, D3DRS_LASTPIXEL, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_CULLMODE, D3DRS_ZFUNC,
    D3DRS_ALPHAREF, D3DRS_ALPHAFUNC, D3DRS_DITHERENABLE, D3DRS_ALPHABLENDENABLE, D3DRS_FOGENABLE,
    D3DRS_SPECULARENABLE, D3DRS_ZVISIBLE, D3DRS_FOGCOLOR, D3DRS_FOGTABLEMODE, D3DRS_FOGSTART, D3DRS_FOGEND,
    D3DRS_FOGDENSITY, D3DRS_EDGEANTIALIAS, D3DRS_ZBIAS, D3DRS_RANGEFOGENABLE, D3DRS_STENCILENABLE,
    D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS, D3DRS_STENCILFUNC, D3DRS_STENCILREF,
    D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK, D3DRS_TEXTUREFACTOR, D3DRS_WRAP0, D3DRS_WRAP1, D3DRS_WRAP2,
    D3DRS_WRAP3, D3DRS_WRAP4, D3DRS_WRAP5, D3DRS_WRAP6, D3DRS_WRAP7, D3DRS_CLIPPING, D3DRS_LIGHTING,
    D3DRS_AMBIENT, D3DRS_FOGVERTEXMODE, D3DRS_COLORVERTEX, D3DRS_LOCALVIEWER, D3DRS_NORMALIZENORMALS,
    D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE,
    D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_VERTEXBLEND, D3DRS_CLIPPLANEENABLE, D3DRS_SOFTWAREVERTEXPROCESSING,
    D3DRS_POINTSIZE, D3DRS_POINTSIZE_MIN, D3DRS_POINTSPRITEENABLE, D3DRS_POINTSCALEENABLE, D3DRS_POINTSCALE_A,
    D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C, D3DRS_MULTISAMPLEANTIALIAS, D3DRS_MULTISAMPLEMASK,
    D3DRS_PATCHEDGESTYLE, D3DRS_PATCHSEGMENTS, D3DRS_DEBUGMONITORTOKEN, D3DRS_POINTSIZE_MAX,
    D3DRS_INDEXEDVERTEXBLENDENABLE, D3DRS_COLORWRITEENABLE, D3DRS_TWEENFACTOR, D3DRS_BLENDOP,
};

bool IsRenderState(D3DRENDERSTATETYPE state) {
    return std::find(std::begin(kRenderStates), std::end(kRenderStates), state) != std::end(kRenderStates);
}

bool IsStageState(D3DTEXTURESTAGESTATETYPE type) {
    return type >= D3DTSS_COLOROP && type < D3DTSS_COUNT && type != 12;  // 12 is not a stage state
}

bool IsPowerOfTwo(UINT value) { return value != 0 && (value & (value - 1)) == 0; }

constexpr DWORD kBufferUsages = D3DUSAGE_WRITEONLY | D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_DONOTCLIP |
                                D3DUSAGE_POINTS | D3DUSAGE_DYNAMIC;
constexpr DWORD kTextureUsages = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC;

bool IsPool(D3DPOOL pool) { return pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED || pool == D3DPOOL_SYSTEMMEM; }

// The texture core behind an interface pointer, when it is one of ours.
TextureCore* CoreOf(IDirect3DBaseTexture8* texture) { return dynamic_cast<TextureCore*>(texture); }

bool ValidLight(const D3DLIGHT8& light) {
    if (light.Type != D3DLIGHT_POINT && light.Type != D3DLIGHT_SPOT && light.Type != D3DLIGHT_DIRECTIONAL)
        return false;
    if (light.Type != D3DLIGHT_POINT) {
        const D3DVECTOR& d = light.Direction;
        if (!(d.x * d.x + d.y * d.y + d.z * d.z > 0.0f)) return false;
    }
    if (light.Type != D3DLIGHT_DIRECTIONAL) {
        if (!(light.Range >= 0.0f) || !std::isfinite(light.Range)) return false;
        if (!(light.Attenuation0 >= 0.0f) || !(light.Attenuation1 >= 0.0f) || !(light.Attenuation2 >= 0.0f))
            return false;
    }
    return true;
}

}  // namespace

Device::Device(Direct3D* d3d, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags, HWND window)
    : d3d_(d3d), type_(type), focusWindow_(focusWindow), behaviorFlags_(behaviorFlags), window_(window) {
    d3d_->AddRef();
}

Device::~Device() {
    if (rasterizer_) rasterizer_->Flush();
    rasterizer_.reset();
    delete backBuffer_;
    moreBackBuffers_.clear();
    delete depthBuffer_;
    retired_.clear();
    d3d_->Release();
}

// The back or depth buffer: the device's own, counted with it; the rasterizer's queued
// draws are finished before it is locked.
Surface* Device::NewSwapSurface(DWORD usage) {
    auto* surface = new Surface(this, this, usage, D3DPOOL_DEFAULT);
    surface->flushBeforeLock = true;
    return surface;
}

namespace {

// The display mode of a full-screen device: its back buffer's size, in the format shown.
D3DDISPLAYMODE FullScreenMode(const D3DPRESENT_PARAMETERS& params) {
    const D3DFORMAT format = params.BackBufferFormat == D3DFMT_A8R8G8B8 ? D3DFMT_X8R8G8B8 : params.BackBufferFormat;
    return D3DDISPLAYMODE{params.BackBufferWidth, params.BackBufferHeight, 60, format};
}

}  // namespace

void Device::ApplyWindowMode(bool fullScreen, UINT width, UINT height) {
    host::SetFullScreen(window_, fullScreen, static_cast<int>(width), static_cast<int>(height));
    focusLosses_ = host::FocusLosses(window_);
}

HRESULT Device::Initialize(const D3DPRESENT_PARAMETERS& params) {
    fullScreen_ = !params.Windowed;
    displayMode_ = fullScreen_ ? FullScreenMode(params) : d3d_->DisplayMode();
    swapEffect_ = params.SwapEffect;
    backBuffer_ = NewSwapSurface(D3DUSAGE_RENDERTARGET);
    if (!backBuffer_->memory.Allocate(*FindFormat(params.BackBufferFormat), params.BackBufferWidth,
                                      params.BackBufferHeight, 1))
        return E_OUTOFMEMORY;
    for (UINT i = 1; i < params.BackBufferCount; ++i) {
        moreBackBuffers_.emplace_back(NewSwapSurface(D3DUSAGE_RENDERTARGET));
        if (!moreBackBuffers_.back()->memory.Allocate(*FindFormat(params.BackBufferFormat), params.BackBufferWidth,
                                                      params.BackBufferHeight, 1))
            return E_OUTOFMEMORY;
    }
    if (params.EnableAutoDepthStencil) {
        depthBuffer_ = NewSwapSurface(D3DUSAGE_DEPTHSTENCIL);
        if (!depthBuffer_->memory.Allocate(*FindFormat(params.AutoDepthStencilFormat), params.BackBufferWidth,
                                           params.BackBufferHeight, 1))
            return E_OUTOFMEMORY;
    }
    SetBufferLocks(params);
    target_ = backBuffer_;
    zStencil_ = depthBuffer_;
    raster::RasterOptions options;
    options.threads = Profile().RasterThreads;
    options.vectorTargets = Profile().VectorTargets;
    rasterizer_ = std::make_unique<raster::Rasterizer>(options);
    for (int i = 0; i < 256; ++i) {  // an identity ramp
        const auto level = static_cast<WORD>(i * 257);
        gamma_.red[i] = gamma_.green[i] = gamma_.blue[i] = level;
    }
    SetNewDeviceStates();
    if (fullScreen_) ApplyWindowMode(true, params.BackBufferWidth, params.BackBufferHeight);
    return D3D_OK;
}

void Device::SetBufferLocks(const D3DPRESENT_PARAMETERS& params) {
    for (UINT i = 0; i < BackBufferCount(); ++i) BackBuffer(i)->lockable = LockableBackBuffer(params);
    if (depthBuffer_ != nullptr) depthBuffer_->lockable = LockableDepthFormat(depthBuffer_->memory.Format());
}

void Device::SetNewDeviceStates() {
    state_ = RuntimeStates{};  // clip planes 0
    SetDefaultStates(state_.renderState, state_.stageState);
    state_.renderState[D3DRS_ZENABLE] = depthBuffer_ != nullptr ? D3DZB_TRUE : D3DZB_FALSE;
    state_.world = kIdentity;
    state_.view = kIdentity;
    state_.projection = kIdentity;
    worldMatrices_.fill(kIdentity);
    textureMatrices_.fill(kIdentity);
    const PixelMemory& color = backBuffer_->memory;
    state_.viewport = D3DVIEWPORT8{0, 0, color.Width(), color.Height(), 0.0f, 1.0f};
    state_.material = D3DMATERIAL8{};
    lights_ = Lights{};
    vertexShader_ = 0;
    pixelShader_ = 0;  // the draw state below has no pixel program
    drawState_ = raster::DrawState{};
    TranslateStates(state_.renderState, state_.stageState, drawState_);
}

ULONG Device::HeldDefaultPoolObjects() {
    ULONG held = 0;
    for (IUnknown* object : defaultPool_) {
        object->AddRef();
        ULONG refs = object->Release();  // the count as it was
        // A target the device holds (a surface of its own, or a level of a texture) counts
        // one reference of the device's.
        for (Surface* bound : {target_, zStencil_}) {
            if (bound == nullptr || bound->OwnedBy(this)) continue;
            if ((static_cast<IUnknown*>(bound) == object || bound->OwnedBy(object)) && refs > 0) --refs;
        }
        held += refs;
    }
    return held;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* params) {
    if (params == nullptr) return D3DERR_INVALIDCALL;
    // A full-screen device whose window is without the focus cannot be reset yet.
    if (IsWindow(window_) && CooperativeState() == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    // Any refusal from here on leaves the device to be reset (DEVICENOTRESET), as on the platform.
    needsReset_ = true;
    D3DPRESENT_PARAMETERS resolved = *params;
    HWND window = nullptr;
    if (FAILED(d3d_->ResolvePresentParameters(resolved, window_, window))) {
        OfferBackBufferCount(*params);
        return D3DERR_INVALIDCALL;
    }
    // The application lets go of its default-pool objects and swap chains first.
    if (HeldDefaultPoolObjects() != 0) return D3DERR_INVALIDCALL;
    // A surface the application has locked keeps its memory.
    for (UINT i = 0; i < BackBufferCount(); ++i) {
        if (BackBuffer(i)->memory.IsLocked()) return D3DERR_INVALIDCALL;
    }
    if (depthBuffer_ != nullptr && depthBuffer_->memory.IsLocked()) return D3DERR_INVALIDCALL;
    // The new buffers are made before anything changes, so that a failure keeps the device as it was.
    std::vector<PixelMemory> colors(resolved.BackBufferCount);
    PixelMemory depth;
    for (PixelMemory& color : colors) {
        if (!color.Allocate(*FindFormat(resolved.BackBufferFormat), resolved.BackBufferWidth,
                            resolved.BackBufferHeight, 1))
            return E_OUTOFMEMORY;
    }
    if (resolved.EnableAutoDepthStencil &&
        !depth.Allocate(*FindFormat(resolved.AutoDepthStencilFormat), resolved.BackBufferWidth,
                        resolved.BackBufferHeight, 1))
        return E_OUTOFMEMORY;

    FlushRaster();  // queued draws write the old buffers and read the bound textures
    // The surfaces stay the same objects, so pointers the application still holds to
    // them stay valid; back buffers and a depth buffer no longer wanted are kept aside
    // until the device goes.
    backBuffer_->memory = std::move(colors[0]);
    while (moreBackBuffers_.size() + 1 > colors.size()) {
        retired_.push_back(std::move(moreBackBuffers_.back()));
        moreBackBuffers_.pop_back();
    }
    while (moreBackBuffers_.size() + 1 < colors.size()) moreBackBuffers_.emplace_back(NewSwapSurface(D3DUSAGE_RENDERTARGET));
    for (std::size_t i = 1; i < colors.size(); ++i) moreBackBuffers_[i - 1]->memory = std::move(colors[i]);
    if (resolved.EnableAutoDepthStencil) {
        if (depthBuffer_ == nullptr) depthBuffer_ = NewSwapSurface(D3DUSAGE_DEPTHSTENCIL);
        depthBuffer_->memory = std::move(depth);
    } else if (depthBuffer_ != nullptr) {
        retired_.emplace_back(std::exchange(depthBuffer_, nullptr));
    }
    SetBufferLocks(resolved);
    ReleaseBindings();  // state blocks stay

    // The window goes to full screen, between modes or back to its rectangle.
    if (fullScreen_ && window != window_) host::SetFullScreen(window_, false, 0, 0);
    window_ = window;
    fullScreen_ = !resolved.Windowed;
    displayMode_ = fullScreen_ ? FullScreenMode(resolved) : d3d_->DisplayMode();
    ApplyWindowMode(fullScreen_, resolved.BackBufferWidth, resolved.BackBufferHeight);
    needsReset_ = false;
    swapEffect_ = resolved.SwapEffect;
    front_ = FrontImage{};
    shown_ = Shown::Nothing;
    presented_ = PixelMemory{};
    inScene_ = false;
    SetNewDeviceStates();
    *params = resolved;
    return D3D_OK;
}

ULONG Device::Release() {
    ULONG left = --refs_;
    if (left == 0) {
        ++resources_;  // keeps the device while it lets go of what it holds
        UnbindAll();
        // The window and the cursor go back to the system's now, even while resources the
        // application still holds keep the device itself.
        if (fullScreen_) host::SetFullScreen(window_, false, 0, 0);
        fullScreen_ = false;
        if (!cursor_.pixels.empty()) {
            host::ShowDeviceCursor(false);
            host::SetDeviceCursor(nullptr, 0, 0, 0, 0);
            cursor_.pixels.clear();
        }
        if (--resources_ == 0 && refs_ == 0) delete this;
    }
    return left;
}

void Device::ReleaseResource() {
    if (--resources_ == 0 && refs_ == 0) delete this;
}

void Device::UnbindAll() {
    ReleaseBindings();
    recording_.reset();  // blocks hold textures and buffers
    stateBlocks_.clear();
}

void Device::ReleaseBindings() {
    FlushRaster();  // queued draws still read the textures and write the targets let go of here
    for (auto& texture : textures_) {
        if (texture != nullptr) CoreOf(std::exchange(texture, nullptr))->Unbind();
    }
    if (stream_ != nullptr) std::exchange(stream_, nullptr)->Unbind();
    streamStride_ = 0;
    ReleaseMoreStreams();
    if (indices_ != nullptr) std::exchange(indices_, nullptr)->Unbind();
    baseVertexIndex_ = 0;
    Drop(std::exchange(target_, backBuffer_));
    Drop(std::exchange(zStencil_, depthBuffer_));
}

void Device::FlushRaster() {
    if (rasterizer_) rasterizer_->Flush();
}

raster::RenderTarget Device::Target() {
    raster::RenderTarget target;
    PixelMemory& color = target_->memory;
    target.color = reinterpret_cast<std::uint32_t*>(color.Bits());
    target.width = static_cast<int>(color.Width());
    target.height = static_cast<int>(color.Height());
    target.colorPitch = static_cast<int>(color.GetLayout().pitch / 4);
    // Only an A8R8G8B8 target keeps the alpha it is given; X8R8G8B8 reads back as opaque.
    target.hasAlpha = color.Format() == D3DFMT_A8R8G8B8;
    raster::DepthStencilLayout layout;
    if (zStencil_ != nullptr && DepthStencilLayoutOf(zStencil_->memory.Format(), layout)) {
        PixelMemory& depth = zStencil_->memory;
        target.depthPitch = static_cast<int>(depth.GetLayout().pitch / static_cast<UINT>(layout.wordBytes));
        if (layout.wordBytes == 2 && layout.stencilBits == 0) {  // D16, D16_LOCKABLE
            target.depth = reinterpret_cast<std::uint16_t*>(depth.Bits());
        } else {
            target.depthStencil = depth.Bits();
            target.depthLayout = layout;
        }
    }
    return target;
}

// ---- device information -------------------------------------------------------------------

HRESULT Device::CooperativeState() {
    if (!IsWindow(window_)) return D3DERR_DEVICELOST;
    if (fullScreen_) {
        // A loss of the focus since the last look leaves the device to be reset, even when
        // the focus is back by now.
        const unsigned losses = host::FocusLosses(window_);
        if (losses != focusLosses_) {
            focusLosses_ = losses;
            needsReset_ = true;
        }
        if (!host::HasFocus(window_)) {
            needsReset_ = true;
            return D3DERR_DEVICELOST;
        }
    }
    return needsReset_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

HRESULT Device::TestCooperativeLevel() { return CooperativeState(); }

UINT Device::GetAvailableTextureMem() { return 512u << 20; }

HRESULT Device::GetDirect3D(IDirect3D8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    d3d_->AddRef();
    *out = d3d_;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS8* caps) { return d3d_->GetDeviceCaps(0, type_, caps); }

HRESULT Device::GetDisplayMode(D3DDISPLAYMODE* mode) {
    if (mode == nullptr) return D3DERR_INVALIDCALL;
    *mode = displayMode_;
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) {
    if (params == nullptr) return D3DERR_INVALIDCALL;
    *params = D3DDEVICE_CREATION_PARAMETERS{0, type_, focusWindow_, behaviorFlags_};
    return D3D_OK;
}

HRESULT Device::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                        const RGNDATA* /*dirtyRegion*/) {
    const bool copies = swapEffect_ == D3DSWAPEFFECT_COPY || swapEffect_ == D3DSWAPEFFECT_COPY_VSYNC;
    if ((sourceRect != nullptr || destRect != nullptr) && !copies) return D3DERR_INVALIDCALL;
    // Lost, or not reset since: nothing is shown. (A window that is gone fails below.)
    if (IsWindow(window_) && CooperativeState() != D3D_OK) return D3DERR_DEVICELOST;
    std::vector<Surface*> buffers;
    for (UINT i = 0; i < BackBufferCount(); ++i) {
        if (BackBuffer(i)->memory.IsLocked()) return D3DERR_INVALIDCALL;
        buffers.push_back(BackBuffer(i));
    }
    FlushRaster();
    HWND window = destWindowOverride != nullptr ? destWindowOverride : window_;
    PixelMemory& color = backBuffer_->memory;
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(color.Bits());
    const int width = static_cast<int>(color.Width());
    const int height = static_cast<int>(color.Height());
    const int pitch = static_cast<int>(color.GetLayout().pitch);
    if (!copies) {
        if (!host::PresentFrame(window, pixels, width, height, pitch)) return D3DERR_INVALIDCALL;
        // The frame shown stays for GetFrontBuffer; without memory for it only that goes.
        shown_ = FlipChain(buffers, presented_) ? Shown::BackBuffer : Shown::Nothing;
        return D3D_OK;
    }
    if (HRESULT result = front_.Show(window, pixels, width, height, pitch, sourceRect, destRect); result != D3D_OK)
        return result;
    if (!front_.pixels.empty()) shown_ = Shown::Front;
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** out) {
    // The type is not looked at; a bad index leaves a null pointer.
    (void)type;
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (index >= BackBufferCount()) return D3DERR_INVALIDCALL;
    Surface* buffer = BackBuffer(index);
    buffer->AddRef();
    *out = buffer;
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(IDirect3DSurface8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    target_->AddRef();
    *out = target_;
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (zStencil_ == nullptr) return D3DERR_NOTFOUND;
    zStencil_->AddRef();
    *out = zStencil_;
    return D3D_OK;
}

// ---- resources ------------------------------------------------------------------------------

HRESULT Device::CheckResourceFormat(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format, D3DPOOL pool) const {
    // Scratch resources are plain memory: any format the device knows, no usage, no caps.
    if (pool == D3DPOOL_SCRATCH) return usage == 0 && FindFormat(format) != nullptr ? D3D_OK : D3DERR_INVALIDCALL;
    if (!IsPool(pool) || (usage & ~kTextureUsages) != 0) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) != 0 && (usage & D3DUSAGE_DEPTHSTENCIL) != 0) return D3DERR_INVALIDCALL;
    // Targets live in the default pool only.
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) != 0 && pool != D3DPOOL_DEFAULT)
        return D3DERR_INVALIDCALL;
    // Dynamic resources are written by the application: never targets, never managed.
    if ((usage & D3DUSAGE_DYNAMIC) != 0 &&
        ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) != 0 || pool == D3DPOOL_MANAGED))
        return D3DERR_INVALIDCALL;
    if (FindFormat(format) == nullptr || !d3d_->Supports(usage, type, format)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

bool Device::ValidTextureSize(D3DRESOURCETYPE type, UINT width, UINT height, UINT depth, D3DPOOL pool) const {
    const D3DDeviceProfile& profile = Profile();
    const DWORD caps = profile.TextureCaps;
    if (width == 0 || height == 0 || depth == 0) return false;
    if (pool == D3DPOOL_SCRATCH) return true;
    switch (type) {
        case D3DRTYPE_TEXTURE: {
            if (width > profile.MaxTextureWidth || height > profile.MaxTextureHeight) return false;
            if ((caps & D3DPTEXTURECAPS_SQUAREONLY) != 0 && width != height) return false;
            UINT large = std::max(width, height);
            UINT small = std::min(width, height);
            if (profile.MaxTextureAspectRatio != 0 && large / small > profile.MaxTextureAspectRatio) return false;
            bool pow2 = IsPowerOfTwo(width) && IsPowerOfTwo(height);
            if ((caps & D3DPTEXTURECAPS_POW2) != 0 && (caps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) == 0 && !pow2)
                return false;
            return true;
        }
        case D3DRTYPE_CUBETEXTURE:
            if ((caps & D3DPTEXTURECAPS_CUBEMAP) == 0 || width > profile.MaxTextureWidth) return false;
            return (caps & D3DPTEXTURECAPS_CUBEMAP_POW2) == 0 || IsPowerOfTwo(width);
        case D3DRTYPE_VOLUMETEXTURE:
            if ((caps & D3DPTEXTURECAPS_VOLUMEMAP) == 0) return false;
            if (width > profile.MaxVolumeExtent || height > profile.MaxVolumeExtent || depth > profile.MaxVolumeExtent)
                return false;
            return (caps & D3DPTEXTURECAPS_VOLUMEMAP_POW2) == 0 ||
                   (IsPowerOfTwo(width) && IsPowerOfTwo(height) && IsPowerOfTwo(depth));
        default: return false;
    }
}

namespace {

// Block formats need whole blocks at the top level (smaller mip levels may be partial).
bool WholeBlocks(D3DFORMAT format, UINT width, UINT height) {
    const FormatStorage* info = FindFormat(format);
    return info == nullptr || info->blockHeight == 1 || (width % info->blockWidth == 0 && height % info->blockHeight == 0);
}

// A multisample type the rasterizer does not have is unavailable; a value that is no
// type at all is a bad call.
HRESULT CheckMultiSample(D3DMULTISAMPLE_TYPE type) {
    if (type == D3DMULTISAMPLE_NONE) return D3D_OK;
    return type >= D3DMULTISAMPLE_2_SAMPLES && type <= D3DMULTISAMPLE_16_SAMPLES ? D3DERR_NOTAVAILABLE
                                                                                 : D3DERR_INVALIDCALL;
}

// The level count of a new texture: 0 asks for the full chain; more than the chain, or
// more than one level without the kind's mipmap cap, is refused (0 returned).
UINT ResolveLevels(UINT requested, UINT width, UINT height, UINT depth, bool mipmaps) {
    UINT full = FullLevelCount(width, height, depth);
    if (!mipmaps) full = 1;
    if (requested == 0) return full;
    return requested <= full ? requested : 0;
}

// Builds a texture; the result is handed out or released on failure.
template <class T, class I, class... Extent>
HRESULT Finish(T* texture, I** out, Extent... extent) {
    if (!texture->Build(extent...)) {
        texture->Release();
        return E_OUTOFMEMORY;
    }
    *out = texture;
    return D3D_OK;
}

}  // namespace

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    if (HRESULT result = CheckResourceFormat(usage, D3DRTYPE_TEXTURE, format, pool); FAILED(result)) return result;
    if (!ValidTextureSize(D3DRTYPE_TEXTURE, width, height, 1, pool) || !WholeBlocks(format, width, height))
        return D3DERR_INVALIDCALL;
    const bool scratch = pool == D3DPOOL_SCRATCH;
    const DWORD caps = scratch ? DWORD{D3DPTEXTURECAPS_MIPMAP} : Profile().TextureCaps;
    UINT count = ResolveLevels(levels, width, height, 1, (caps & D3DPTEXTURECAPS_MIPMAP) != 0);
    // A size that is not a power of two passed the size check only under the conditional
    // cap, and then the texture has exactly one level: a full chain is refused too.
    bool conditional = (caps & D3DPTEXTURECAPS_POW2) != 0 && !(IsPowerOfTwo(width) && IsPowerOfTwo(height));
    if (conditional) count = levels == 1 ? 1 : 0;
    if (count == 0) return D3DERR_INVALIDCALL;
    const HRESULT result = Finish(new Texture(this, usage, format, pool, count), out, width, height);
    return Track(result, pool, SUCCEEDED(result) ? *out : nullptr);
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DVolumeTexture8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    if (usage != 0 && usage != D3DUSAGE_DYNAMIC) return D3DERR_INVALIDCALL;  // volumes are never targets
    if (HRESULT result = CheckResourceFormat(usage, D3DRTYPE_VOLUMETEXTURE, format, pool); FAILED(result))
        return result;
    if (!ValidTextureSize(D3DRTYPE_VOLUMETEXTURE, width, height, depth, pool) || !WholeBlocks(format, width, height))
        return D3DERR_INVALIDCALL;
    const bool mipmaps = pool == D3DPOOL_SCRATCH || (Profile().TextureCaps & D3DPTEXTURECAPS_MIPVOLUMEMAP) != 0;
    UINT count = ResolveLevels(levels, width, height, depth, mipmaps);
    if (count == 0) return D3DERR_INVALIDCALL;
    const HRESULT result = Finish(new VolumeTexture(this, usage, format, pool, count), out, width, height, depth);
    return Track(result, pool, SUCCEEDED(result) ? *out : nullptr);
}

HRESULT Device::CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DCubeTexture8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    if (HRESULT result = CheckResourceFormat(usage, D3DRTYPE_CUBETEXTURE, format, pool); FAILED(result))
        return result;
    if (!ValidTextureSize(D3DRTYPE_CUBETEXTURE, edgeLength, edgeLength, 1, pool) ||
        !WholeBlocks(format, edgeLength, edgeLength))
        return D3DERR_INVALIDCALL;
    const bool mipmaps = pool == D3DPOOL_SCRATCH || (Profile().TextureCaps & D3DPTEXTURECAPS_MIPCUBEMAP) != 0;
    UINT count = ResolveLevels(levels, edgeLength, edgeLength, 1, mipmaps);
    if (count == 0) return D3DERR_INVALIDCALL;
    const HRESULT result = Finish(new CubeTexture(this, usage, format, pool, count), out, edgeLength);
    return Track(result, pool, SUCCEEDED(result) ? *out : nullptr);
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    if (length == 0 || !IsPool(pool) || (usage & ~kBufferUsages) != 0) return D3DERR_INVALIDCALL;
    // A buffer of a given format holds at least one vertex of it.
    if (fvf != 0 && (!IsFvf(fvf) || length < FvfSize(fvf))) return D3DERR_INVALIDCALL;
    auto* buffer = new VertexBuffer(this, usage, pool, fvf);
    if (!buffer->Allocate(length)) {
        buffer->Release();
        return E_OUTOFMEMORY;
    }
    *out = buffer;
    return Track(D3D_OK, pool, buffer);
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    UINT indexSize = format == D3DFMT_INDEX16 ? 2 : 4;
    if (length < indexSize || !IsPool(pool) || (usage & ~kBufferUsages) != 0) return D3DERR_INVALIDCALL;
    auto* buffer = new IndexBuffer(this, usage, pool, format);
    if (!buffer->Allocate(length)) {
        buffer->Release();
        return E_OUTOFMEMORY;
    }
    *out = buffer;
    return Track(D3D_OK, pool, buffer);
}

HRESULT Device::CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    const FormatStorage* info = FindFormat(format);
    if (info == nullptr || info->kind != FormatKind::Color || width == 0 || height == 0 ||
        !WholeBlocks(format, width, height))
        return D3DERR_INVALIDCALL;
    auto* surface = new Surface(this, nullptr, 0, D3DPOOL_SYSTEMMEM);
    if (!surface->memory.Allocate(*info, width, height, 1)) {
        surface->Release();
        return E_OUTOFMEMORY;
    }
    *out = surface;
    return D3D_OK;
}

// ---- scenes, Clear ----------------------------------------------------------------------------

HRESULT Device::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    if (flags == 0 || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0)
        return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0 && zStencil_ == nullptr) return D3DERR_INVALIDCALL;
    // A depth buffer without stencil bits refuses a stencil clear.
    raster::DepthStencilLayout layout;
    if ((flags & D3DCLEAR_STENCIL) != 0 &&
        (!DepthStencilLayoutOf(zStencil_->memory.Format(), layout) || layout.stencilBits == 0))
        return D3DERR_INVALIDCALL;
    if (!(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
    if (TargetsLocked()) return D3DERR_INVALIDCALL;
    // As drivers do: rectangles without a count clear nothing, a count without rectangles
    // clears as no rectangles do (the whole viewport).
    if (count == 0 && rects != nullptr) return D3D_OK;
    if (rects == nullptr) count = 0;
    std::vector<raster::Rect> clearRects(count);
    for (DWORD i = 0; i < count; ++i) clearRects[i] = {rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2};
    rasterizer_->Clear(Target(), ToRaster(state_.viewport), count, clearRects.data(), ToClearBuffers(flags), color, z,
                       stencil);
    if ((flags & D3DCLEAR_TARGET) != 0) TargetWritten();
    return D3D_OK;
}

// ---- states ------------------------------------------------------------------------------------

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (matrix == nullptr) return D3DERR_INVALIDCALL;
    if (recording_) {
        D3DMATRIX current;
        if (FAILED(GetTransform(state, &current))) return D3DERR_INVALIDCALL;
        recording_->transforms[state] = *matrix;
        return D3D_OK;
    }
    if (state == D3DTS_VIEW) {
        state_.view = *matrix;
    } else if (state == D3DTS_PROJECTION) {
        state_.projection = *matrix;
    } else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
        textureMatrices_[state - D3DTS_TEXTURE0] = *matrix;
    } else if (state >= D3DTS_WORLD && state < D3DTS_WORLD + 256) {
        worldMatrices_[state - D3DTS_WORLD] = *matrix;
        if (state == D3DTS_WORLD) state_.world = *matrix;
    } else {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (matrix == nullptr) return D3DERR_INVALIDCALL;
    if (state == D3DTS_VIEW) {
        *matrix = state_.view;
    } else if (state == D3DTS_PROJECTION) {
        *matrix = state_.projection;
    } else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
        *matrix = textureMatrices_[state - D3DTS_TEXTURE0];
    } else if (state >= D3DTS_WORLD && state < D3DTS_WORLD + 256) {
        *matrix = worldMatrices_[state - D3DTS_WORLD];
    } else {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT8* viewport) {
    if (viewport == nullptr) return D3DERR_INVALIDCALL;
    const PixelMemory& color = target_->memory;
    const std::uint64_t right = std::uint64_t{viewport->X} + viewport->Width;
    const std::uint64_t bottom = std::uint64_t{viewport->Y} + viewport->Height;
    if (viewport->Width == 0 || viewport->Height == 0 || right > color.Width() || bottom > color.Height())
        return D3DERR_INVALIDCALL;
    // Depth ranges beyond 0..1 are taken as drivers take them (the depth written is clamped
    // to the buffer's range); only values that are no numbers at all are refused.
    if (!std::isfinite(viewport->MinZ) || !std::isfinite(viewport->MaxZ)) return D3DERR_INVALIDCALL;
    if (recording_) {
        recording_->hasViewport = true;
        recording_->viewport = *viewport;
        return D3D_OK;
    }
    state_.viewport = *viewport;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT8* viewport) {
    if (viewport == nullptr) return D3DERR_INVALIDCALL;
    *viewport = state_.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL8* material) {
    if (material == nullptr) return D3DERR_INVALIDCALL;
    if (recording_) {
        recording_->hasMaterial = true;
        recording_->material = *material;
        return D3D_OK;
    }
    state_.material = *material;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL8* material) {
    if (material == nullptr) return D3DERR_INVALIDCALL;
    *material = state_.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT8* light) {
    if (light == nullptr || !ValidLight(*light)) return D3DERR_INVALIDCALL;
    if (recording_) {
        recording_->lights[index] = *light;
        return D3D_OK;
    }
    lights_.lights[index] = *light;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT8* light) {
    auto found = lights_.lights.find(index);
    if (light == nullptr || found == lights_.lights.end()) return D3DERR_INVALIDCALL;
    *light = found->second;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    if (recording_) {
        recording_->lightEnabled[index] = enable != FALSE;
        return D3D_OK;
    }
    if (lights_.lights.count(index) == 0) {
        // Enabling a light that was never set creates the platform's default light:
        // white, directional, shining along +z.
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
        lights_.lights[index] = light;
    }
    bool& enabled = lights_.enabled[index];
    if (enable && !enabled) {
        auto active = std::count_if(lights_.enabled.begin(), lights_.enabled.end(),
                                    [](const auto& entry) { return entry.second; });
        if (active >= raster::kMaxLights) return D3DERR_INVALIDCALL;
    }
    enabled = enable != FALSE;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    if (enable == nullptr || lights_.lights.count(index) == 0) return D3DERR_INVALIDCALL;
    auto found = lights_.enabled.find(index);
    *enable = found != lights_.enabled.end() && found->second ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (!IsRenderState(state)) return D3DERR_INVALIDCALL;
    if (recording_) {
        recording_->hasRenderState.set(state);
        recording_->renderState[state] = value;
        return D3D_OK;
    }
    state_.renderState[state] = value;
    TranslateRenderState(state_.renderState, state, drawState_);
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (value == nullptr || !IsRenderState(state)) return D3DERR_INVALIDCALL;
    *value = state_.renderState[state];
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture8** out) {
    if (out == nullptr || stage >= D3DMAXTEXTURESTAGES) return D3DERR_INVALIDCALL;
    *out = textures_[stage];
    if (*out != nullptr) (*out)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
    if (stage >= D3DMAXTEXTURESTAGES) return D3DERR_INVALIDCALL;
    if (texture != nullptr) {
        TextureCore* core = CoreOf(texture);
        // Scratch textures are never sampled.
        if (core == nullptr || core->OwnerDevice() != this || core->CorePool() == D3DPOOL_SCRATCH)
            return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recording_->SetTexture(stage, texture);
        return D3D_OK;
    }
    if (texture != nullptr) CoreOf(texture)->Bind();
    IDirect3DBaseTexture8* previous = std::exchange(textures_[stage], texture);
    if (previous != nullptr) CoreOf(previous)->Unbind();
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (value == nullptr || stage >= D3DMAXTEXTURESTAGES || !IsStageState(type)) return D3DERR_INVALIDCALL;
    *value = state_.stageState[stage][type];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= D3DMAXTEXTURESTAGES || !IsStageState(type)) return D3DERR_INVALIDCALL;
    if (recording_) {
        recording_->hasStageState[stage].set(type);
        recording_->stageState[stage][type] = value;
        return D3D_OK;
    }
    state_.stageState[stage][type] = value;
    TranslateStageState(state_.stageState[stage], stage, type, drawState_);
    return D3D_OK;
}

// SetVertexShader and GetVertexShader: vertex_shaders.cpp.

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) {
    if (stream >= kDeclarationStreams) return D3DERR_INVALIDCALL;
    VertexBuffer* ours = nullptr;
    if (buffer != nullptr) {
        ours = dynamic_cast<VertexBuffer*>(buffer);
        if (ours == nullptr || ours->OwnerDevice() != this) return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recording_->SetStream(stream, ours, stride);
        return D3D_OK;
    }
    if (stream != 0) {
        if (ours != nullptr) ours->Bind();
        VertexBuffer* previous = std::exchange(moreStreams_[stream], ours);
        moreStrides_[stream] = stride;
        if (previous != nullptr) previous->Unbind();
        return D3D_OK;
    }
    if (ours != nullptr) ours->Bind();
    VertexBuffer* previous = std::exchange(stream_, ours);
    streamStride_ = stride;
    if (previous != nullptr) previous->Unbind();
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) {
    if (stream >= kDeclarationStreams || buffer == nullptr || stride == nullptr) return D3DERR_INVALIDCALL;
    VertexBuffer* held = stream == 0 ? stream_ : moreStreams_[stream];
    *buffer = held;
    *stride = stream == 0 ? streamStride_ : moreStrides_[stream];
    if (held != nullptr) held->AddRef();
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) {
    IndexBuffer* ours = nullptr;
    if (buffer != nullptr) {
        ours = dynamic_cast<IndexBuffer*>(buffer);
        if (ours == nullptr || ours->OwnerDevice() != this) return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recording_->SetIndices(ours, baseVertexIndex);
        return D3D_OK;
    }
    if (ours != nullptr) ours->Bind();
    IndexBuffer* previous = std::exchange(indices_, ours);
    baseVertexIndex_ = baseVertexIndex;
    if (previous != nullptr) previous->Unbind();
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer8** buffer, UINT* baseVertexIndex) {
    if (buffer == nullptr || baseVertexIndex == nullptr) return D3DERR_INVALIDCALL;
    *buffer = indices_;
    *baseVertexIndex = baseVertexIndex_;
    if (indices_ != nullptr) indices_->AddRef();
    return D3D_OK;
}

}  // namespace d3d8

namespace d3d8 {

// ---- render targets -------------------------------------------------------------------------

bool Device::TargetsLocked() const {
    return target_->memory.IsLocked() || (zStencil_ != nullptr && zStencil_->memory.IsLocked());
}

void Device::TargetWritten() {
    if (target_ != backBuffer_) target_->memory.ContentsChanged();
}

void Device::Hold(Surface* surface) {
    if (surface != nullptr && !surface->OwnedBy(this)) surface->AddRef();
}

void Device::Drop(Surface* surface) {
    if (surface != nullptr && !surface->OwnedBy(this)) surface->Release();
}

namespace {

// Formats the rasterizer draws into: one 32-bit word a pixel.
bool IsDrawableTargetFormat(D3DFORMAT format) { return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8; }

// A surface of its own, created for the device's targets; the result is handed out or
// released on failure.
HRESULT MakeTargetSurface(Device* device, DWORD usage, UINT width, UINT height, D3DFORMAT format,
                          IDirect3DSurface8** out) {
    auto* surface = new Surface(device, nullptr, usage, D3DPOOL_DEFAULT);
    surface->flushBeforeLock = true;
    if (!surface->memory.Allocate(*FindFormat(format), width, height, 1)) {
        surface->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    *out = surface;
    return D3D_OK;
}

}  // namespace

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                   BOOL lockable, IDirect3DSurface8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0) return D3DERR_INVALIDCALL;
    if (HRESULT result = CheckMultiSample(multiSample); FAILED(result)) return result;
    if (!IsDrawableTargetFormat(format) || !d3d_->Supports(D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, format))
        return D3DERR_INVALIDCALL;
    HRESULT result = MakeTargetSurface(this, D3DUSAGE_RENDERTARGET, width, height, format, out);
    Track(result, D3DPOOL_DEFAULT, SUCCEEDED(result) ? *out : nullptr);
    if (SUCCEEDED(result)) static_cast<Surface*>(*out)->lockable = lockable != FALSE;
    return result;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          IDirect3DSurface8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0) return D3DERR_INVALIDCALL;
    if (HRESULT result = CheckMultiSample(multiSample); FAILED(result)) return result;
    if (FindFormat(format) == nullptr || !d3d_->Supports(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format))
        return D3DERR_INVALIDCALL;
    const HRESULT result = MakeTargetSurface(this, D3DUSAGE_DEPTHSTENCIL, width, height, format, out);
    if (SUCCEEDED(result)) static_cast<Surface*>(*out)->lockable = LockableDepthFormat(format);
    return Track(result, D3DPOOL_DEFAULT, SUCCEEDED(result) ? *out : nullptr);
}

HRESULT Device::SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* newZStencil) {
    Surface* color = target_;  // no target: the current one stays
    if (renderTarget != nullptr) {
        color = dynamic_cast<Surface*>(renderTarget);
        if (color == nullptr || color->OwnerDevice() != this || (color->Usage() & D3DUSAGE_RENDERTARGET) == 0 ||
            !IsDrawableTargetFormat(color->memory.Format()))
            return D3DERR_INVALIDCALL;
    }
    Surface* depth = nullptr;  // no depth surface: none
    if (newZStencil != nullptr) {
        depth = dynamic_cast<Surface*>(newZStencil);
        if (depth == nullptr || depth->OwnerDevice() != this || (depth->Usage() & D3DUSAGE_DEPTHSTENCIL) == 0)
            return D3DERR_INVALIDCALL;
        // At least as large as the target, of a format that goes with it.
        const PixelMemory& c = color->memory;
        const PixelMemory& d = depth->memory;
        if (d.Width() < c.Width() || d.Height() < c.Height() ||
            FAILED(d3d_->CheckDepthStencilMatch(0, type_, displayMode_.Format, c.Format(), d.Format())))
            return D3DERR_INVALIDCALL;
    }
    FlushRaster();  // queued draws write the old targets
    Hold(color);
    Hold(depth);
    Drop(std::exchange(target_, color));
    Drop(std::exchange(zStencil_, depth));
    // The viewport covers the new target whole.
    state_.viewport = D3DVIEWPORT8{0, 0, color->memory.Width(), color->memory.Height(), 0.0f, 1.0f};
    return D3D_OK;
}

}  // namespace d3d8
